#include "EmKey.h"

#include <gtest/gtest.h>

namespace {

TEST(EmKeyTest, SpellsKeysAsTheCatalogue)
{
    const char* majors[] = {"C Major",  "Db Major", "D Major",  "Eb Major", "E Major",  "F Major",
                            "F# Major", "G Major",  "Ab Major", "A Major",  "Bb Major", "B Major"};
    for (int tonic = 0; tonic < 12; ++tonic) {
        EXPECT_EQ(EmKey({tonic, false}).name(), majors[tonic]);
    }
    EXPECT_EQ(EmKey({6, true}).name(), "F# Minor");
}

TEST(EmKeyTest, ReadsTheCatalogueSpellingsAndRefusesOtherText)
{
    const std::pair<const char*, std::optional<EmKey>> cases[] = {
        {"Gb Major", EmKey{6, false}},     {"F# Minor", EmKey{6, true}},   {"C Major", EmKey{0, false}},
        {"Cb Major", EmKey{11, false}},    {"B# Minor", EmKey{0, true}},   {"Ab Minor(live)", EmKey{8, true}},
        {"E Major 伴奏", EmKey{4, false}}, {"未查询到基调", std::nullopt}, {"", std::nullopt},
        {"H Major", std::nullopt},         {"C Majority", std::nullopt},   {"C Chromatic", std::nullopt},
        {"c major", std::nullopt},         {"Db", std::nullopt},
    };
    for (const auto& [text, key] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(EmKey::parse(text), key);
    }
}

TEST(EmKeyTest, TellsTheUsualConfusionsAndTheirScore)
{
    using R = EmKey::Relation;
    struct Case
    {
        EmKey heard;
        EmKey reference;
        R relation;
        double score;
    };
    const Case cases[] = {
        {{0, false}, {0, false}, R::Same, 1.0},    {{7, false}, {0, false}, R::Fifth, 0.5},
        {{5, false}, {0, false}, R::Fifth, 0.5},   {{2, true}, {9, true}, R::Fifth, 0.5},
        {{9, true}, {0, false}, R::Relative, 0.3}, {{3, false}, {0, true}, R::Relative, 0.3},
        {{0, true}, {0, false}, R::Parallel, 0.2}, {{2, false}, {0, false}, R::Other, 0.0},
        {{4, true}, {0, false}, R::Other, 0.0},    {{0, false}, {9, false}, R::Other, 0.0},
        {{9, false}, {0, true}, R::Other, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.heard.name() + " against " + c.reference.name());
        EXPECT_EQ(EmKey::relation(c.heard, c.reference), c.relation);
        EXPECT_EQ(EmKey::weighted_score(c.heard, c.reference), c.score);
    }
}

} // namespace
