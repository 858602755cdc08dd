#include "EmPlayerPlatform.h"

namespace {

const char replacement[] = "\xEF\xBF\xBD";

bool in_range(unsigned char byte, unsigned char low, unsigned char high)
{
    return byte >= low && byte <= high;
}

// The length of the well-formed character at the start of the bytes, or, when there is none,
// 0 with skip set to the bytes that stand for one replacement character: the longest start of
// a well-formed sequence, at least one byte.
std::size_t character_length(const unsigned char* bytes, std::size_t size, std::size_t& skip)
{
    const unsigned char lead = bytes[0];
    std::size_t length;
    unsigned char second_low = 0x80;
    unsigned char second_high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (in_range(lead, 0xC2, 0xDF)) {
        length = 2;
    } else if (in_range(lead, 0xE0, 0xEF)) {
        length = 3;
        // No overlong forms and no surrogates.
        second_low = lead == 0xE0 ? 0xA0 : 0x80;
        second_high = lead == 0xED ? 0x9F : 0xBF;
    } else if (in_range(lead, 0xF0, 0xF4)) {
        length = 4;
        // No overlong forms and nothing past U+10FFFF.
        second_low = lead == 0xF0 ? 0x90 : 0x80;
        second_high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        skip = 1;
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const bool fits = i < size && (i == 1 ? in_range(bytes[i], second_low, second_high)
                                              : in_range(bytes[i], 0x80, 0xBF));
        if (!fits) {
            skip = i;
            return 0;
        }
    }
    return length;
}

} // namespace

std::string EmPlayerPlatform::cut_text(const std::string& utf8)
{
    // Counted on the text as it will be decoded: every malformed piece becomes one replacement
    // character, which is written out here, so that no reader can decode it into more units.
    std::string cut;
    std::size_t units = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    for (std::size_t at = 0; at < utf8.size();) {
        std::size_t skip = 0;
        const std::size_t length = character_length(bytes + at, utf8.size() - at, skip);
        // Characters outside the basic plane take a surrogate pair in UTF-16.
        units += length == 4 ? 2 : 1;
        if (units > max_text_units) {
            break;
        }
        if (length > 0) {
            cut.append(utf8, at, length);
            at += length;
        } else {
            cut.append(replacement);
            at += skip;
        }
    }
    return cut;
}
