#include "EmX11Connection.h"

#include <cstdlib>
#include <cstring>
#include <utility>

EmX11Connection::EmX11Connection(std::string display_name, std::chrono::milliseconds retry_interval)
    : display_name(std::move(display_name))
    , retry_interval(retry_interval)
{
}

EmX11Connection::~EmX11Connection()
{
    disconnect();
}

bool EmX11Connection::ready()
{
    if (connection && xcb_connection_has_error(connection)) {
        disconnect();
    }
    if (!connection) {
        const auto now = std::chrono::steady_clock::now();
        if (last_attempt && now - *last_attempt < retry_interval) {
            return false;
        }
        last_attempt = now;
        connect();
        if (!connection) {
            return false;
        }
    }
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        std::free(event);
    }
    return true;
}

void EmX11Connection::connect()
{
    int screen_number = 0;
    connection = xcb_connect(display_name.empty() ? nullptr : display_name.c_str(), &screen_number);
    if (xcb_connection_has_error(connection)) {
        disconnect();
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen_number && screens.rem; ++i) {
        xcb_screen_next(&screens);
    }
    if (!screens.rem) {
        disconnect();
        return;
    }
    screen = screens.data;

    // Everything is asked at once: one round trip for all the names.
    xcb_intern_atom_cookie_t* ewmh_cookies = xcb_ewmh_init_atoms(connection, &atoms);
    const char* const icccm_names[] = {"COMPOUND_TEXT", "WM_STATE"};
    xcb_intern_atom_cookie_t icccm_cookies[2];
    for (int i = 0; i < 2; ++i) {
        icccm_cookies[i] = xcb_intern_atom(connection, 0, std::strlen(icccm_names[i]), icccm_names[i]);
    }
    atoms_held = xcb_ewmh_init_atoms_replies(&atoms, ewmh_cookies, nullptr);
    xcb_atom_t* const icccm_atoms[] = {&compound_text_atom, &wm_state_atom};
    bool icccm_known = true;
    for (int i = 0; i < 2; ++i) {
        xcb_intern_atom_reply_t* const reply = xcb_intern_atom_reply(connection, icccm_cookies[i], nullptr);
        icccm_known = icccm_known && reply != nullptr;
        *icccm_atoms[i] = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        std::free(reply);
    }
    if (!atoms_held || !icccm_known) {
        disconnect();
        return;
    }
    ++connections;
}

void EmX11Connection::disconnect()
{
    if (atoms_held) {
        xcb_ewmh_connection_wipe(&atoms);
        atoms_held = false;
    }
    if (connection) {
        xcb_disconnect(connection);
    }
    connection = nullptr;
    screen = nullptr;
}
