#pragma once

#include <QNetworkCookieJar>

class ZuLocalTables;

// Qt's standard cookie jar, filled from the local store when made and written back to it on
// request, so the service's cookies (session cookies included) survive a restart.
class QZuHttpCookie : public QNetworkCookieJar
{
    Q_OBJECT
public:
    QZuHttpCookie(ZuLocalTables* store, QObject* parent);

    void save_all();

private:
    ZuLocalTables* store;
};
