#include "ZuLocalDb.h"

#include <QByteArray>
#include <QFileInfo>
#include <SQLiteCpp/SQLiteCpp.h>

#include <algorithm>
#include <set>
#include <vector>

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

const char* const text_columns[] = {"cookie_key", "cookie_val", "cookie_domain", "cookie_path",
                                    "cookie_expires"};

// What a table rebuilt from the column list alone would not carry over.
const std::set<std::string> unrebuildable_words = {"AS",         "CHECK",   "COLLATE",   "CONFLICT",
                                                   "CONSTRAINT", "FOREIGN", "GENERATED", "REFERENCES",
                                                   "STRICT",     "VIRTUAL", "WITHOUT"};

struct Column
{
    std::string name;
    std::string declared_type;
    bool not_null = false;
    bool has_default = false;
    std::string default_value;
    bool primary_key = false;
    bool hidden = false;
};

struct CookieTable
{
    std::vector<Column> columns;
    std::string missing_column;
    bool text_affinity = true;
    bool unique_key = false;
    // Why the table cannot be rebuilt without losing something; empty when it can.
    std::string unrebuildable;
};

std::string lower(const std::string& text)
{
    return QByteArray::fromStdString(text).toLower().toStdString();
}

std::string quoted(const std::string& name)
{
    std::string out = "\"";
    for (const char c : name) {
        out += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return out + "\"";
}

// SQLite's affinity rules: only a type naming INT, REAL, FLOA, DOUB or none of the text and blob
// words converts number-like text.
bool keeps_text(const std::string& declared_type)
{
    const QByteArray type = QByteArray::fromStdString(declared_type).toUpper();
    if (type.contains("INT")) {
        return false;
    }
    if (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT") || type.contains("BLOB") ||
        type.isEmpty()) {
        return true;
    }
    return false;
}

bool is_text_column(const std::string& name)
{
    return std::any_of(std::begin(text_columns), std::end(text_columns),
                       [&](const char* column) { return name == column; });
}

// The key columns of an index; one compared other than byte for byte is marked, since it would
// let two names share a row.
std::vector<std::string> index_columns(SQLite::Database& database, const std::string& index)
{
    SQLite::Statement info(database, "PRAGMA index_xinfo(" + quoted(index) + ")");
    std::vector<std::string> columns;
    while (info.executeStep()) {
        if (info.getColumn(5).getInt() != 0) {
            const bool binary = lower(info.getColumn(4).getString()) == "binary";
            columns.push_back(lower(info.getColumn(2).getString()) + (binary ? "" : " collated"));
        }
    }
    return columns;
}

std::string first_unrebuildable_word(const std::string& sql)
{
    const QByteArray text = QByteArray::fromStdString(sql).toUpper();
    QByteArray word;
    for (int i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        if ((c >= 'A' && c <= 'Z') || c == '_') {
            word.append(c);
            continue;
        }
        if (unrebuildable_words.count(word.toStdString()) > 0) {
            return word.toStdString();
        }
        word.clear();
    }
    return std::string();
}

std::vector<Column> read_columns(SQLite::Database& database, const std::string& table)
{
    SQLite::Statement query(database, "PRAGMA table_xinfo(" + quoted(table) + ")");
    std::vector<Column> columns;
    while (query.executeStep()) {
        Column column;
        column.name = query.getColumn(1).getString();
        column.declared_type = query.getColumn(2).getString();
        column.not_null = query.getColumn(3).getInt() != 0;
        column.has_default = !query.getColumn(4).isNull();
        column.default_value = query.getColumn(4).getString();
        column.primary_key = query.getColumn(5).getInt() != 0;
        column.hidden = query.getColumn(6).getInt() != 0;
        columns.push_back(column);
    }
    return columns;
}

CookieTable inspect(SQLite::Database& database)
{
    CookieTable table;
    table.columns = read_columns(database, "cookies");
    for (const Column& column : table.columns) {
        const std::string name = lower(column.name);
        if (is_text_column(name) && !keeps_text(column.declared_type)) {
            table.text_affinity = false;
        }
        if (column.hidden) {
            table.unrebuildable = "the cookies table has a hidden or generated column " + column.name;
        }
        if (column.primary_key && name != "pk_id") {
            table.unrebuildable = "the cookies table has its primary key on " + column.name;
        }
    }
    for (const char* required :
         {"pk_id", "cookie_key", "cookie_val", "cookie_domain", "cookie_path", "cookie_expires"}) {
        const bool present =
            std::any_of(table.columns.begin(), table.columns.end(),
                        [&](const Column& column) { return lower(column.name) == required; });
        if (!present && table.missing_column.empty()) {
            table.missing_column = required;
        }
    }

    SQLite::Statement indexes(database, "PRAGMA index_list(cookies)");
    while (indexes.executeStep()) {
        const std::string name = indexes.getColumn(1).getString();
        const bool unique = indexes.getColumn(2).getInt() != 0;
        const std::string origin = indexes.getColumn(3).getString();
        const bool partial = indexes.getColumn(4).getInt() != 0;
        const std::vector<std::string> on = index_columns(database, name);
        // The table's own constraint or a unique index made beside it serve alike.
        const bool key_constraint =
            unique && !partial && origin != "pk" && on == std::vector<std::string>{"cookie_key"};
        const bool primary_key = origin == "pk" && on == std::vector<std::string>{"pk_id"};
        table.unique_key = table.unique_key || key_constraint;
        if (!key_constraint && !primary_key) {
            table.unrebuildable = "the cookies table has the index " + name;
        }
    }
    const int triggers =
        database.execAndGet("select count(*) from sqlite_master where type='trigger' and tbl_name='cookies'")
            .getInt();
    if (triggers > 0) {
        table.unrebuildable = "the cookies table has triggers";
    }
    const std::string word = first_unrebuildable_word(
        database.execAndGet("select sql from sqlite_master where type='table' and name='cookies'")
            .getString());
    if (!word.empty()) {
        table.unrebuildable = "the cookies table is declared with " + word;
    }
    return table;
}

std::string column_definition(const Column& column)
{
    const std::string name = lower(column.name);
    if (name == "pk_id") {
        return "pk_id INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL";
    }
    if (name == "cookie_key") {
        return "cookie_key TEXT UNIQUE NOT NULL";
    }
    if (is_text_column(name)) {
        return name + " TEXT";
    }
    std::string definition = quoted(column.name) + " " + column.declared_type;
    if (column.not_null) {
        definition += " NOT NULL";
    }
    if (column.has_default) {
        definition += " DEFAULT (" + column.default_value + ")";
    }
    return definition;
}

bool same_other_columns(const std::vector<Column>& rebuilt, const std::vector<Column>& old)
{
    if (rebuilt.size() != old.size()) {
        return false;
    }
    for (std::size_t i = 0; i < old.size(); ++i) {
        if (lower(rebuilt[i].name) != lower(old[i].name)) {
            return false;
        }
        const bool store_column = lower(old[i].name) == "pk_id" || is_text_column(lower(old[i].name));
        if (!store_column &&
            (rebuilt[i].declared_type != old[i].declared_type || rebuilt[i].not_null != old[i].not_null ||
             rebuilt[i].has_default != old[i].has_default ||
             rebuilt[i].default_value != old[i].default_value || rebuilt[i].hidden)) {
            return false;
        }
    }
    return true;
}

// Moves the rows into a table of the store's layout that keeps every other column as declared,
// keeping the newest row of each cookie name. Throws on any error; the transaction then leaves
// the file as it was.
void rebuild(SQLite::Database& database, const CookieTable& table)
{
    std::string definitions;
    std::string names;
    for (const Column& column : table.columns) {
        definitions += (definitions.empty() ? "" : ", ") + column_definition(column);
        names += (names.empty() ? "" : ",") + quoted(column.name);
    }
    SQLite::Transaction transaction(database);
    // One statement only, and checked: a declared type or default is text from the file.
    SQLite::Statement(database, "CREATE TABLE cookies_rebuilt (" + definitions + ")").exec();
    if (!same_other_columns(read_columns(database, "cookies_rebuilt"), table.columns)) {
        throw SQLite::Exception("the cookies table has a column that cannot be declared again");
    }
    database.exec("INSERT INTO cookies_rebuilt(" + names + ") SELECT " + names +
                  " FROM cookies WHERE rowid IN (SELECT max(rowid) FROM cookies GROUP BY cookie_key)"
                  " ORDER BY rowid");
    database.exec("DROP TABLE cookies");
    database.exec("ALTER TABLE cookies_rebuilt RENAME TO cookies");
    transaction.commit();
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
    const std::string file_name = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
    try {
        database = std::make_unique<SQLite::Database>(path, SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE,
                                                      busy_timeout_ms);
    } catch (const SQLite::Exception& error) {
        ZuLocalTables::report(error.what(), file_name, "cookies not loaded or saved");
        return false;
    }
    if (!prepare_cookie_table(file_name)) {
        database.reset();
        return false;
    }
    create_table("local_common_config", create_common_config, file_name);
    try {
        database->exec("PRAGMA foreign_keys=ON");
    } catch (const SQLite::Exception& error) {
        ZuLocalTables::report(error.what(), file_name, "cookies not loaded or saved");
        database.reset();
        return false;
    }
    tables->set_database(database.get(), file_name);
    return true;
}

ZuLocalTables* ZuLocalDb::get()
{
    return tables.get();
}

// A file that cannot be read, or whose table lacks what the store relies on (its columns and one
// row per name), would fail or grow duplicates at every reply; the store stays closed instead.
// Files of earlier versions declared the text columns STRING, whose numeric affinity turns "0123"
// into 123; their rows move to TEXT columns. Values already turned into numbers cannot be told
// from real ones and stay as they are.
bool ZuLocalDb::prepare_cookie_table(const std::string& file_name)
{
    const char* const closed = "cookies not loaded or saved, file left as it was";
    CookieTable table;
    try {
        // A damaged file reads differently from one statement to the next, and a table created
        // or rebuilt in it would hold whatever the damaged pages happen to give.
        if (database->execAndGet("PRAGMA quick_check(1)").getString() != "ok") {
            ZuLocalTables::report("database disk image is malformed", file_name, closed);
            return false;
        }
        if (!database->tableExists("cookies")) {
            database->exec(create_cookies);
            return true;
        }
        table = inspect(*database);
    } catch (const SQLite::Exception& error) {
        ZuLocalTables::report(error.what(), file_name, closed);
        return false;
    }
    if (!table.missing_column.empty()) {
        const std::string message = "the cookies table has no column " + table.missing_column;
        ZuLocalTables::report(message.c_str(), file_name, closed);
        return false;
    }
    if (table.unique_key && table.text_affinity) {
        return true;
    }
    std::string failure = table.unrebuildable;
    if (failure.empty()) {
        try {
            rebuild(*database, table);
            return true;
        } catch (const SQLite::Exception& error) {
            failure = error.what();
        }
    }
    // With its unique name the old table still works as before, only with its old affinity.
    if (table.unique_key) {
        ZuLocalTables::report(failure.c_str(), file_name, "cookies table kept in its old layout");
        return true;
    }
    ZuLocalTables::report(failure.c_str(), file_name, closed);
    return false;
}

void ZuLocalDb::create_table(const char* name, const char* statement, const std::string& file_name)
{
    try {
        if (!database->tableExists(name)) {
            database->exec(statement);
        }
    } catch (const SQLite::Exception& error) {
        const std::string loss = std::string(name) + " not created";
        ZuLocalTables::report(error.what(), file_name, loss.c_str());
    }
}
