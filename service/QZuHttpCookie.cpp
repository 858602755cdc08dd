#include "QZuHttpCookie.h"

#include "ZuLocalTables.h"

#include <QDateTime>
#include <QHash>
#include <QNetworkCookie>

namespace {

bool has_expired(const QNetworkCookie& cookie, const QDateTime& now)
{
    return !cookie.isSessionCookie() && cookie.expirationDate() < now;
}

// ".example.com" and "example.com" share one allowance.
QString domain_key(const QNetworkCookie& cookie)
{
    const QString domain = cookie.domain().toLower();
    return domain.startsWith(QLatin1Char('.')) ? domain.mid(1) : domain;
}

} // namespace

QZuHttpCookie::QZuHttpCookie(ZuLocalTables* store, QObject* parent)
    : QNetworkCookieJar(parent)
    , store(store)
{
    const QList<QNetworkCookie> stored = store->load_cookies();
    for (const QNetworkCookie& cookie : stored) {
        insertCookie(cookie);
    }
    // Only rows the jar did not take in as they are (expired, too large, over the limit) need
    // writing; the next save removes them.
    changed_names.clear();
    const QList<QNetworkCookie> held = allCookies();
    for (const QNetworkCookie& cookie : stored) {
        if (!held.contains(cookie)) {
            changed_names.insert(cookie.name());
        }
    }
}

void QZuHttpCookie::save_all()
{
    drop_expired();
    if (changed_names.isEmpty()) {
        return;
    }
    // Of several cookies with one name, the store keeps the one set last. They are written in the
    // jar's order, so that the stored order stays the order of the last changes.
    const QList<QNetworkCookie> cookies = allCookies();
    QHash<QByteArray, int> newest;
    for (int i = 0; i < cookies.size(); ++i) {
        if (changed_names.contains(cookies[i].name())) {
            newest.insert(cookies[i].name(), i);
        }
    }
    QList<QNetworkCookie> changed;
    for (int i = 0; i < cookies.size(); ++i) {
        if (newest.value(cookies[i].name(), -1) == i) {
            changed.append(cookies[i]);
        }
    }
    QList<QByteArray> removed;
    for (const QByteArray& name : qAsConst(changed_names)) {
        if (!newest.contains(name)) {
            removed.append(name);
        }
    }
    if (store->save_cookies(changed, removed)) {
        changed_names.clear();
    }
}

QList<QNetworkCookie> QZuHttpCookie::cookiesForUrl(const QUrl& url) const
{
    // In Qt's order, the most specific path first.
    QList<QNetworkCookie> fitting;
    int line_bytes = 0;
    for (const QNetworkCookie& cookie : QNetworkCookieJar::cookiesForUrl(url)) {
        const int bytes = cookie.toRawForm(QNetworkCookie::NameAndValueOnly).size() + 2;
        if (line_bytes + bytes <= max_cookie_line_bytes) {
            line_bytes += bytes;
            fitting.append(cookie);
        }
    }
    return fitting;
}

bool QZuHttpCookie::insertCookie(const QNetworkCookie& cookie)
{
    if (cookie.toRawForm(QNetworkCookie::Full).size() > max_cookie_bytes) {
        return false;
    }
    QList<QNetworkCookie> cookies = allCookies();
    bool changed = true;
    for (int i = 0; i < cookies.size(); ++i) {
        if (cookies[i].hasSameIdentifier(cookie)) {
            changed = !(cookies[i] == cookie);
            cookies.removeAt(i);
            break;
        }
    }
    // A cookie that arrives already expired only deletes the one it names.
    if (has_expired(cookie, QDateTime::currentDateTimeUtc())) {
        if (cookies.size() != allCookies().size()) {
            changed_names.insert(cookie.name());
            setAllCookies(cookies);
        }
        return false;
    }
    cookies.append(cookie);
    if (changed) {
        changed_names.insert(cookie.name());
    }
    const QString domain = domain_key(cookie);
    int in_domain = 0;
    for (const QNetworkCookie& held : qAsConst(cookies)) {
        in_domain += domain_key(held) == domain ? 1 : 0;
    }
    for (int i = 0; in_domain > max_cookies_per_domain; ++i) {
        if (domain_key(cookies[i]) == domain) {
            changed_names.insert(cookies[i].name());
            cookies.removeAt(i--);
            --in_domain;
        }
    }
    setAllCookies(cookies);
    return true;
}

bool QZuHttpCookie::deleteCookie(const QNetworkCookie& cookie)
{
    if (!QNetworkCookieJar::deleteCookie(cookie)) {
        return false;
    }
    changed_names.insert(cookie.name());
    return true;
}

void QZuHttpCookie::drop_expired()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QList<QNetworkCookie> cookies = allCookies();
    const int before = cookies.size();
    for (int i = cookies.size() - 1; i >= 0; --i) {
        if (has_expired(cookies[i], now)) {
            changed_names.insert(cookies[i].name());
            cookies.removeAt(i);
        }
    }
    if (cookies.size() != before) {
        setAllCookies(cookies);
    }
}
