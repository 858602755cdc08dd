#pragma once

#include "CatalogueStore.h"
#include "SongRules.h"

#include <zudata.pb.h>

#include <cstdint>
#include <string>

// The HTTP status and the envelope that answer one request.
struct KeyAnswer
{
    int status = 200;
    zudata::ZuRespond respond;
};

// Who sent a request, as far as the HTTP layer could tell.
struct KeyCaller
{
    // Proposals of one session count once.
    std::string session;
    // Holds the curator token: may correct the catalogue and drop waiting songs.
    bool curator = false;
};

// Decodes a ZuRequest and carries out its key command: lookups, reports of wrong keys, proposals,
// the waiting list, and a curator's uploads and removals. Thread-safe: calls share only the
// catalogue, which takes its turns itself, and read-only rules.
class KeyCommandHandler
{
public:
    static constexpr int most_songs = 10;
    static constexpr int most_waiting = 100;
    // Longer names are not song names; they would only bloat the waiting list.
    static constexpr std::size_t longest_wanted_field = 256;

    KeyCommandHandler(CatalogueStore& catalogue, bool empty_answers, std::int64_t promote_after = 3);

    KeyAnswer handle(const std::string& body, const KeyCaller& caller = {});

    static KeyAnswer failure(int status, int cmd, const std::string& message,
                             zudata::MessageError err = zudata::ERROR_FAILED);

private:
    KeyAnswer lookup(const zudata::ZuRequest& request);
    KeyAnswer report(const zudata::ZuRequest& request);
    KeyAnswer propose(const zudata::ZuRequest& request, const KeyCaller& caller);
    KeyAnswer list_waiting(const zudata::ZuRequest& request);
    KeyAnswer upload(const zudata::ZuRequest& request);
    KeyAnswer drop_waiting(const zudata::ZuRequest& request);
    // The song the request names, trimmed, or a failure answer saying what is wrong with it.
    bool checked_song(const zudata::ZuRequest& request, CatalogueSong& song, KeyAnswer& refusal);
    static KeyAnswer success(const zudata::ZuRequest& request);

    CatalogueStore& catalogue;
    const bool empty_answers;
    const std::int64_t promote_after;
    SongRules rules;
};
