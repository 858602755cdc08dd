#pragma once

#include "CatalogueSong.h"

#include <EmKeynoteRule.h>

#include <string>

// What a song must be like before it may enter the catalogue, whichever way it comes (a CSV file,
// a proposal, a curator's upload): text that prints, a name, and a keynote the assistant's plugin
// controller can set, so that the service never hands out a key the assistant would silently fail
// to apply. Not thread-safe; each user keeps its own.
class SongRules
{
public:
    enum class Problem
    {
        none,
        invalid_utf8,
        control_character,
        empty_name,
        unreadable_keynote
    };

    // Drops blanks and tabs at either end, as every field is stored without them.
    static std::string trimmed(const std::string& text);

    // Valid UTF-8 without line breaks or other control characters.
    static bool printable(const std::string& text);

    // Trims the three fields of the song in place, then checks it.
    Problem check(CatalogueSong& song) const;

private:
    EmKeynoteRule keynote_rule;
};
