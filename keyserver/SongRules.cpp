#include "SongRules.h"

#include "TextNormaliser.h"

#include <QString>

#include <algorithm>

namespace {

bool valid_utf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size())).toUtf8().toStdString() == text;
}

bool has_control_character(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

} // namespace

std::string SongRules::trimmed(const std::string& text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    const auto first = std::find_if_not(text.begin(), text.end(), blank);
    const auto last = std::find_if_not(text.rbegin(), text.rend(), blank).base();
    return first < last ? std::string(first, last) : std::string();
}

bool SongRules::printable(const std::string& text)
{
    return valid_utf8(text) && !has_control_character(text);
}

SongRules::Problem SongRules::check(CatalogueSong& song) const
{
    for (std::string* field : {&song.name, &song.singer, &song.keynote}) {
        *field = trimmed(*field);
        if (!valid_utf8(*field)) {
            return Problem::invalid_utf8;
        }
        if (has_control_character(*field)) {
            return Problem::control_character;
        }
    }
    if (TextNormaliser::normalise(song.name).empty()) {
        return Problem::empty_name;
    }
    if (!keynote_rule.understands(QString::fromStdString(song.keynote))) {
        return Problem::unreadable_keynote;
    }
    return Problem::none;
}
