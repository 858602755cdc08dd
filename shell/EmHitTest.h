#pragma once

// The resize bands of a frameless window, kept free of Qt and of the window system so that every
// platform answers with the same rule. The codes are the Windows hit-test answers.
enum class EmHitCode : long
{
    none = 0,
    left = 10,
    right = 11,
    top = 12,
    top_left = 13,
    top_right = 14,
    bottom = 15,
    bottom_left = 16,
    bottom_right = 17,
};

// x and y are relative to the window's top-left corner. Bands are 4 pixels wide and leave column 0
// and row 0 out; where both sides of a narrow window match, right and bottom win.
EmHitCode hit_test(int x, int y, int width, int height);

// The cursor position packed into a hit-test message's parameter: two signed 16-bit values, as
// screens left of or above the primary one give negative coordinates.
int packed_x(long long packed);
int packed_y(long long packed);
