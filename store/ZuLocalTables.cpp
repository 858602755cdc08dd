#include "ZuLocalTables.h"

#include <QDateTime>
#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdio>
#include <string>

namespace {

// Reads the column's exact bytes, so a value that is not valid UTF-8, or holds a NUL, comes
// back as it was written. NULL reads as empty.
QByteArray column_bytes(const SQLite::Column& column)
{
    const auto* data = static_cast<const char*>(column.getBlob());
    const int size = column.getBytes();
    return QByteArray(data, size);
}

std::string to_text(const QByteArray& bytes)
{
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace

ZuLocalTables::ZuLocalTables(SQLite::Database* database)
    : database(database)
{
}

void ZuLocalTables::set_database(SQLite::Database* database)
{
    this->database = database;
}

QList<QNetworkCookie> ZuLocalTables::load_cookies()
{
    QList<QNetworkCookie> cookies;
    if (!database) {
        return cookies;
    }
    try {
        SQLite::Statement query(*database, "select cookie_key,cookie_val,cookie_domain,cookie_path,"
                                           "cookie_expires from cookies");
        while (query.executeStep()) {
            QNetworkCookie cookie(column_bytes(query.getColumn(0)), column_bytes(query.getColumn(1)));
            cookie.setDomain(QString::fromUtf8(column_bytes(query.getColumn(2))));
            cookie.setPath(QString::fromUtf8(column_bytes(query.getColumn(3))));
            const QString expires = QString::fromUtf8(column_bytes(query.getColumn(4)));
            cookie.setExpirationDate(QDateTime::fromString(expires, Qt::TextDate));
            cookies.append(cookie);
        }
    } catch (const SQLite::Exception& error) {
        report(error.what());
    }
    return cookies;
}

void ZuLocalTables::save_cookie(const QNetworkCookie& cookie)
{
    if (!database) {
        return;
    }
    const QString expires =
        cookie.isSessionCookie() ? QString() : cookie.expirationDate().toString(Qt::TextDate);
    try {
        SQLite::Statement replace(*database, "replace into cookies(cookie_key,cookie_val,cookie_domain,"
                                             "cookie_path,cookie_expires) values (?,?,?,?,?)");
        replace.bind(1, to_text(cookie.name()));
        replace.bind(2, to_text(cookie.value()));
        replace.bind(3, cookie.domain().toStdString());
        replace.bind(4, cookie.path().toStdString());
        replace.bind(5, expires.toStdString());
        replace.exec();
    } catch (const SQLite::Exception& error) {
        report(error.what());
    }
}

void ZuLocalTables::report(const char* message)
{
    std::printf("error:%s\n", message);
    std::fflush(stdout);
}
