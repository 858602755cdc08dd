#include "MessageRecord.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace {

constexpr UINT marker = WM_APP + 7;
constexpr int marker_wait_ms = 20000;
constexpr int poll_ms = 10;

bool is_input(std::uint32_t message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

} // namespace

bool MessageRecord::Message::operator==(const Message& other) const
{
    return message == other.message && first == other.first && second == other.second;
}

MessageRecord::MessageRecord(std::wstring path)
    : file(std::move(path))
{
}

const std::wstring& MessageRecord::path() const
{
    return file;
}

std::vector<MessageRecord::Message> MessageRecord::input_until_marker(HWND window) const
{
    static std::uint64_t last_tag = 0;
    const std::uint64_t tag = ++last_tag;
    if (!PostMessageW(window, marker, 0, static_cast<LPARAM>(tag))) {
        throw std::runtime_error("cannot post the marker");
    }
    for (int waited = 0; waited < marker_wait_ms; waited += poll_ms) {
        std::vector<Message> input;
        for (const Message& message : read(window)) {
            if (message.message == marker && message.second == tag) {
                return input;
            }
            if (is_input(message.message)) {
                input.push_back(message);
            }
        }
        Sleep(poll_ms);
    }
    throw std::runtime_error("the window did not handle the marker");
}

std::vector<MessageRecord::Message> MessageRecord::read(HWND window) const
{
    std::ifstream stream(file.c_str(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    // The helper may be in the middle of writing the last line.
    text.erase(text.find_last_of('\n') + 1);
    std::istringstream lines(text);
    std::vector<Message> messages;
    std::uint64_t handle = 0;
    Message message{};
    while (lines >> std::hex >> handle >> message.message >> message.first >> message.second) {
        if (handle == reinterpret_cast<ULONG_PTR>(window)) {
            messages.push_back(message);
        }
    }
    return messages;
}

std::ostream& operator<<(std::ostream& out, const MessageRecord::Message& message)
{
    return out << std::hex << "{0x" << message.message << ", 0x" << message.first << ", 0x" << message.second
               << "}" << std::dec;
}
