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
