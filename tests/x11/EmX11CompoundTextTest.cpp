#include "EmX11CompoundText.h"

#include <gtest/gtest.h>

namespace {

const std::string replacement = "\xEF\xBF\xBD";

} // namespace

TEST(EmX11CompoundText, Latin1BecomesUtf8)
{
    EXPECT_EQ(EmX11CompoundText::latin1_to_utf8("Caf\xE9 - S\xE4nger \xFF"), "Café - Sänger ÿ");
    EXPECT_EQ(EmX11CompoundText::latin1_to_utf8(""), "");
}

TEST(EmX11CompoundText, TextWithoutDesignationsIsLatin1)
{
    EXPECT_EQ(EmX11CompoundText::to_utf8("Caf\xE9\tS\xE4nger\n"), "Café\tSänger\n");
}

TEST(EmX11CompoundText, Utf8SegmentsPassThroughBetweenLatin1Text)
{
    EXPECT_EQ(EmX11CompoundText::to_utf8("\xE9 \x1B%G晴天 - 周杰伦\x1B%@ \xE9"), "é 晴天 - 周杰伦 é");
    EXPECT_EQ(EmX11CompoundText::to_utf8("\x1B%G晴天"), "晴天");
}

TEST(EmX11CompoundText, OtherCharacterSetsGiveOneReplacementPerCharacter)
{
    // Two GB 2312 characters in the left half, then back to ASCII.
    EXPECT_EQ(EmX11CompoundText::to_utf8("\x1B$(AGgLl\x1B(B ok"), replacement + replacement + " ok");
    // Two GB 2312 characters in the right half, then ISO 8859-2 and ISO 8859-1 again.
    EXPECT_EQ(EmX11CompoundText::to_utf8("\x1B$)A\xC7\xE7\xCC\xEC\x1B-B\xA1\x1B-A\xE9"),
              replacement + replacement + replacement + "é");
}

TEST(EmX11CompoundText, ExtendedSegmentsAndDirectionMarksArePassedOver)
{
    const std::string segment = "big5-0\x02\xA4\xA4";
    const std::string extended =
        std::string("\x1B%/2") + static_cast<char>(0x80) + static_cast<char>(0x80 + segment.size()) + segment;
    EXPECT_EQ(EmX11CompoundText::to_utf8("a" + extended + "b"), "ab");
    EXPECT_EQ(EmX11CompoundText::to_utf8("a\x9B"
                                         "1]b\x9B]c"),
              "abc");
}

TEST(EmX11CompoundText, CutOffSequencesEndTheText)
{
    EXPECT_EQ(EmX11CompoundText::to_utf8("abc\x1B$"), "abc");
    EXPECT_EQ(EmX11CompoundText::to_utf8("abc\x1B%/1\x80"), "abc");
    EXPECT_EQ(EmX11CompoundText::to_utf8("abc\x9B"
                                         "1"),
              "abc");
    EXPECT_EQ(EmX11CompoundText::to_utf8("\x1B$(Aa"), replacement);
}
