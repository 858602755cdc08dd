#include "EmPlayerPlatform.h"

#include <gtest/gtest.h>

TEST(EmPlayerPlatformTest, CutKeepsAtMost255Utf16UnitsAndWholeCharacters)
{
    EXPECT_EQ(EmPlayerPlatform::cut_text(""), "");
    EXPECT_EQ(EmPlayerPlatform::cut_text(std::string(255, 'a')), std::string(255, 'a'));
    EXPECT_EQ(EmPlayerPlatform::cut_text(std::string(300, 'a')), std::string(255, 'a'));

    // Three bytes in UTF-8, one unit in UTF-16.
    std::string wide;
    for (int i = 0; i < 300; ++i) {
        wide += "晴";
    }
    EXPECT_EQ(EmPlayerPlatform::cut_text(wide), wide.substr(0, 255 * 3));

    // A character outside the basic plane takes two units; it does not fit in the last one.
    const std::string note = "\xF0\x9D\x84\x9E";
    EXPECT_EQ(EmPlayerPlatform::cut_text(std::string(254, 'a') + note), std::string(254, 'a'));
    EXPECT_EQ(EmPlayerPlatform::cut_text(std::string(253, 'a') + note + "b"), std::string(253, 'a') + note);
}
