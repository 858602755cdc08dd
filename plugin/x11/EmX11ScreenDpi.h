#pragma once

#include <xcb/xcb.h>

#include <optional>
#include <string>

// The screen's logical resolution as desktop programs on X agree on it: the Xft.dpi resource
// when the session sets one (that is where desktop environments put their scaling), else what
// the screen's size in pixels and millimetres gives, else 96.
class EmX11ScreenDpi
{
public:
    static constexpr int fallback = 96;

    static int read(xcb_connection_t* connection, const xcb_screen_t& screen);

    // The value of Xft.dpi in a resource database as xrdb writes it to RESOURCE_MANAGER, rounded;
    // nothing when it is missing or not a positive number.
    static std::optional<int> xft_dpi(const std::string& resources);
};
