#include "EmKey.h"

#include <array>
#include <cctype>

namespace {

const std::array<const char*, 12> catalogue_names = {"C",  "Db", "D",  "Eb", "E",  "F",
                                                     "F#", "G",  "Ab", "A",  "Bb", "B"};

int letter_class(char letter)
{
    switch (letter) {
    case 'C':
        return 0;
    case 'D':
        return 2;
    case 'E':
        return 4;
    case 'F':
        return 5;
    case 'G':
        return 7;
    case 'A':
        return 9;
    case 'B':
        return 11;
    default:
        return -1;
    }
}

int wrap(int pitch_class)
{
    return ((pitch_class % 12) + 12) % 12;
}

} // namespace

std::string EmKey::name() const
{
    return std::string(catalogue_names[static_cast<std::size_t>(wrap(tonic))]) +
           (minor ? " Minor" : " Major");
}

std::optional<EmKey> EmKey::parse(const std::string& text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    int pitch_class = letter_class(text[0]);
    if (pitch_class < 0) {
        return std::nullopt;
    }
    std::size_t at = 1;
    if (at < text.size() && text[at] == '#') {
        ++pitch_class;
        ++at;
    } else if (at < text.size() && text[at] == 'b') {
        --pitch_class;
        ++at;
    }
    if (at >= text.size() || text[at] != ' ') {
        return std::nullopt;
    }
    const std::string mode = text.substr(at + 1, 5);
    if (mode != "Major" && mode != "Minor") {
        return std::nullopt;
    }
    const std::size_t after = at + 6;
    if (after < text.size() && std::isalnum(static_cast<unsigned char>(text[after]))) {
        return std::nullopt;
    }
    return EmKey{wrap(pitch_class), mode == "Minor"};
}

EmKey::Relation EmKey::relation(const EmKey& heard, const EmKey& reference)
{
    const int step = wrap(heard.tonic - reference.tonic);
    if (heard.minor == reference.minor) {
        if (step == 0) {
            return Relation::Same;
        }
        return step == 5 || step == 7 ? Relation::Fifth : Relation::Other;
    }
    if (step == 0) {
        return Relation::Parallel;
    }
    // A minor key's relative major lies three semitones above its tonic.
    const int relative_step = heard.minor ? 9 : 3;
    return step == relative_step ? Relation::Relative : Relation::Other;
}

double EmKey::weighted_score(const EmKey& heard, const EmKey& reference)
{
    switch (relation(heard, reference)) {
    case Relation::Same:
        return 1.0;
    case Relation::Fifth:
        return 0.5;
    case Relation::Relative:
        return 0.3;
    case Relation::Parallel:
        return 0.2;
    case Relation::Other:
        return 0.0;
    }
    return 0.0;
}
