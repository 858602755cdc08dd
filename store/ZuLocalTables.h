#pragma once

#include <QList>
#include <QNetworkCookie>

#include <string>

namespace SQLite {
class Database;
}

// The cookie operations on the store's connection. Without a connection they do nothing and
// return empty results, so callers never need to know whether the store opened.
// GUI thread only; the connection belongs to ZuLocalDb and outlives its use here.
class ZuLocalTables
{
public:
    explicit ZuLocalTables(SQLite::Database* database = nullptr);

    // file_name names the file in error lines ("em.db").
    void set_database(SQLite::Database* database, const std::string& file_name = std::string());

    // Every stored cookie, oldest change first; on an error, those read so far.
    QList<QNetworkCookie> load_cookies();
    // Keeps one row per cookie name: a cookie of the same name replaces the row, whatever its
    // domain or path.
    void save_cookie(const QNetworkCookie& cookie);
    // Writes the changed cookies and removes the rows of the names given, all in one transaction.
    // False when the transaction failed and nothing was written, so that the caller may retry.
    bool save_cookies(const QList<QNetworkCookie>& changed, const QList<QByteArray>& removed_names);

    // The store's errors go to standard output only, as "error:<message>" followed by the file
    // and what the failure cost when known; nothing is shown to the user.
    static void report(const char* message);
    static void report(const char* message, const std::string& file_name, const char* loss);

private:
    SQLite::Database* database;
    std::string file_name;
};
