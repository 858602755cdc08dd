#pragma once

#include <string>

// Texts travel hex-encoded between the tests and their window clients, so that titles with
// blanks, tabs or any byte at all fit in one word of a command line.
inline std::string to_hex(const std::string& text)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        hex += digits[byte >> 4];
        hex += digits[byte & 0xF];
    }
    // An empty word would vanish between the blanks of a command.
    return hex.empty() ? "-" : hex;
}

inline std::string from_hex(const std::string& hex)
{
    std::string text;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        text += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    }
    return text;
}
