#include "ZuLocalDb.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace {

QNetworkCookie make_cookie(const QByteArray& name, const QByteArray& value,
                           const QString& domain = ".kestrune.example", const QString& path = "/")
{
    QNetworkCookie cookie(name, value);
    cookie.setDomain(domain);
    cookie.setPath(path);
    return cookie;
}

std::vector<std::string> error_lines(const std::string& output)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        const std::size_t end = output.find('\n', start);
        lines.push_back(output.substr(start, end - start));
        start = end == std::string::npos ? output.size() : end + 1;
    }
    return lines;
}

const char old_layout[] = "CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL,"
                          " cookie_key STRING UNIQUE NOT NULL, cookie_val STRING, cookie_domain STRING,"
                          " cookie_path STRING, cookie_expires STRING);"
                          "CREATE TABLE local_common_config (local_config_key STRING UNIQUE,"
                          " local_config_val STRING)";

class ZuLocalDbTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::string file() const { return dir.filePath("em.db").toStdString(); }

    QByteArray file_bytes() const
    {
        QFile in(QString::fromStdString(file()));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    // "key=value" per row, oldest first.
    std::vector<std::string> rows()
    {
        SQLite::Database raw(file());
        SQLite::Statement query(
            raw, "select ifnull(cookie_key,'')||'='||ifnull(cookie_val,'') from cookies order by pk_id");
        std::vector<std::string> found;
        while (query.executeStep()) {
            found.push_back(query.getColumn(0).getString());
        }
        return found;
    }

    // "name type notnull default" per column.
    std::vector<std::string> cookie_columns()
    {
        SQLite::Database raw(file());
        SQLite::Statement query(raw, "PRAGMA table_info(cookies)");
        std::vector<std::string> columns;
        while (query.executeStep()) {
            columns.push_back(query.getColumn(1).getString() + " " + query.getColumn(2).getString() + " " +
                              query.getColumn(3).getString() + " " + query.getColumn(4).getString());
        }
        return columns;
    }

    bool open(ZuLocalDb& store)
    {
        store.set_path(file());
        return store.open();
    }

    std::vector<std::string> schema()
    {
        SQLite::Database raw(file());
        SQLite::Statement query(raw, "select name from sqlite_master order by name");
        std::vector<std::string> names;
        while (query.executeStep()) {
            names.push_back(query.getColumn(0).getString());
        }
        return names;
    }

    std::vector<std::string> cookie_column_types()
    {
        SQLite::Database raw(file());
        SQLite::Statement query(raw, "PRAGMA table_info(cookies)");
        std::vector<std::string> types;
        while (query.executeStep()) {
            types.push_back(query.getColumn(2).getString());
        }
        return types;
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(ZuLocalDbTest, FirstOpenCreatesFileWithBothTablesAndLoadsNothing)
{
    ZuLocalDb store;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(open(store));
    EXPECT_TRUE(store.get()->load_cookies().isEmpty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_TRUE(QFile::exists(QString::fromStdString(file())));
    const std::vector<std::string> names = schema();
    EXPECT_NE(std::find(names.begin(), names.end(), "cookies"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "local_common_config"), names.end());
    EXPECT_EQ(cookie_column_types(),
              (std::vector<std::string>{"INTEGER", "TEXT", "TEXT", "TEXT", "TEXT", "TEXT"}));
}

TEST_F(ZuLocalDbTest, ReopenKeepsRowsAndCreatesNothing)
{
    {
        ZuLocalDb store;
        ASSERT_TRUE(open(store));
        store.get()->save_cookie(make_cookie("sid", "one"));
        store.get()->save_cookie(make_cookie("lang", "zh"));
    }
    const std::vector<std::string> before = schema();

    ZuLocalDb store;
    ASSERT_TRUE(open(store));
    ASSERT_TRUE(store.open());
    EXPECT_EQ(schema(), before);
    const QList<QNetworkCookie> cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 2);
    EXPECT_EQ(cookies[0].name(), "sid");
    EXPECT_EQ(cookies[0].value(), "one");
    EXPECT_EQ(cookies[1].name(), "lang");
    EXPECT_EQ(cookies[1].value(), "zh");
}

TEST_F(ZuLocalDbTest, SameNameCookieKeepsOneRowTheLastSaved)
{
    ZuLocalDb store;
    ASSERT_TRUE(open(store));
    store.get()->save_cookie(make_cookie("sid", "first", "a.kestrune.example", "/a"));
    store.get()->save_cookie(make_cookie("sid", "second", "b.kestrune.example", "/b"));

    const QList<QNetworkCookie> cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 1);
    EXPECT_EQ(cookies[0].value(), "second");
    EXPECT_EQ(cookies[0].domain(), "b.kestrune.example");
    EXPECT_EQ(cookies[0].path(), "/b");
}

TEST_F(ZuLocalDbTest, CookieBytesRoundTripExactly)
{
    // Values that look like numbers must not be rewritten, and cookies are bytes, not UTF-8.
    const QList<QByteArray> values = {
        "0123", "1e3", "9007199254740993", "abc", "", " 42 ", "12.50", "-0", QByteArray("\xff\xfe\x80z", 4)};
    ZuLocalDb store;
    ASSERT_TRUE(open(store));
    for (int i = 0; i < values.size(); ++i) {
        store.get()->save_cookie(make_cookie("0" + QByteArray::number(i), values[i]));
    }
    store.get()->save_cookie(
        make_cookie("site", "x", QString::fromUtf8("例子.kestrune.example"), QString::fromUtf8("/歌曲 key")));

    ZuLocalDb reopened;
    ASSERT_TRUE(open(reopened));
    const QList<QNetworkCookie> cookies = reopened.get()->load_cookies();
    ASSERT_EQ(cookies.size(), values.size() + 1);
    for (int i = 0; i < values.size(); ++i) {
        EXPECT_EQ(cookies[i].name(), "0" + QByteArray::number(i));
        EXPECT_EQ(cookies[i].value(), values[i]) << i;
    }
    EXPECT_EQ(cookies.last().domain(), QString::fromUtf8("例子.kestrune.example"));
    EXPECT_EQ(cookies.last().path(), QString::fromUtf8("/歌曲 key"));
}

TEST_F(ZuLocalDbTest, SessionCookieIsStoredWithEmptyExpiryAndComesBackAsSession)
{
    ZuLocalDb store;
    ASSERT_TRUE(open(store));
    store.get()->save_cookie(make_cookie("sid", "s"));

    SQLite::Database raw(file());
    EXPECT_EQ(raw.execAndGet("select cookie_expires from cookies").getString(), "");
    const QList<QNetworkCookie> cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 1);
    EXPECT_TRUE(cookies[0].isSessionCookie());
}

