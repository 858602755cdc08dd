#include "EmKey.h"

#include <array>

namespace {

const std::array<const char*, 12> catalogue_names = {"C",  "Db", "D",  "Eb", "E",  "F",
                                                     "F#", "G",  "Ab", "A",  "Bb", "B"};

int wrap(int pitch_class)
{
    return ((pitch_class % 12) + 12) % 12;
}

} // namespace

std::optional<EmKey> EmKey::parse(const std::string& text)
{
    static const std::array<const char*, 7> letters = {"C", "D", "E", "F", "G", "A", "B"};
    static const std::array<int, 7> letter_classes = {0, 2, 4, 5, 7, 9, 11};
    if (text.empty()) {
        return std::nullopt;
    }
    std::size_t letter = 0;
    while (letter < letters.size() && text[0] != letters[letter][0]) {
        ++letter;
    }
    if (letter == letters.size()) {
        return std::nullopt;
    }
    EmKey key;
    key.tonic = letter_classes[letter];
    std::size_t at = 1;
    if (at < text.size() && (text[at] == '#' || text[at] == 'b')) {
        key.tonic = wrap(key.tonic + (text[at] == '#' ? 1 : -1));
        ++at;
    }
    const std::string rest = text.substr(at);
    for (const auto& [mode, minor] : {std::pair<const char*, bool>{" Major", false}, {" Minor", true}}) {
        const std::size_t length = std::char_traits<char>::length(mode);
        if (rest.compare(0, length, mode) == 0 &&
            (rest.size() == length || rest[length] == ' ' || rest[length] == '(')) {
            key.minor = minor;
            return key;
        }
    }
    return std::nullopt;
}

std::string EmKey::name() const
{
    return std::string(catalogue_names[static_cast<std::size_t>(wrap(tonic))]) +
           (minor ? " Minor" : " Major");
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
