#pragma once

#include "ZuLocalTables.h"

#include <memory>
#include <string>

namespace SQLite {
class Database;
}

// The SQLite file that keeps the service's cookies between runs. The program uses the one
// instance(); tests make their own stores. GUI thread only.
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
    // Opens or creates the file and its tables, and brings a cookies table of an older or damaged
    // layout into the one the store relies on, in one transaction. A file it cannot read, or a
    // table it cannot bring into shape without losing something, is reported and left untouched,
    // and the store stays closed.
    bool open();
    // Never null: while the store is closed its operations do nothing.
    ZuLocalTables* get();

    // How long every statement waits for another connection's lock before it fails.
    static constexpr int busy_timeout_ms = 2000;

private:
    bool prepare_cookie_table(const std::string& file_name);
    void create_table(const char* name, const char* statement, const std::string& file_name);

    std::unique_ptr<ZuLocalTables> tables;
    std::unique_ptr<SQLite::Database> database;
    std::string path;
};