TEST_F(ZuLocalDbTest, ExpiryIsStoredAsTextDateAndExpiredCookiesStillLoad)
{
    const QDateTime future(QDate(2091, 3, 4), QTime(5, 6, 7), Qt::UTC);
    const QDateTime past(QDate(2001, 1, 2), QTime(3, 4, 5), Qt::UTC);
    QNetworkCookie lasting = make_cookie("lasting", "1");
    lasting.setExpirationDate(future);
    QNetworkCookie expired = make_cookie("expired", "2");
    expired.setExpirationDate(past);

    ZuLocalDb store;
    ASSERT_TRUE(open(store));
    store.get()->save_cookie(lasting);
    store.get()->save_cookie(expired);

    SQLite::Database raw(file());
    EXPECT_EQ(raw.execAndGet("select cookie_expires from cookies where cookie_key='lasting'").getString(),
              future.toString(Qt::TextDate).toStdString());
    const QList<QNetworkCookie> cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 2);
    EXPECT_EQ(cookies[0].expirationDate(), future);
    EXPECT_EQ(cookies[1].name(), "expired");
    EXPECT_EQ(cookies[1].expirationDate(), past);
}

TEST_F(ZuLocalDbTest, UnreadableFilesAreReportedAndLeftUntouched)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.append(static_cast<char>((i * 37 + 11) % 256));
    }
    // An earlier version's layout, which opening would otherwise rebuild, with the first page of
    // its cookie rows damaged.
    QByteArray damaged;
    {
        SQLite::Database raw(file(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        raw.exec("CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL,"
                 " cookie_key STRING UNIQUE NOT NULL, cookie_val STRING, cookie_domain STRING,"
                 " cookie_path STRING, cookie_expires STRING)");
        raw.exec(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
            " INSERT INTO cookies (cookie_key, cookie_val) SELECT 'c' || i, printf('%.100c', 'v') FROM n");
        const int root = raw.execAndGet("SELECT rootpage FROM sqlite_master WHERE name = 'cookies'").getInt();
        damaged = file_bytes();
        const int page_size = raw.execAndGet("PRAGMA page_size").getInt();
        damaged[(root - 1) * page_size] = 0;
    }
    const struct
    {
        const char* what;
        QByteArray bytes;
        std::string error;
    } cases[] = {
        {"not a database", garbage, "file is not a database"},
        {"damaged pages", damaged, "database disk image is malformed"},
    };
    for (const auto& unreadable : cases) {
        SCOPED_TRACE(unreadable.what);
        QFile out(QString::fromStdString(file()));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(unreadable.bytes);
        out.close();

        ZuLocalDb store;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(open(store));
        EXPECT_TRUE(store.get()->load_cookies().isEmpty());
        store.get()->save_cookie(make_cookie("sid", "s"));
        const std::vector<std::string> lines = error_lines(testing::internal::GetCapturedStdout());

        EXPECT_EQ(lines,
                  std::vector<std::string>{"error:" + unreadable.error +
                                           " (em.db: cookies not loaded or saved, file left as it was)"});
        EXPECT_EQ(file_bytes(), unreadable.bytes);
    }
}

TEST_F(ZuLocalDbTest, StringLayoutIsMigratedToTextKeepingRows)
{
    {
        SQLite::Database raw(file(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        raw.exec(old_layout);
        raw.exec("insert into cookies(cookie_key,cookie_val,cookie_domain,cookie_path,cookie_expires) "
                 "values ('sid','abc','.kestrune.example','/',''),('n','0123','.kestrune.example','/','')");
    }
    ZuLocalDb store;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(open(store));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    EXPECT_EQ(cookie_column_types(),
              (std::vector<std::string>{"INTEGER", "TEXT", "TEXT", "TEXT", "TEXT", "TEXT"}));
    QList<QNetworkCookie> cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 2);
    EXPECT_EQ(cookies[0].value(), "abc");
    EXPECT_EQ(cookies[0].domain(), ".kestrune.example");
    EXPECT_EQ(cookies[1].value(), "123");

    store.get()->save_cookie(make_cookie("n", "0123"));
    cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 2);
    EXPECT_EQ(cookies[1].value(), "0123");
}

TEST_F(ZuLocalDbTest, FailedMigrationIsRolledBackAndStoreOpensWithOldTable)
{
    SQLite::Database other(file(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
    other.exec(old_layout);
    other.exec("insert into cookies(cookie_key,cookie_val) values ('sid','abc')");
    const std::vector<std::string> old_types = cookie_column_types();
    // Another process holding a write lock makes the migration fail at once.
    other.exec("BEGIN IMMEDIATE");

    ZuLocalDb store;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(open(store));
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("error:", 0), 0u) << output;

    other.exec("ROLLBACK");
    EXPECT_EQ(cookie_column_types(), old_types);
    const QList<QNetworkCookie> cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 1);
    EXPECT_EQ(cookies[0].value(), "abc");

    ASSERT_TRUE(store.open());
    EXPECT_EQ(cookie_column_types(),
              (std::vector<std::string>{"INTEGER", "TEXT", "TEXT", "TEXT", "TEXT", "TEXT"}));
    EXPECT_EQ(store.get()->load_cookies().size(), 1);
}

TEST_F(ZuLocalDbTest, OperationsBeforeOpenDoNothing)
{
    ZuLocalDb store;
    store.set_path(file());
    testing::internal::CaptureStdout();
    store.get()->save_cookie(make_cookie("sid", "s"));
    EXPECT_TRUE(store.get()->load_cookies().isEmpty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file())));
}

