#pragma once

#include "EmPlayerPlatform.h"
#include "EmX11Connection.h"

#include <vector>

// The top-level windows of an X display as the player watcher sees them: the client windows,
// whether shown, minimised or hidden, below the window manager's frames when one runs. All
// requests of one step are sent before the first reply is awaited, so a listing costs a few
// round trips (one per level of frames, plus two) however many windows there are.
class EmX11WindowList
{
public:
    // The connection must be ready() whenever the list is asked.
    explicit EmX11WindowList(EmX11Connection& connection);

    // Every top-level window, front to back (EmX11TopLevels).
    std::vector<EmPlayerPlatform::Window> list();

    // The given windows, in the given order; windows that no longer exist are left out.
    std::vector<EmPlayerPlatform::Window> read(const std::vector<xcb_window_t>& windows);

private:
    EmX11Connection& connection;
};
