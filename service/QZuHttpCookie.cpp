#include "QZuHttpCookie.h"

#include "ZuLocalTables.h"

#include <QNetworkCookie>

QZuHttpCookie::QZuHttpCookie(ZuLocalTables* store, QObject* parent)
    : QNetworkCookieJar(parent)
    , store(store)
{
    // insertCookie drops a cookie that expired since the last run; its row stays stored.
    for (const QNetworkCookie& cookie : store->load_cookies()) {
        insertCookie(cookie);
    }
}

void QZuHttpCookie::save_all()
{
    for (const QNetworkCookie& cookie : allCookies()) {
        store->save_cookie(cookie);
    }
}