TEST_F(ZuLocalDbTest, FailedOpenClosesTheStore)
{
    ZuLocalDb store;
    ASSERT_TRUE(open(store));
    store.get()->save_cookie(make_cookie("sid", "s"));

    store.set_path(dir.filePath("missing/em.db").toStdString());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(store.open());
    EXPECT_TRUE(store.get()->load_cookies().isEmpty());
    store.get()->save_cookie(make_cookie("lost", "l"));
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(output.rfind("error:", 0), 0u) << output;

    ZuLocalDb reopened;
    ASSERT_TRUE(open(reopened));
    EXPECT_EQ(reopened.get()->load_cookies().size(), 1);
}

TEST_F(ZuLocalDbTest, OpenWithoutPathFailsInsteadOfUsingATemporaryDatabase)
{
    ZuLocalDb store;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(store.open());
    store.get()->save_cookie(make_cookie("sid", "s"));
    EXPECT_TRUE(store.get()->load_cookies().isEmpty());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error:no database path set\n");
}

namespace {

const std::vector<std::string> store_columns = {"pk_id INTEGER 1 ",    "cookie_key TEXT 1 ",
                                                "cookie_val TEXT 0 ",  "cookie_domain TEXT 0 ",
                                                "cookie_path TEXT 0 ", "cookie_expires TEXT 0 "};

} // namespace

