#pragma once

#include <string>

// The form in which song names and singers are compared: players and catalogue editors disagree
// on case, on full-width Latin letters typed through Chinese input methods and on stray blanks.
class TextNormaliser
{
public:
    static std::string normalise(const std::string& utf8);
};
