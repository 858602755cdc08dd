#pragma once

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

// Whether a window manager runs on the connection's screen, as it announces itself by the desktop
// conventions: the root's _NET_SUPPORTING_WM_CHECK names a window of the manager's that carries
// the same property (a manager that has gone leaves the root's property behind).
inline bool x11_manager_runs(xcb_connection_t* connection)
{
    const char name[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* const atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    if (!atom) {
        return false;
    }
    const auto named_by = [&](xcb_window_t window) {
        xcb_get_property_reply_t* const reply = xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
        xcb_window_t found = XCB_WINDOW_NONE;
        if (reply && xcb_get_property_value_length(reply) == 4) {
            found = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply));
        }
        std::free(reply);
        return found;
    };
    const xcb_window_t manager = named_by(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root);
    const bool runs = manager != XCB_WINDOW_NONE && named_by(manager) == manager;
    std::free(atom);
    return runs;
}
