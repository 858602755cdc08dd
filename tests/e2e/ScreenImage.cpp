#include "ScreenImage.h"

#include <zlib.h>

#include <fstream>

namespace {

void put_u32(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

// A PNG chunk: length, type, data and the CRC of type and data.
void put_chunk(std::string& out, const char* type, const std::string& data)
{
    put_u32(out, static_cast<std::uint32_t>(data.size()));
    const std::string typed = std::string(type, 4) + data;
    out += typed;
    put_u32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                  static_cast<uInt>(typed.size()))));
}

} // namespace

bool ScreenImage::write_png(const std::string& path) const
{
    // Every row starts with filter type 0: the rows as they are, which zlib packs well enough
    // for a window on a plain background.
    std::string rows;
    rows.reserve(static_cast<std::size_t>(height) * (1 + width * 3));
    for (int y = 0; y < height; ++y) {
        rows += '\0';
        for (int x = 0; x < width; ++x) {
            const std::uint32_t rgb = at(x, y);
            rows += static_cast<char>(rgb >> 16 & 0xFF);
            rows += static_cast<char>(rgb >> 8 & 0xFF);
            rows += static_cast<char>(rgb & 0xFF);
        }
    }
    uLongf packed_size = compressBound(static_cast<uLong>(rows.size()));
    std::string packed(packed_size, '\0');
    if (compress(reinterpret_cast<Bytef*>(packed.data()), &packed_size,
                 reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size())) != Z_OK) {
        return false;
    }
    packed.resize(packed_size);

    std::string header;
    put_u32(header, static_cast<std::uint32_t>(width));
    put_u32(header, static_cast<std::uint32_t>(height));
    // Bit depth 8, colour type 2 (RGB), deflate, no filter method choice, not interlaced.
    header += std::string("\x08\x02\x00\x00\x00", 5);

    std::string file = "\x89PNG\r\n\x1a\n";
    put_chunk(file, "IHDR", header);
    put_chunk(file, "IDAT", packed);
    put_chunk(file, "IEND", {});
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out.flush());
}
