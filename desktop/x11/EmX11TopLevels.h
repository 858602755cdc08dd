#pragma once

#include "EmX11Connection.h"

#include <vector>

// The top-level windows as a program sees them on Windows: the client windows, whether shown,
// minimised or hidden, and not the frames a reparenting window manager puts around them. Used
// with a connection that is ready(), on the thread that owns it.
class EmX11TopLevels
{
public:
    // The root's children front to back, each replaced by the windows carrying WM_STATE below it
    // when there are such (the client inside a manager's frame). A child of the root with none
    // below it (no manager runs, or the window is withdrawn or override-redirect) stands for
    // itself. Costs one round trip for the root and one per level of frames.
    static std::vector<xcb_window_t> front_to_back(EmX11Connection& connection);

    // The top-level window that holds window: its highest ancestor (or itself) carrying WM_STATE,
    // else the ancestor whose parent is the root. XCB_WINDOW_NONE for the root and for a window
    // that is gone.
    static xcb_window_t holding(EmX11Connection& connection, xcb_window_t window);

    // A window's children front to back, from the answer to its QueryTree; none when it is gone.
    static std::vector<xcb_window_t> children_of(xcb_connection_t* connection,
                                                 xcb_query_tree_cookie_t cookie);
};