TEST_F(ZuLocalDbTest, CookieTablesOfOtherLayoutsAreRebuiltKeepingEverythingOrLeftUntouched)
{
    const std::string config = "CREATE TABLE local_common_config (local_config_key TEXT UNIQUE,"
                               " local_config_val TEXT);";
    const std::string string_columns = "pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key STRING "
                                       "UNIQUE NOT NULL, cookie_val STRING, cookie_domain STRING, "
                                       "cookie_path STRING, cookie_expires STRING";
    const std::string loose_columns =
        "pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key TEXT NOT NULL,"
        " cookie_val TEXT, cookie_domain TEXT, cookie_path TEXT, cookie_expires TEXT";
    const std::string duplicates = "insert into cookies(cookie_key,cookie_val) values "
                                   "('sid','old'),('lang','zh'),('sid','new');";
    struct Case
    {
        const char* name;
        std::string setup;
        bool opens;
        // Part of the error line; none expected when empty.
        std::string error;
        bool untouched;
        std::vector<std::string> rows;
        std::vector<std::string> columns;
        // A query of one value that the outcome must keep, and that value.
        std::string kept_query = "select 'nothing'";
        std::string kept = "nothing";
    };
    std::vector<std::string> with_extras = store_columns;
    with_extras.insert(with_extras.begin() + 2, "note TEXT 1 'none'");
    with_extras.push_back("hits INTEGER 0 0");
    const std::string closed = "(em.db: cookies not loaded or saved, file left as it was)";
    const Case cases[] = {
        {"old layout with extra columns keeps them and their values",
         config + "CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key STRING "
                  "UNIQUE "
                  "NOT NULL, note TEXT NOT NULL DEFAULT 'none', cookie_val STRING, cookie_domain STRING, "
                  "cookie_path STRING, cookie_expires STRING, hits INTEGER DEFAULT 0);"
                  "insert into cookies(cookie_key,note,cookie_val,hits) values ('sid','kept','0123',7);",
         true,
         "",
         false,
         {"sid=123"},
         with_extras,
         "select note||','||hits from cookies",
         "kept,7"},
        {"no unique name keeps the newest row of each name",
         config + "CREATE TABLE cookies (" + loose_columns + ");" + duplicates,
         true,
         "",
         false,
         {"lang=zh", "sid=new"},
         store_columns},
        {"a unique index of its own on the name serves as the constraint",
         config + "CREATE TABLE cookies (" + loose_columns +
             "); CREATE UNIQUE INDEX by_name ON cookies(cookie_key);" +
             "insert into cookies(cookie_key,cookie_val) values ('sid','s');",
         true,
         "",
         true,
         {"sid=s"},
         {}},
        {"no unique name and the old types",
         config +
             "CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key STRING NOT "
             "NULL,"
             " cookie_val STRING, cookie_domain STRING, cookie_path STRING, cookie_expires STRING);" +
             duplicates + "insert into cookies(cookie_key,cookie_val) values ('n','1e3');",
         true,
         "",
         false,
         {"lang=zh", "sid=new", "n=1000"},
         store_columns},
        {"old layout with a check constraint stays as it was and works",
         config + "CREATE TABLE cookies (" + string_columns + ", CHECK (length(cookie_key) > 0));" +
             "insert into cookies(cookie_key,cookie_val) values ('sid','abc');",
         true,
         "(em.db: cookies table kept in its old layout)",
         true,
         {"sid=abc"},
         {}},
        {"no unique name with a trigger",
         config + "CREATE TABLE cookies (" + loose_columns + "); CREATE TABLE log(n);" +
             "CREATE TRIGGER logged AFTER INSERT ON cookies BEGIN INSERT INTO log VALUES (1); END;" +
             duplicates,
         false,
         "error:the cookies table has triggers " + closed,
         true,
         {"sid=old", "lang=zh", "sid=new"},
         {}},
        {"no unique name with an index of its own",
         config + "CREATE TABLE cookies (" + loose_columns +
             "); CREATE INDEX by_domain ON cookies(cookie_domain);" + duplicates,
         false,
         "error:the cookies table has the index by_domain " + closed,
         true,
         {"sid=old", "lang=zh", "sid=new"},
         {}},
        {"no unique name with a row without a name",
         config + "CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL, cookie_key TEXT,"
                  " cookie_val TEXT, cookie_domain TEXT, cookie_path TEXT, cookie_expires TEXT);"
                  "insert into cookies(cookie_key,cookie_val) values ('sid','s'),(NULL,'x');",
         false,
         closed,
         true,
         {"sid=s", "=x"},
         {}},
        {"no unique name and a declared type that reads as statements",
         config + "CREATE TABLE cookies (" + loose_columns +
             ", extra \"x); DROP TABLE local_common_config; --\");" + duplicates,
         false,
         "error:the cookies table has a column that cannot be declared again " + closed,
         true,
         {"sid=old", "lang=zh", "sid=new"},
         {}},
        {"a missing column",
         config + "CREATE TABLE cookies (pk_id INTEGER PRIMARY KEY, cookie_key TEXT UNIQUE NOT NULL,"
                  " cookie_val TEXT, cookie_domain TEXT, cookie_path TEXT);"
                  "insert into cookies(cookie_key,cookie_val) values ('sid','s');",
         false,
         "error:the cookies table has no column cookie_expires " + closed,
         true,
         {"sid=s"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(QString::fromStdString(file()));
        {
            SQLite::Database raw(file(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
            raw.exec(c.setup);
        }
        const QByteArray before = file_bytes();

        ZuLocalDb store;
        testing::internal::CaptureStdout();
        EXPECT_EQ(open(store), c.opens);
        const std::string output = testing::internal::GetCapturedStdout();
        if (c.error.empty()) {
            EXPECT_EQ(output, "");
        } else {
            EXPECT_EQ(output.rfind("error:", 0), 0u) << output;
            EXPECT_NE(output.find(c.error), std::string::npos) << output;
        }
        if (c.untouched) {
            EXPECT_EQ(file_bytes(), before);
        }
        EXPECT_EQ(rows(), c.rows);
        if (!c.columns.empty()) {
            EXPECT_EQ(cookie_columns(), c.columns);
        }
        EXPECT_EQ(SQLite::Database(file()).execAndGet(c.kept_query).getString(), c.kept);
        if (c.opens) {
            // One row per name from now on.
            store.get()->save_cookie(make_cookie(
                QByteArray::fromStdString(c.rows.back().substr(0, c.rows.back().find('='))), "again"));
            EXPECT_EQ(rows().size(), c.rows.size());
        } else {
            EXPECT_TRUE(store.get()->load_cookies().isEmpty());
        }
    }
}

TEST_F(ZuLocalDbTest, ALockIsWaitedForAndOneHeldTooLongIsReportedWithWhatIsLost)
{
    {
        ZuLocalDb store;
        ASSERT_TRUE(open(store));
        store.get()->save_cookie(make_cookie("sid", "stored"));
    }
    struct Case
    {
        const char* name;
        const char* lock;
        int hold_ms;
        bool opens;
        std::string output;
    };
    const Case cases[] = {
        {"read lock released in time", "BEGIN EXCLUSIVE", 300, true, ""},
        {"read lock held", "BEGIN EXCLUSIVE", 4000, false,
         "error:database is locked (em.db: cookies not loaded or saved, file left as it was)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::promise<void> locked;
        std::thread other([&] {
            SQLite::Database raw(file(), SQLite::OPEN_READWRITE);
            raw.exec(c.lock);
            locked.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(c.hold_ms));
            raw.exec("COMMIT");
        });
        locked.get_future().wait();
        ZuLocalDb store;
        testing::internal::CaptureStdout();
        EXPECT_EQ(open(store), c.opens);
        const QList<QNetworkCookie> cookies = store.get()->load_cookies();
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.output);
        other.join();
        EXPECT_EQ(cookies.size(), c.opens ? 1 : 0);
    }

    // A write lock held past the wait fails the save as a whole; the caller may try again.
    ZuLocalDb store;
    ASSERT_TRUE(open(store));
    SQLite::Database other(file(), SQLite::OPEN_READWRITE);
    other.exec("BEGIN IMMEDIATE");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(store.get()->save_cookies({make_cookie("sid", "new"), make_cookie("lang", "zh")}, {}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "error:database is locked (em.db: cookie changes not saved yet)\n");
    other.exec("ROLLBACK");
    EXPECT_EQ(rows(), std::vector<std::string>{"sid=stored"});
    EXPECT_TRUE(store.get()->save_cookies({make_cookie("sid", "new"), make_cookie("lang", "zh")}, {}));
    EXPECT_EQ(rows(), (std::vector<std::string>{"sid=new", "lang=zh"}));
}
