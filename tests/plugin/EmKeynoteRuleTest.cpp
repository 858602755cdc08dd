#include "EmKeynoteRule.h"

#include <gtest/gtest.h>
#include <utility>

namespace {

// The cases the plugin controller's own tests do not already walk through.
TEST(KeynoteRule, LooksUpKeyAloneThenWithScale)
{
    const EmKeynoteRule rule;
    const auto numbers = [&rule](const char* text) {
        const auto found = rule.numbers(QString::fromUtf8(text));
        return found ? std::make_pair(found->scale, found->key) : std::make_pair(-1, -1);
    };
    EXPECT_EQ(numbers("F# Major"), std::make_pair(1, 7));
    EXPECT_EQ(numbers("Db Minor"), std::make_pair(2, 2));
    EXPECT_EQ(numbers("Ab Minor"), std::make_pair(2, 9));
    EXPECT_EQ(numbers("Gb Chromatic"), std::make_pair(3, 0));
    EXPECT_EQ(numbers("Eb Minor(伴奏版)"), std::make_pair(2, 4));
    EXPECT_EQ(numbers("E Minor extra words"), std::make_pair(2, 5));
    EXPECT_EQ(numbers("D  Major"), std::make_pair(0, 3));
    EXPECT_EQ(numbers("Gb  Major"), std::make_pair(0, 0));
    EXPECT_EQ(numbers("c major"), std::make_pair(0, 0));
}

TEST(KeynoteRule, TextWithoutABlankGivesNothing)
{
    const EmKeynoteRule rule;
    EXPECT_FALSE(rule.numbers("Major").has_value());
    EXPECT_FALSE(rule.numbers("").has_value());
    EXPECT_FALSE(rule.numbers("F#Minor").has_value());
}

TEST(KeynoteRule, UnderstandsTextsThatMoveBothPopups)
{
    const EmKeynoteRule rule;
    for (const char* good : {"C Major", "Gb Major", "Gb Minor", "F# Minor", "Bb Chromatic", "A Minor(live)",
                             "E Major trailing"}) {
        EXPECT_TRUE(rule.understands(QString::fromUtf8(good))) << good;
    }
}

TEST(KeynoteRule, DoesNotUnderstandUnknownOrMalformedTexts)
{
    const EmKeynoteRule rule;
    for (const char* bad : {"", "Major", "CMajor", "G# Major", "Gb Chromatic", "Gb", "C major", "C Major)",
                            "C  Major", " C Major", "Major C"}) {
        EXPECT_FALSE(rule.understands(QString::fromUtf8(bad))) << bad;
    }
}

} // namespace
