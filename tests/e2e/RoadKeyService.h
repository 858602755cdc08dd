#pragma once

#include "HttpsPeer.h"

#include <string>
#include <vector>

// The key service's side of the road tests: the songs the stand-in players play and what the
// service answers for them.
namespace road {

struct Song
{
    std::string name;
    std::string singer;
    // What the key service answers for it, best first.
    std::vector<std::string> keys;
};

extern const Song first_song;
extern const Song second_song;

// The service's answer to a lookup: every key it knows for the song asked about.
std::string answer(const std::string& body);

// Checks that the request is the lookup of the song, as a player of that executable name plays it.
void expect_lookup(const HttpsPeer::Request& request, const Song& song, const std::string& player_exe);

} // namespace road
