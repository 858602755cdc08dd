#pragma once

#include <string>
#include <string_view>

// Between the system's UTF-16 text and the UTF-8 the platform interfaces speak. A lone surrogate
// becomes U+FFFD rather than failing the whole text, and so does a byte that is not UTF-8.
class EmWideText
{
public:
    static std::string to_utf8(std::wstring_view text);
    static std::wstring from_utf8(std::string_view text);

    // The text a system call left in a fixed buffer. When the buffer was too small the call may
    // have cut between the two halves of a surrogate pair; the lone first half is dropped so that
    // the text ends on a whole character instead of a replacement character.
    static std::string from_filled_buffer(const wchar_t* buffer, int length);
};
