#include "ZuLocalTables.h"

#include <QDateTime>
#include <SQLiteCpp/SQLiteCpp.h>

#include <cstdio>

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

void ZuLocalTables::set_database(SQLite::Database* database, const std::string& file_name)
{
    this->database = database;
    this->file_name = file_name;
}

QList<QNetworkCookie> ZuLocalTables::load_cookies()
{
    QList<QNetworkCookie> cookies;
    if (!database) {
        return cookies;
    }
    try {
        // A changed cookie gets a new pk_id, so this order is the order of the last changes, which
        // the jar's eviction of the oldest relies on.
        SQLite::Statement query(*database, "select cookie_key,cookie_val,cookie_domain,cookie_path,"
                                           "cookie_expires from cookies order by pk_id");
        while (query.executeStep()) {
            QNetworkCookie cookie(column_bytes(query.getColumn(0)), column_bytes(query.getColumn(1)));
            cookie.setDomain(QString::fromUtf8(column_bytes(query.getColumn(2))));
            cookie.setPath(QString::fromUtf8(column_bytes(query.getColumn(3))));
            const QString expires = QString::fromUtf8(column_bytes(query.getColumn(4)));
            cookie.setExpirationDate(QDateTime::fromString(expires, Qt::TextDate));
            cookies.append(cookie);
        }
    } catch (const SQLite::Exception& error) {
        report(error.what(), file_name, cookies.isEmpty() ? "cookies not loaded" : "some cookies not loaded");
    }
    return cookies;
}

void ZuLocalTables::save_cookie(const QNetworkCookie& cookie)
{
    save_cookies({cookie}, {});
}

bool ZuLocalTables::save_cookies(const QList<QNetworkCookie>& changed, const QList<QByteArray>& removed_names)
{
    if (!database) {
        return true;
    }
    try {
        SQLite::Transaction transaction(*database);
        SQLite::Statement replace(*database, "replace into cookies(cookie_key,cookie_val,cookie_domain,"
                                             "cookie_path,cookie_expires) values (?,?,?,?,?)");
        for (const QNetworkCookie& cookie : changed) {
            const QString expires =
                cookie.isSessionCookie() ? QString() : cookie.expirationDate().toString(Qt::TextDate);
            replace.bind(1, to_text(cookie.name()));
            replace.bind(2, to_text(cookie.value()));
            replace.bind(3, cookie.domain().toStdString());
            replace.bind(4, cookie.path().toStdString());
            replace.bind(5, expires.toStdString());
            replace.exec();
            replace.reset();
        }
        SQLite::Statement remove(*database, "delete from cookies where cookie_key=?");
        for (const QByteArray& name : removed_names) {
            remove.bind(1, to_text(name));
            remove.exec();
            remove.reset();
        }
        transaction.commit();
        return true;
    } catch (const SQLite::Exception& error) {
        report(error.what(), file_name, "cookie changes not saved yet");
        return false;
    }
}

void ZuLocalTables::report(const char* message)
{
    std::printf("error:%s\n", message);
    std::fflush(stdout);
}

void ZuLocalTables::report(const char* message, const std::string& file_name, const char* loss)
{
    std::printf("error:%s (%s: %s)\n", message, file_name.c_str(), loss);
    std::fflush(stdout);
}
