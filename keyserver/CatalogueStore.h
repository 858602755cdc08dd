#pragma once

#include "CatalogueSong.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A catalogue that cannot be used; the message names it and says why.
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

// Where the songs and their keys, the users' reports of wrong keys, and the songs they asked for
// that are missing (with their proposals, kept apart from the songs) are kept. Every call is one
// transaction and may come from any thread; a store that cannot reach its data throws
// std::runtime_error and is usable again once the data is back.
class CatalogueStore
{
public:
    // Anyone on the internet can add names to the waiting list, so it is held to this many songs;
    // past it the least asked, oldest song goes first.
    static constexpr std::int64_t most_wanted = 100000;

    virtual ~CatalogueStore() = default;

    // Songs named like `name`, best first: those also sung by `singer`, then the other singers',
    // and only when the name is not in the catalogue at all, similar names.
    virtual std::vector<CatalogueSong> find(const std::string& name, const std::string& singer,
                                            std::size_t limit) = 0;

    // Adds the songs in one transaction; a song already there under the same name and singer
    // gets the new keynote. Returns how many songs were new.
    virtual std::size_t store(const std::vector<CatalogueSong>& songs) = 0;

    // Adds or corrects one song, as a curator does, and returns its id.
    virtual std::int64_t upload(const CatalogueSong& song) = 0;

    // Every song, in the order they were first added.
    virtual std::vector<CatalogueSong> songs() = 0;

    // Counts a lookup that found nothing towards the song's place on the waiting list.
    virtual void note_miss(const std::string& name, const std::string& singer) = 0;

    // Records one session's keynote for a song; the song enters the catalogue once
    // `promote_after` sessions agree on its keynote, unless it is there already.
    virtual ProposalOutcome propose(const CatalogueSong& song, const std::string& process,
                                    const std::string& session, std::int64_t promote_after) = 0;

    // The songs waiting, most asked first.
    virtual std::vector<WaitingSong> waiting(std::size_t limit) = 0;
    // 0 when the song is not waiting.
    virtual std::int64_t waiting_id(const std::string& name, const std::string& singer) = 0;
    // False when no song with that id is waiting.
    virtual bool forget_waiting(std::int64_t id) = 0;
    // Promotes every waiting song that enough sessions agree on and returns them.
    virtual std::vector<CatalogueSong> promote_ready(std::int64_t promote_after) = 0;

    virtual void add_report(const std::string& name, const std::string& singer, const std::string& keynote,
                            const std::string& process) = 0;

    virtual std::size_t song_count() = 0;
    virtual std::size_t report_count() = 0;
};
