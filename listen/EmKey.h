#pragma once

#include <optional>
#include <string>

// A musical key: a tonic pitch class and a mode. Written as the key service writes keys
// ("F# Minor", "Eb Major"), with the sharps and flats its catalogue uses.
struct EmKey
{
    int tonic = 0; // pitch class, 0 = C, 1 = Db ... 11 = B
    bool minor = false;

    // How a key heard relates to a reference key. The first four are the usual confusions of a
    // listener (and of a detector): a fifth above or below, the relative and the parallel key.
    enum class Relation
    {
        Same,
        Fifth,
        Relative,
        Parallel,
        Other
    };

    std::string name() const;
    // A key as the catalogue writes it, with sharps or flats and an optional remark after the
    // mode ("Gb Major", "C# Minor(live)"); nothing for any other text.
    static std::optional<EmKey> parse(const std::string& text);

    static Relation relation(const EmKey& heard, const EmKey& reference);
    // The weighted score of a heard key against the right one: 1 exact, 0.5 a fifth, 0.3 the
    // relative key, 0.2 the parallel key, 0 otherwise.
    static double weighted_score(const EmKey& heard, const EmKey& reference);

    bool operator==(const EmKey& other) const { return tonic == other.tonic && minor == other.minor; }
    bool operator!=(const EmKey& other) const { return !(*this == other); }
};
