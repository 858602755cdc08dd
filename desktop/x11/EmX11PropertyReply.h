#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The answer to one GetProperty request, read safely whatever the property's owner put there.
class EmX11PropertyReply
{
public:
    // Waits for the reply; the request must have been sent checked, so that its error lands here.
    EmX11PropertyReply(xcb_connection_t* connection, xcb_get_property_cookie_t cookie);
    ~EmX11PropertyReply();
    EmX11PropertyReply(EmX11PropertyReply&& other) noexcept;
    EmX11PropertyReply& operator=(EmX11PropertyReply&&) = delete;
    EmX11PropertyReply(const EmX11PropertyReply&) = delete;
    EmX11PropertyReply& operator=(const EmX11PropertyReply&) = delete;

    // The request failed, mostly because the window is gone; error_code() is the X error, or 0
    // when the connection broke.
    bool failed() const { return reply == nullptr; }
    std::uint8_t error_code() const { return error; }

    // The property's type; XCB_ATOM_NONE when it is not set or the request failed.
    xcb_atom_t type() const;
    // The value of an 8-bit property; empty for any other format.
    std::string bytes() const;
    // The first item of a 32-bit property of the given type.
    std::optional<std::uint32_t> first_long(xcb_atom_t expected_type) const;
    // Every item of a 32-bit property; empty for any other format.
    std::vector<std::uint32_t> longs() const;
    // The class part of a WM_CLASS value ("instance\0class\0"); empty when it is not set.
    std::string class_part() const;

private:
    xcb_get_property_reply_t* reply = nullptr;
    std::uint8_t error = 0;
};
