#include "ZlibCompressor.h"

#include <zlib.h>

#include <stdexcept>

std::string ZlibCompressor::compress(const std::string& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string packed(size, '\0');
    const int result = ::compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                                   reinterpret_cast<const Bytef*>(data.data()),
                                   static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION);
    if (result != Z_OK) {
        throw std::runtime_error("zlib could not compress an answer");
    }
    packed.resize(size);
    return packed;
}
