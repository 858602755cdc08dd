#include "ZuLocalDb.h"

#include <QByteArray>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {

// TEXT, not a numeric affinity, so that values such as "0123" or "1e3" come back unchanged.
const char create_cookies[] = "CREATE TABLE cookies ("
                              "pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL,"
                              " cookie_key TEXT UNIQUE NOT NULL,"
                              " cookie_val TEXT,"
                              " cookie_domain TEXT,"
                              " cookie_path TEXT,"
                              " cookie_expires TEXT)";

const char create_common_config[] = "CREATE TABLE local_common_config ("
                                    "local_config_key TEXT UNIQUE,"
                                    " local_config_val TEXT)";

bool has_string_columns(SQLite::Database& database)
{
    SQLite::Statement columns(database, "PRAGMA table_info(cookies)");
    while (columns.executeStep()) {
        const std::string name = columns.getColumn(1).getString();
        const QByteArray type = QByteArray::fromStdString(columns.getColumn(2).getString()).toUpper();
        if (name != "pk_id" && type == "STRING") {
            return true;
        }
    }
    return false;
}

} // namespace

ZuLocalDb::ZuLocalDb()
    : tables(std::make_unique<ZuLocalTables>())
{
}

ZuLocalDb::~ZuLocalDb() = default;

ZuLocalDb* ZuLocalDb::instance()
{
    static ZuLocalDb* const store = new ZuLocalDb();
    return store;
}

void ZuLocalDb::set_path(const std::string& path)
{
    this->path = path;
}

bool ZuLocalDb::open()
{
    tables->set_database(nullptr);
    database.reset();
    // SQLite would open a temporary database for an empty name, and every cookie would be lost
    // at exit while the store claimed to be open.
    if (path.empty()) {
        ZuLocalTables::report("no database path set");
        return false;
    }
    try {
        database.reset(new SQLite::Database(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE));
    } catch (const SQLite::Exception& error) {
        ZuLocalTables::report(error.what());
        return false;
    }
    create_table("cookies", create_cookies);
    migrate_cookie_columns();
    create_table("local_common_config", create_common_config);
    try {
        database->exec("PRAGMA foreign_keys=ON");
    } catch (const SQLite::Exception& error) {
        ZuLocalTables::report(error.what());
        database.reset();
        return false;
    }
    tables->set_database(database.get());
    return true;
}

ZuLocalTables* ZuLocalDb::get()
{
    return tables.get();
}

void ZuLocalDb::create_table(const char* name, const char* statement)
{
    try {
        if (!database->tableExists(name)) {
            database->exec(statement);
        }
    } catch (const SQLite::Exception& error) {
        ZuLocalTables::report(error.what());
    }
}

// Files made by earlier versions declared the cookie columns STRING, whose numeric affinity
// turns "0123" into 123. The rows move to a TEXT table; values already turned into numbers
// cannot be told from real ones and stay as they are. On any error the old table stays.
void ZuLocalDb::migrate_cookie_columns()
{
    try {
        if (!has_string_columns(*database)) {
            return;
        }
        SQLite::Transaction transaction(*database);
        database->exec("ALTER TABLE cookies RENAME TO cookies_string_layout");
        database->exec(create_cookies);
        database->exec("INSERT INTO cookies(pk_id,cookie_key,cookie_val,cookie_domain,cookie_path,"
                       "cookie_expires) SELECT pk_id,cookie_key,cookie_val,cookie_domain,cookie_path,"
                       "cookie_expires FROM cookies_string_layout");
        database->exec("DROP TABLE cookies_string_layout");
        transaction.commit();
    } catch (const SQLite::Exception& error) {
        ZuLocalTables::report(error.what());
    }
}
