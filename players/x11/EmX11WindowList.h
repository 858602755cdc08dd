#pragma once

#include "EmPlayerPlatform.h"
#include "EmX11Connection.h"

#include <vector>

// The top-level windows of an X display as the player watcher sees them. All requests of one
// step are sent before the first reply is awaited, so a listing costs two round trips however
// many windows there are.
class EmX11WindowList
{
public:
    // The connection must be ready() whenever the list is asked.
    explicit EmX11WindowList(EmX11Connection& connection);

    // Every top-level window, front to back: the window manager's stacking list when there is
    // one, else the root's children.
    std::vector<EmPlayerPlatform::Window> list();

    // The given windows, in the given order; windows that no longer exist are left out.
    std::vector<EmPlayerPlatform::Window> read(const std::vector<xcb_window_t>& windows);

private:
    std::vector<xcb_window_t> front_to_back();

    EmX11Connection& connection;
};
