#pragma once

#include "CatalogueStore.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// The catalogue in one SQLite file, for one machine. One connection serves all threads in turn:
// a lookup takes microseconds, far less than the TLS handshake in front of it.
class Catalogue : public CatalogueStore
{
public:
    // Creates the file when it does not exist. Throws CatalogueError, without writing to the
    // file, when it is not an SQLite database or is one that belongs to something else.
    explicit Catalogue(const std::string& path);

    std::vector<CatalogueSong> find(const std::string& name, const std::string& singer,
                                    std::size_t limit) override;
    std::size_t store(const std::vector<CatalogueSong>& songs) override;
    std::int64_t upload(const CatalogueSong& song) override;
    std::vector<CatalogueSong> songs() override;
    void note_miss(const std::string& name, const std::string& singer) override;
    ProposalOutcome propose(const CatalogueSong& song, const std::string& process, const std::string& session,
                            std::int64_t promote_after) override;
    std::vector<WaitingSong> waiting(std::size_t limit) override;
    std::int64_t waiting_id(const std::string& name, const std::string& singer) override;
    bool forget_waiting(std::int64_t id) override;
    std::vector<CatalogueSong> promote_ready(std::int64_t promote_after) override;
    void add_report(const std::string& name, const std::string& singer, const std::string& keynote,
                    const std::string& process) override;
    std::size_t song_count() override;
    std::size_t report_count() override;

private:
    std::vector<CatalogueSong> find_similar(const std::string& name_key, const std::string& singer_key,
                                            std::size_t limit);
    std::vector<std::string> rare_grams(const std::vector<std::string>& grams);
    // These expect the mutex held and a transaction open.
    std::size_t store_locked(const std::vector<CatalogueSong>& songs);
    std::int64_t song_id_locked(const std::string& name, const std::string& singer);
    std::int64_t wanted_locked(const std::string& name, const std::string& singer);
    bool forget_locked(std::int64_t id);

    std::mutex mutex;
    SQLite::Database db;
    SQLite::Statement by_name;
    SQLite::Statement gram_count;
    SQLite::Statement by_grams;
    SQLite::Statement insert_report;
};
