#include "EmHitTest.h"

namespace {

const int band = 5;

int signed_word(long long packed, int shift)
{
    const int word = static_cast<int>((packed >> shift) & 0xFFFF);
    return word >= 0x8000 ? word - 0x10000 : word;
}

} // namespace

EmHitCode hit_test(int x, int y, int width, int height)
{
    const bool left = 0 < x && x < band;
    const bool right = width - band < x && x < width;
    const bool top = 0 < y && y < band;
    const bool bottom = height - band < y && y < height;

    if (bottom) {
        return right ? EmHitCode::bottom_right : left ? EmHitCode::bottom_left : EmHitCode::bottom;
    }
    if (top) {
        return right ? EmHitCode::top_right : left ? EmHitCode::top_left : EmHitCode::top;
    }
    return right ? EmHitCode::right : left ? EmHitCode::left : EmHitCode::none;
}

int packed_x(long long packed)
{
    return signed_word(packed, 0);
}

int packed_y(long long packed)
{
    return signed_word(packed, 16);
}
