// em.db files as the store finds them on disk: opened, their cookies loaded into the cookie jar
// and saved back, then opened again.
//
// Input: the file's bytes. scripts/fuzz makes the seed files from the SQL texts of
// corpus/em_db/ (any other file there is a seed as it is) with the sqlite3 shell.

#include "FuzzSupport.h"
#include "QZuHttpCookie.h"
#include "ZuLocalDb.h"

#include <QByteArray>
#include <QFile>
#include <QNetworkCookie>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

const QByteArray sqlite_magic("SQLite format 3\0", 16);

QString database_path()
{
    return fuzz::work_folder() + QStringLiteral("/em.db");
}

QByteArray file_bytes()
{
    QFile file(database_path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString describe(const QList<QNetworkCookie>& cookies)
{
    QString text = QString::number(cookies.size()) + " cookies:";
    for (const QNetworkCookie& cookie : cookies) {
        text += QLatin1Char(' ') + fuzz::spelled_out(QString::fromUtf8(cookie.toRawForm()));
    }
    return text;
}

QList<QNetworkCookie> cookies_after_open(bool* opened)
{
    ZuLocalDb store;
    store.set_path(database_path().toStdString());
    *opened = store.open();
    return store.get()->load_cookies();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensure_application();
    // One "error:" line per failing step.
    fuzz::quiet_standard_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (const QString& suffix :
         {QStringLiteral("-journal"), QStringLiteral("-wal"), QStringLiteral("-shm")}) {
        QFile::remove(database_path() + suffix);
    }
    {
        QFile file(database_path());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(input) != input.size()) {
            fuzz::fail("the database file can be written", database_path());
        }
    }
    // SQLite takes a file of one byte for an empty one: it may have written that byte itself.
    const bool foreign = input.size() > 1 && !input.startsWith(sqlite_magic);

    ZuLocalDb store;
    store.set_path(database_path().toStdString());
    const bool opened = store.open();
    if (!opened && file_bytes() != input) {
        fuzz::fail("a file the store could not open is left as it was");
    }
    const QList<QNetworkCookie> loaded = store.get()->load_cookies();
    if (foreign && !loaded.isEmpty()) {
        fuzz::fail("a file that is no database yields no cookies", describe(loaded));
    }
    const QList<QNetworkCookie> loaded_again = store.get()->load_cookies();
    if (loaded_again != loaded) {
        fuzz::fail("loading twice gives the same cookies",
                   describe(loaded) + " then " + describe(loaded_again));
    }

    bool reopened = false;
    const QList<QNetworkCookie> after_reopen = cookies_after_open(&reopened);
    if (reopened != opened || after_reopen != loaded) {
        fuzz::fail("opening the file again keeps every cookie",
                   QStringLiteral("opened %1 then %2; ").arg(opened).arg(reopened) + describe(loaded) +
                       " then " + describe(after_reopen));
    }

    QZuHttpCookie jar(store.get(), nullptr);
    jar.save_all();
    if (foreign && file_bytes() != input) {
        fuzz::fail("a file that is no database is never written to");
    }
    return 0;
}
