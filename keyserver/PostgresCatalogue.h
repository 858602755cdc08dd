#pragma once

#include "CatalogueStore.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The catalogue in a PostgreSQL database, which several services on several machines share. The
// database holds everything, so a service that is killed loses nothing it has answered. One
// connection serves all threads of a process in turn. When the server goes away, calls throw
// std::runtime_error until it is back; each call after a failure first connects anew.
class PostgresCatalogue : public CatalogueStore
{
public:
    // Connects with a libpq connection string or URI and makes the tables when they are missing.
    // Throws CatalogueError when the server cannot be reached or the database holds tables of
    // the same names that are not a song catalogue's.
    explicit PostgresCatalogue(std::string connection_string);
    ~PostgresCatalogue() override;

    // "postgresql://..." and "postgres://..." name such a database.
    static bool names_database(const std::string& location);

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
    // Runs `body` in one transaction and commits it, connecting first when needed; a connection
    // that broke on the way is dropped so that the next call makes a new one.
    template <typename Body>
    auto transact(Body body);

    std::mutex mutex;
    const std::string connection_string;
    // The connection, absent while the server is out of reach.
    class Link;
    std::unique_ptr<Link> link;
};
