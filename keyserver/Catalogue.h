#pragma once

#include "CatalogueSong.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cstddef>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// A catalogue file that cannot be used; the message names the file and says why.
class CatalogueError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The songs and their keys, and the users' reports of wrong keys, in one SQLite file. One
// connection serves all threads in turn: a lookup takes microseconds, far less than the TLS
// handshake in front of it.
class Catalogue
{
public:
    // Creates the file when it does not exist. Throws CatalogueError, without writing to the
    // file, when it is not an SQLite database or is one that belongs to something else.
    explicit Catalogue(const std::string& path);

    // Songs named like `name`, best first: those also sung by `singer`, then the other singers',
    // and only when the name is not in the catalogue at all, similar names.
    std::vector<CatalogueSong> find(const std::string& name, const std::string& singer, std::size_t limit);

    // Adds the songs in one transaction; a song already there under the same name and singer
    // gets the new keynote. Returns how many songs were new.
    std::size_t store(const std::vector<CatalogueSong>& songs);

    void add_report(const std::string& name, const std::string& singer, const std::string& keynote,
                    const std::string& process);

    std::size_t song_count();
    std::size_t report_count();

private:
    std::vector<CatalogueSong> find_similar(const std::string& name_key, const std::string& singer_key,
                                            std::size_t limit);
    std::vector<std::string> rare_grams(const std::vector<std::string>& grams);

    std::mutex mutex;
    SQLite::Database db;
    SQLite::Statement by_name;
    SQLite::Statement gram_count;
    SQLite::Statement by_grams;
    SQLite::Statement insert_report;
};
