#pragma once

#include <QList>
#include <QNetworkCookie>

namespace SQLite {
class Database;
}

// The cookie operations on the store's connection. Without a connection they do nothing and
// return empty results, so callers never need to know whether the store opened.
class ZuLocalTables
{
public:
    explicit ZuLocalTables(SQLite::Database* database = nullptr);

    void set_database(SQLite::Database* database);

    // Every stored cookie, in the order the database returns them; on an error, those read so far.
    QList<QNetworkCookie> load_cookies();
    // Keeps one row per cookie name: a cookie of the same name replaces the row, whatever its
    // domain or path.
    void save_cookie(const QNetworkCookie& cookie);

    // The store's errors go to standard output only; nothing is shown to the user.
    static void report(const char* message);

private:
    SQLite::Database* database;
};
