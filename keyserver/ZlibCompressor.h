#pragma once

#include <string>

// Packs a body as a zlib stream (RFC 1950), the form the assistant inflates with `uncompress`.
class ZlibCompressor
{
public:
    // Throws std::runtime_error when zlib fails.
    static std::string compress(const std::string& data);
};
