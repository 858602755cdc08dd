#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A rectangle of the screen as 0xRRGGBB values, row after row from the top.
struct ScreenImage
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
    // Writes an 8-bit RGB PNG; false when the file cannot be written.
    bool write_png(const std::string& path) const;
};
