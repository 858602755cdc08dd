#pragma once

#include <windows.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// The messages the helper's windows wrote down (see helper/HelperDesktop.h).
class MessageRecord
{
public:
    struct Message
    {
        std::uint32_t message;
        std::uint64_t first;
        std::uint64_t second;

        bool operator==(const Message& other) const;
    };

    explicit MessageRecord(std::wstring path);

    const std::wstring& path() const;

    // Posts a marker to the window behind everything posted to it so far and waits until the
    // window has handled it; returns the keyboard and mouse messages the window received from
    // its creation up to the marker, in order. Throws when the marker does not arrive.
    std::vector<Message> input_until_marker(HWND window) const;

private:
    std::vector<Message> read(HWND window) const;

    std::wstring file;
};

std::ostream& operator<<(std::ostream& out, const MessageRecord::Message& message);
