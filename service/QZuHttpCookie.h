#pragma once

#include <QNetworkCookieJar>
#include <QSet>

class ZuLocalTables;

// Qt's standard cookie jar, filled from the local store when made and written back to it on
// request, so the service's cookies (session cookies included) survive a restart. It keeps to
// the limits browsers use, so that a service cannot grow the jar, the store or the Cookie line
// without bound: a cookie larger than max_cookie_bytes is ignored, and a domain keeps at most
// max_cookies_per_domain cookies, the least recently set going first. A request carries no more
// than max_cookie_line_bytes of cookies, which common servers (our key service among them) accept
// in one header line; the cookies that do not fit are left out of that request.
// GUI thread only; the store must outlive the jar.
class QZuHttpCookie : public QNetworkCookieJar
{
    Q_OBJECT
public:
    QZuHttpCookie(ZuLocalTables* store, QObject* parent);

    // Writes what changed since the last successful save, in one transaction: the cookies set
    // anew, and the removal of cookies that expired, were deleted or evicted. A failed write is
    // tried again at the next save.
    void save_all();

    QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const override;
    bool insertCookie(const QNetworkCookie& cookie) override;
    bool deleteCookie(const QNetworkCookie& cookie) override;

    static constexpr int max_cookie_bytes = 4096;
    static constexpr int max_cookies_per_domain = 50;
    static constexpr int max_cookie_line_bytes = 8000;

private:
    void drop_expired();

    ZuLocalTables* store;
    // Names whose stored row may differ from the jar; the store keeps one row per name.
    QSet<QByteArray> changed_names;
};
