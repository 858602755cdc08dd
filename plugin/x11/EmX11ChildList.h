#pragma once

#include "EmX11Connection.h"

#include <unordered_map>
#include <vector>

// A window's children handed out one after another, as the plugin search asks for them. The
// server is asked once when an enumeration starts and the list is kept for its continuation;
// asking again for every child would cost a round trip and a copy of the whole list each time.
class EmX11ChildList
{
public:
    // The child of parent that follows after (the first one when after is XCB_WINDOW_NONE), from
    // the top of the stack to its bottom as Windows hands them out; XCB_WINDOW_NONE at the end.
    // The root's children are the top-level client windows (EmX11TopLevels), not the frames a
    // window manager puts around them. The connection must be ready().
    xcb_window_t next(EmX11Connection& connection, xcb_window_t parent, xcb_window_t after);

    // Forgets every list, as when a new walk of the whole tree starts.
    void clear();

private:
    static std::vector<xcb_window_t> query(EmX11Connection& connection, xcb_window_t parent);

    std::unordered_map<xcb_window_t, std::vector<xcb_window_t>> lists;
};
