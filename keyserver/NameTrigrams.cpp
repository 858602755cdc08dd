#include "NameTrigrams.h"

#include <algorithm>

namespace {

constexpr int code_point_bits = 21;
constexpr std::uint64_t code_point_mask = (std::uint64_t{1} << code_point_bits) - 1;
constexpr std::uint64_t window_mask = (std::uint64_t{1} << (3 * code_point_bits)) - 1;

// Calls `take` with every code point of the padded name. Names come from the catalogue and from
// parsed requests, both valid UTF-8; a stray byte would only count as a character of its own.
template <typename Take>
void for_each_code_point(std::string_view utf8, Take take)
{
    take(char32_t{' '});
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0xC0 ? 1 : (lead < 0xE0 ? 2 : (lead < 0xF0 ? 3 : 4));
        char32_t code = length == 1 ? lead : (lead & (0x7F >> length));
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        take(code);
        i += length;
    }
    take(char32_t{' '});
}

std::vector<std::uint64_t> packed_pieces(std::string_view name_key)
{
    std::vector<std::uint64_t> pieces;
    pieces.reserve(name_key.size() + 2);
    std::uint64_t window = 0;
    int seen = 0;
    for_each_code_point(name_key, [&](char32_t code) {
        window = ((window << code_point_bits) | (code & code_point_mask)) & window_mask;
        if (++seen >= 3) {
            pieces.push_back(window);
        }
    });
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    return pieces;
}

void append_utf8(std::string& text, char32_t code)
{
    if (code < 0x80) {
        text += static_cast<char>(code);
    } else if (code < 0x800) {
        text += static_cast<char>(0xC0 | (code >> 6));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (code >> 18));
        text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

NameTrigrams::NameTrigrams(std::string_view name_key)
    : packed(packed_pieces(name_key))
{
    for (std::uint64_t piece : packed) {
        std::string text;
        for (int shift = 2 * code_point_bits; shift >= 0; shift -= code_point_bits) {
            append_utf8(text, static_cast<char32_t>((piece >> shift) & code_point_mask));
        }
        texts.push_back(text);
    }
    std::sort(texts.begin(), texts.end());
}

double NameTrigrams::similarity_to(std::string_view other_key) const
{
    const std::vector<std::uint64_t> other = packed_pieces(other_key);
    if (packed.empty() || other.empty()) {
        return 0.0;
    }
    std::size_t common = 0;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < packed.size() && j < other.size()) {
        common += packed[i] == other[j] ? 1 : 0;
        const bool advance_i = packed[i] <= other[j];
        const bool advance_j = packed[i] >= other[j];
        i += advance_i ? 1 : 0;
        j += advance_j ? 1 : 0;
    }
    const double shared = static_cast<double>(common);
    const double dice = 2.0 * shared / static_cast<double>(packed.size() + other.size());
    const double overlap = shared / static_cast<double>(std::min(packed.size(), other.size()));
    return (dice + overlap) / 2.0;
}
