#include "ZuLocalDb.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
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

TEST_F(ZuLocalDbTest, FileThatIsNoDatabaseIsReportedAndLeftUntouched)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.append(static_cast<char>((i * 37 + 11) % 256));
    }
    QFile out(QString::fromStdString(file()));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(garbage);
    out.close();

    ZuLocalDb store;
    testing::internal::CaptureStdout();
    open(store);
    EXPECT_TRUE(store.get()->load_cookies().isEmpty());
    store.get()->save_cookie(make_cookie("sid", "s"));
    const std::vector<std::string> lines = error_lines(testing::internal::GetCapturedStdout());

    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("error:", 0), 0u) << line;
    }
    QFile in(QString::fromStdString(file()));
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll(), garbage);
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
