#include "EmPlayerPlatform.h"

#include <QRandomGenerator>
#include <QString>

#include <gtest/gtest.h>

namespace {

std::string times(int count, const std::string& text)
{
    std::string result;
    for (int i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

const std::string note = "\xF0\x9D\x84\x9E"; // two UTF-16 units
const std::string bad = "\xEF\xBF\xBD";      // U+FFFD

} // namespace

TEST(EmPlayerPlatformTest, CutKeepsAtMost255Utf16UnitsOfWellFormedText)
{
    const std::string examples[][2] = {
        {"", ""},
        {times(255, "a"), times(255, "a")},
        {times(300, "a"), times(255, "a")},
        {times(300, "晴"), times(255, "晴")},
        // A character outside the basic plane does not fit in the last unit.
        {times(254, "a") + note, times(254, "a")},
        {times(253, "a") + note + "b", times(253, "a") + note},
        // Every stray byte is a character of its own once decoded.
        {times(255, "a") + times(10, "\x80"), times(255, "a")},
        {times(250, "a") + times(10, "\x80"), times(250, "a") + times(5, bad)},
        {"a\x80"
         "b\xFF",
         "a" + bad + "b" + bad},
        // Overlong forms, surrogates and code points past U+10FFFF are malformed byte by byte.
        {"\xC0\xAF", times(2, bad)},
        {"\xE0\x80\xAF", times(3, bad)},
        {"\xED\xA0\x80", times(3, bad)},
        {"\xF4\x90\x80\x80", times(4, bad)},
        // A character cut short is one replacement.
        {"\xE6\x99"
         "a",
         bad + "a"},
        {"a" + note.substr(0, 3), "a" + bad},
    };
    for (const auto& example : examples) {
        EXPECT_EQ(EmPlayerPlatform::cut_text(example[0]), example[1]) << example[0];
    }
}

TEST(EmPlayerPlatformTest, CutOfAnyBytesDecodesWithinTheLimit)
{
    const std::string pieces[] = {"a", "晴", note, "\x80", "\xE6\x99", "\xF0\x9D", "\xED\xA0\x80", "\xFF"};
    QRandomGenerator random(20261209);
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        for (int i = random.bounded(400); i > 0; --i) {
            text += pieces[random.bounded(static_cast<int>(std::size(pieces)))];
        }
        const std::string cut = EmPlayerPlatform::cut_text(text);
        const QString decoded = QString::fromStdString(cut);
        ASSERT_LE(decoded.size(), 255) << text;
        ASSERT_EQ(decoded.toStdString(), cut) << "well-formed, so decoding loses nothing: " << text;
    }
}
