#include "EmPlayerPlatform.h"

namespace {

bool is_continuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

// Characters outside the basic plane take a surrogate pair in UTF-16, and their UTF-8 form is
// the only one that starts with 11110xxx.
std::size_t utf16_units(unsigned char lead)
{
    return (lead & 0xF8) == 0xF0 ? 2 : 1;
}

} // namespace

std::string EmPlayerPlatform::cut_text(const std::string& utf8)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (is_continuation(byte)) {
            continue;
        }
        units += utf16_units(byte);
        if (units > max_text_units) {
            return utf8.substr(0, i);
        }
    }
    return utf8;
}
