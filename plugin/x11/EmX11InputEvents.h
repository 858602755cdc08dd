#pragma once

#include "EmPluginPlatform.h"

#include <xcb/xcb.h>

#include <cstdint>

// Synthetic mouse and keyboard events sent straight to a window, the X counterpart of posting
// input messages on Windows. Each event goes to the client that made the window, whatever events
// that client selected, and is checked: a failure carries the X error code, or 0 when the
// connection to the server is lost.
class EmX11InputEvents
{
public:
    EmX11InputEvents(xcb_connection_t* connection, xcb_window_t root);

    // Button 1 pressed or released at the position in the window's own coordinates.
    EmPluginPlatform::PostResult button(xcb_window_t window, bool press, std::int16_t x, std::int16_t y);
    // The key that the server's keyboard mapping gives for the keysym; BadValue when none does.
    EmPluginPlatform::PostResult key(xcb_window_t window, bool press, xcb_keysym_t keysym);

private:
    xcb_keycode_t keycode_of(xcb_keysym_t keysym);
    EmPluginPlatform::PostResult send(xcb_window_t window, const void* event);
    static EmPluginPlatform::PostResult failure(xcb_generic_error_t* error);

    xcb_connection_t* const connection;
    const xcb_window_t root;
};
