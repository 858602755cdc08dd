#pragma once

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <chrono>
#include <optional>
#include <string>

// One backend's own connection to the X server. It connects on first use rather than when it is
// built, so that it belongs to the thread that uses it, and survives a missing or lost server:
// ready() is false then, and a new attempt is made no sooner than the retry interval after the
// previous one, so that a desktop without a display does not pay for a connection attempt on
// every call.
class EmX11Connection
{
public:
    static constexpr std::chrono::milliseconds default_retry_interval{3000};

    // An empty display name means $DISPLAY.
    explicit EmX11Connection(std::string display_name,
                             std::chrono::milliseconds retry_interval = default_retry_interval);
    ~EmX11Connection();
    EmX11Connection(const EmX11Connection&) = delete;
    EmX11Connection& operator=(const EmX11Connection&) = delete;

    // True when the connection can be used; connects or reconnects first when it may. Events and
    // errors that nobody waits for are dropped here, so that they do not pile up.
    bool ready();
    // Counts connections made, so that a user can drop what it knows of an earlier one.
    unsigned generation() const { return connections; }

    // Valid after ready() returned true.
    xcb_connection_t* get() const { return connection; }
    xcb_window_t root() const { return screen->root; }
    const xcb_screen_t& root_screen() const { return *screen; }
    const xcb_ewmh_connection_t& ewmh() const { return atoms; }
    xcb_atom_t compound_text() const { return compound_text_atom; }
    // Set by a window manager on every client window it manages.
    xcb_atom_t wm_state() const { return wm_state_atom; }

private:
    void connect();
    void disconnect();

    const std::string display_name;
    const std::chrono::milliseconds retry_interval;
    std::optional<std::chrono::steady_clock::time_point> last_attempt;
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    xcb_ewmh_connection_t atoms{};
    bool atoms_held = false;
    xcb_atom_t compound_text_atom = XCB_ATOM_NONE;
    xcb_atom_t wm_state_atom = XCB_ATOM_NONE;
    unsigned connections = 0;
};
