#pragma once

#include "CatalogueSong.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cstddef>
#include <cstdint>
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

// A song users asked for that the catalogue lacks.
struct WaitingSong
{
    std::int64_t id = 0;
    std::string name;
    std::string singer;
    // Lookups that found nothing.
    std::int64_t lookups = 0;
    // Sessions that proposed a keynote.
    std::int64_t sessions = 0;
    // The keynote most of those sessions proposed, empty when none did, and their number.
    std::string keynote;
    std::int64_t agreeing = 0;

    std::int64_t asked() const { return lookups + sessions; }
};

struct ProposalOutcome
{
    // Sessions that proposed the same keynote for the song, this one included.
    std::int64_t agreeing = 0;
    // The catalogue's song when this proposal promoted it, else 0.
    std::int64_t song_id = 0;
};

// The songs and their keys, the users' reports of wrong keys, and the songs they asked for that
// are missing (with their proposals, kept apart from the songs) in one SQLite file. One
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

    // Adds or corrects one song, as a curator does, and returns its id.
    std::int64_t upload(const CatalogueSong& song);

    // Every song, in the order they were first added.
    std::vector<CatalogueSong> songs();

    // Counts a lookup that found nothing towards the song's place on the waiting list.
    void note_miss(const std::string& name, const std::string& singer);

    // Records one session's keynote for a song; the song enters the catalogue once
    // `promote_after` sessions agree on its keynote, unless it is there already.
    ProposalOutcome propose(const CatalogueSong& song, const std::string& process, const std::string& session,
                            std::int64_t promote_after);

    // The songs waiting, most asked first.
    std::vector<WaitingSong> waiting(std::size_t limit);
    // 0 when the song is not waiting.
    std::int64_t waiting_id(const std::string& name, const std::string& singer);
    // False when no song with that id is waiting.
    bool forget_waiting(std::int64_t id);
    // Promotes every waiting song that enough sessions agree on and returns them.
    std::vector<CatalogueSong> promote_ready(std::int64_t promote_after);

    void add_report(const std::string& name, const std::string& singer, const std::string& keynote,
                    const std::string& process);

    std::size_t song_count();
    std::size_t report_count();

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
