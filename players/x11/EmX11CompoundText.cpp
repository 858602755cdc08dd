#include "EmX11CompoundText.h"

#include <algorithm>

namespace {

constexpr char esc = 0x1B;
constexpr unsigned char csi = 0x9B;
const std::string replacement = "\xEF\xBF\xBD";
const std::string utf8_segment_start = "\x1B%G";
const std::string utf8_segment_end = "\x1B%@";

void append_latin1(std::string& out, unsigned char byte)
{
    if (byte < 0x80) {
        out += static_cast<char>(byte);
    } else {
        out += static_cast<char>(0xC0 | byte >> 6);
        out += static_cast<char>(0x80 | (byte & 0x3F));
    }
}

// What one half of the code table (the left half 0x20-0x7F or the right half 0xA0-0xFF) holds
// after the last designation.
struct Half
{
    bool latin1 = true;
    // Characters of the designated set take this many bytes.
    int width = 1;
};

// Reads the escape sequence that starts at text[at] and applies its designation to the halves;
// returns the index after it.
std::size_t designate(const std::string& text, std::size_t at, Half& left, Half& right)
{
    std::size_t end = at + 1;
    // Intermediate bytes, then one final byte.
    while (end < text.size() && text[end] >= 0x20 && text[end] <= 0x2F) {
        ++end;
    }
    if (end >= text.size()) {
        return text.size();
    }
    const std::string intermediates = text.substr(at + 1, end - at - 1);
    const char final_byte = text[end];
    ++end;
    if (intermediates == "(") {
        left = {final_byte == 'B', 1};
    } else if (intermediates == "$(") {
        left = {false, 2};
    } else if (intermediates == "-") {
        right = {final_byte == 'A', 1};
    } else if (intermediates == ")") {
        right = {false, 1};
    } else if (intermediates == "$)") {
        right = {false, 2};
    } else if (intermediates == "%/" && end + 1 < text.size()) {
        // An extended segment names its encoding and gives its length in two 7-bit digits; its
        // content is passed over.
        const std::size_t length = (static_cast<unsigned char>(text[end]) & 0x7F) * 128 +
                                   (static_cast<unsigned char>(text[end + 1]) & 0x7F);
        return std::min(text.size(), end + 2 + length);
    }
    return end;
}

} // namespace

std::string EmX11CompoundText::latin1_to_utf8(const std::string& latin1)
{
    std::string out;
    out.reserve(latin1.size());
    for (char byte : latin1) {
        append_latin1(out, static_cast<unsigned char>(byte));
    }
    return out;
}

std::string EmX11CompoundText::to_utf8(const std::string& compound_text)
{
    std::string out;
    Half left;
    Half right;
    std::size_t at = 0;
    while (at < compound_text.size()) {
        const auto byte = static_cast<unsigned char>(compound_text[at]);
        if (compound_text.compare(at, utf8_segment_start.size(), utf8_segment_start) == 0) {
            const std::size_t start = at + utf8_segment_start.size();
            const std::size_t end =
                std::min(compound_text.find(utf8_segment_end, start), compound_text.size());
            out += compound_text.substr(start, end - start);
            at = std::min(end + utf8_segment_end.size(), compound_text.size());
        } else if (byte == esc) {
            at = designate(compound_text, at, left, right);
        } else if (byte == csi) {
            // A direction change: CSI, parameters, then one final byte.
            ++at;
            while (at < compound_text.size() && static_cast<unsigned char>(compound_text[at]) < 0x40) {
                ++at;
            }
            ++at;
        } else if (byte == 0x20 || byte == '\t' || byte == '\n') {
            out += static_cast<char>(byte);
            ++at;
        } else if (byte < 0x20 || (byte >= 0x7F && byte < 0xA0)) {
            ++at;
        } else {
            const Half& half = byte < 0x80 ? left : right;
            if (half.latin1) {
                append_latin1(out, byte);
            } else {
                out += replacement;
            }
            at += half.width;
        }
    }
    return out;
}
