#pragma once

#include "ZuLocalTables.h"

#include <memory>
#include <string>

namespace SQLite {
class Database;
}

// The SQLite file that keeps the service's cookies between runs. The program uses the one
// instance(); tests make their own stores.
class ZuLocalDb
{
public:
    ZuLocalDb();
    virtual ~ZuLocalDb();
    ZuLocalDb(const ZuLocalDb&) = delete;
    ZuLocalDb& operator=(const ZuLocalDb&) = delete;

    static ZuLocalDb* instance();

    // Only records the path; open() uses it.
    void set_path(const std::string& path);
    // Opens or creates the file and its tables. On failure the store stays closed.
    bool open();
    // Never null: while the store is closed its operations do nothing.
    ZuLocalTables* get();

private:
    void create_table(const char* name, const char* statement);
    void migrate_cookie_columns();

    std::unique_ptr<ZuLocalTables> tables;
    std::unique_ptr<SQLite::Database> database;
    std::string path;
};
