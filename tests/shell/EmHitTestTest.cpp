#include "EmHitTest.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

namespace {

struct Probe
{
    int x;
    int y;
    EmHitCode expected;
};

void expect_answers(int width, int height, const std::vector<Probe>& probes)
{
    for (const Probe& p : probes) {
        EXPECT_EQ(hit_test(p.x, p.y, width, height), p.expected) << "(" << p.x << ", " << p.y << ")";
    }
}

TEST(HitTest, BandsLieStrictlyInsideEveryEdgeAndCornersWin)
{
    using C = EmHitCode;
    expect_answers(100, 80, {{1, 40, C::left},          {4, 40, C::left},      {5, 40, C::none},
                             {95, 40, C::none},         {96, 40, C::right},    {99, 40, C::right},
                             {50, 1, C::top},           {50, 5, C::none},      {50, 79, C::bottom},
                             {2, 2, C::top_left},       {97, 3, C::top_right}, {3, 77, C::bottom_left},
                             {98, 78, C::bottom_right}, {50, 40, C::none},     {0, 40, C::none},
                             {50, 0, C::none},          {0, 2, C::top},        {100, 40, C::none},
                             {50, 80, C::none},         {-3, 40, C::none}});
}

TEST(HitTest, OnAWindowTooNarrowForTwoBandsRightAndBottomWin)
{
    using C = EmHitCode;
    // At 8 x 8 the bands overlap in column 4 and row 4; at 9 x 9 they only touch.
    expect_answers(8, 8,
                   {{4, 0, C::right}, {0, 4, C::bottom}, {4, 4, C::bottom_right}, {2, 4, C::bottom_left}});
    expect_answers(9, 9, {{4, 0, C::left}, {5, 0, C::right}, {0, 4, C::top}, {0, 5, C::bottom}});
}

TEST(HitTest, PackedCursorPositionIsTwoSignedWords)
{
    EXPECT_EQ(packed_x(0x00C8'0064), 100);
    EXPECT_EQ(packed_y(0x00C8'0064), 200);
    EXPECT_EQ(packed_x(0x8000'7FFF), 32767);
    EXPECT_EQ(packed_y(0x8000'7FFF), -32768);
    // Screens left of and above the primary one; a 64-bit parameter carries them sign-extended.
    const long long widened = static_cast<std::int32_t>(0xFFFE'FFFFu);
    EXPECT_EQ(packed_x(widened), -1);
    EXPECT_EQ(packed_y(widened), -2);
    EXPECT_EQ(packed_x(0xFFFE'FFFF), -1);
}

} // namespace
