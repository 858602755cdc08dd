// A test program that makes X windows on request and reports the input events sent to them, as a
// player or a plugin host would. Tests start it under the executable name they need (argv[0])
// and talk to it over its standard input and output, one command per line, each answered by one
// line, "ok ..." or "error ...". It starts with "ok" once it is connected:
//
//   top CLASS TITLE OWNER  a shown top-level window with WM_CLASS, _NET_WM_NAME and _NET_WM_PID,
//                          and WM_TRANSIENT_FOR when OWNER is not 0; answers "ok ID"
//   child PARENT CLASS     a shown child window with WM_CLASS behind its siblings, where Windows
//                          puts a new child; answers "ok ID"
//   title WINDOW TITLE     sets _NET_WM_NAME
//   hide WINDOW            unmaps a top-level window, as a player hiding to the tray does
//   destroy WINDOW
//   churn CLASS            from now on keeps making and destroying windows of that class
//   sync                   first one line per event received so far ("event WINDOW press X Y",
//                          "release X Y", "keypress KEY" or "keyrelease KEY"), then "ok"
//   quit                   destroys its windows and ends
//
// CLASS and TITLE are hex-encoded; window ids are decimal. Every change has reached the server
// when its answer is written; under a window manager, "top" and "hide" answer once the manager
// has framed and shown the window, or withdrawn it.

#include "HexText.h"
#include "X11ManagerCheck.h"

#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string shown = "mapped framed managed";
const std::string withdrawn = "not-mapped not-framed not-managed";

struct Client
{
    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    xcb_atom_t net_wm_pid = XCB_ATOM_NONE;
    xcb_atom_t net_wm_name = XCB_ATOM_NONE;
    xcb_atom_t utf8_string = XCB_ATOM_NONE;
    xcb_atom_t wm_state = XCB_ATOM_NONE;
    std::vector<xcb_keysym_t> keysyms;
    int keysyms_per_keycode = 1;
    std::vector<xcb_window_t> top_levels;
    std::string churn_class;
};

xcb_atom_t intern(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

void sync(Client& client)
{
    std::free(xcb_get_input_focus_reply(client.connection, xcb_get_input_focus(client.connection), nullptr));
}

// How the window stands with the manager: mapped, framed (not a child of the root) and carrying
// WM_STATE, as "mapped framed managed" with "not-" before what it is not.
std::string standing(Client& client, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t* attributes = xcb_get_window_attributes_reply(
        client.connection, xcb_get_window_attributes(client.connection, window), nullptr);
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(client.connection, xcb_query_tree(client.connection, window), nullptr);
    xcb_get_property_reply_t* state = xcb_get_property_reply(
        client.connection,
        xcb_get_property(client.connection, 0, window, client.wm_state, client.wm_state, 0, 1), nullptr);
    const bool mapped = attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    const bool framed = tree && tree->parent != client.screen->root;
    const bool managed = state && state->type == client.wm_state;
    std::free(attributes);
    std::free(tree);
    std::free(state);
    return std::string(mapped ? "" : "not-") + "mapped " + (framed ? "" : "not-") + "framed " +
           (managed ? "" : "not-") + "managed";
}

// Waits up to five seconds for the manager, when one runs, to bring the window to the standing;
// answers the standing it has then.
std::string settle(Client& client, xcb_window_t window, const std::string& wanted)
{
    if (!x11_manager_runs(client.connection)) {
        return wanted;
    }
    std::string now = standing(client, window);
    for (int look = 0; look < 1000 && now != wanted; ++look) {
        usleep(5000);
        now = standing(client, window);
    }
    return now;
}

void set_text(Client& client, xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
              const std::string& text)
{
    xcb_change_property(client.connection, XCB_PROP_MODE_REPLACE, window, property, type, 8, text.size(),
                        text.data());
}

xcb_window_t make_window(Client& client, xcb_window_t parent, const std::string& class_name)
{
    const xcb_window_t window = xcb_generate_id(client.connection);
    xcb_create_window(client.connection, XCB_COPY_FROM_PARENT, window, parent, 10, 10, 600, 400, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, client.screen->root_visual, 0, nullptr);
    set_text(client, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING,
             "kestrune-test" + std::string(1, '\0') + class_name + '\0');
    return window;
}

xcb_window_t make_top_level(Client& client, const std::string& class_name, const std::string& title,
                            xcb_window_t owner)
{
    const xcb_window_t window = make_window(client, client.screen->root, class_name);
    set_text(client, window, client.net_wm_name, client.utf8_string, title);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(client.connection, XCB_PROP_MODE_REPLACE, window, client.net_wm_pid,
                        XCB_ATOM_CARDINAL, 32, 1, &pid);
    if (owner != XCB_WINDOW_NONE) {
        xcb_change_property(client.connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_TRANSIENT_FOR,
                            XCB_ATOM_WINDOW, 32, 1, &owner);
    }
    xcb_map_window(client.connection, window);
    client.top_levels.push_back(window);
    return window;
}

std::string key_name(const Client& client, xcb_keycode_t keycode)
{
    const std::size_t index =
        static_cast<std::size_t>(keycode - xcb_get_setup(client.connection)->min_keycode) *
        client.keysyms_per_keycode;
    const xcb_keysym_t keysym = index < client.keysyms.size() ? client.keysyms[index] : 0;
    if (keysym == 0xFF54) {
        return "Down";
    }
    if (keysym == 0xFF0D) {
        return "Return";
    }
    char name[32];
    std::snprintf(name, sizeof name, "keysym-0x%x", keysym);
    return name;
}

void report(const Client& client, const xcb_generic_event_t* event)
{
    switch (event->response_type & 0x7F) {
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE: {
        const auto* button = reinterpret_cast<const xcb_button_press_event_t*>(event);
        std::printf("event %u %s %d %d\n", button->event,
                    (event->response_type & 0x7F) == XCB_BUTTON_PRESS ? "press" : "release", button->event_x,
                    button->event_y);
        break;
    }
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
        const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
        std::printf("event %u %s %s\n", key->event,
                    (event->response_type & 0x7F) == XCB_KEY_PRESS ? "keypress" : "keyrelease",
                    key_name(client, key->detail).c_str());
        break;
    }
    default:
        break;
    }
}

void report_events(Client& client)
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(client.connection)) {
        report(client, event);
        std::free(event);
    }
}

// Runs one command; false when the client is to end.
bool run(Client& client, const std::string& line)
{
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "top") {
        std::string class_name, title;
        xcb_window_t owner = 0;
        words >> class_name >> title >> owner;
        const xcb_window_t window = make_top_level(client, from_hex(class_name), from_hex(title), owner);
        sync(client);
        const std::string now = settle(client, window, shown);
        if (now == shown) {
            std::printf("ok %u\n", window);
        } else {
            std::printf("error the window manager did not show %u: %s\n", window, now.c_str());
        }
    } else if (command == "child") {
        xcb_window_t parent = 0;
        std::string class_name;
        words >> parent >> class_name;
        const xcb_window_t window = make_window(client, parent, from_hex(class_name));
        const std::uint32_t below = XCB_STACK_MODE_BELOW;
        xcb_configure_window(client.connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &below);
        xcb_map_window(client.connection, window);
        sync(client);
        std::printf("ok %u\n", window);
    } else if (command == "title") {
        xcb_window_t window = 0;
        std::string title;
        words >> window >> title;
        set_text(client, window, client.net_wm_name, client.utf8_string, from_hex(title));
        sync(client);
        std::printf("ok\n");
    } else if (command == "hide") {
        xcb_window_t window = 0;
        words >> window;
        xcb_unmap_window(client.connection, window);
        sync(client);
        const std::string now = settle(client, window, withdrawn);
        if (now == withdrawn) {
            std::printf("ok\n");
        } else {
            std::printf("error the window manager did not let %u go: %s\n", window, now.c_str());
        }
    } else if (command == "destroy") {
        xcb_window_t window = 0;
        words >> window;
        xcb_destroy_window(client.connection, window);
        sync(client);
        std::printf("ok\n");
    } else if (command == "churn") {
        words >> client.churn_class;
        client.churn_class = from_hex(client.churn_class);
        std::printf("ok\n");
    } else if (command == "sync") {
        sync(client);
        report_events(client);
        std::printf("ok\n");
    } else if (command == "quit") {
        for (xcb_window_t window : client.top_levels) {
            xcb_destroy_window(client.connection, window);
        }
        sync(client);
        std::printf("ok\n");
        return false;
    } else {
        std::printf("error unknown command %s\n", command.c_str());
    }
    std::fflush(stdout);
    return true;
}

void churn(Client& client)
{
    const xcb_window_t window = make_window(client, client.screen->root, client.churn_class);
    xcb_map_window(client.connection, window);
    xcb_flush(client.connection);
    xcb_destroy_window(client.connection, window);
    xcb_flush(client.connection);
}

bool connect(Client& client)
{
    client.connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(client.connection)) {
        return false;
    }
    client.screen = xcb_setup_roots_iterator(xcb_get_setup(client.connection)).data;
    client.net_wm_pid = intern(client.connection, "_NET_WM_PID");
    client.net_wm_name = intern(client.connection, "_NET_WM_NAME");
    client.utf8_string = intern(client.connection, "UTF8_STRING");
    client.wm_state = intern(client.connection, "WM_STATE");
    const xcb_setup_t* setup = xcb_get_setup(client.connection);
    xcb_get_keyboard_mapping_reply_t* mapping =
        xcb_get_keyboard_mapping_reply(client.connection,
                                       xcb_get_keyboard_mapping(client.connection, setup->min_keycode,
                                                                setup->max_keycode - setup->min_keycode + 1),
                                       nullptr);
    if (mapping) {
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
        client.keysyms.assign(keysyms, keysyms + xcb_get_keyboard_mapping_keysyms_length(mapping));
        client.keysyms_per_keycode = mapping->keysyms_per_keycode;
        std::free(mapping);
    }
    return true;
}

} // namespace

int main()
{
    Client client;
    if (!connect(client)) {
        std::printf("error no display\n");
        return 1;
    }
    std::printf("ok\n");
    std::fflush(stdout);
    std::string pending;
    bool running = true;
    while (running) {
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (poll(&input, 1, client.churn_class.empty() ? -1 : 0) < 0) {
            break;
        }
        if (!(input.revents & (POLLIN | POLLHUP))) {
            churn(client);
            continue;
        }
        char buffer[4096];
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end = pending.find('\n'); running && end != std::string::npos;
             end = pending.find('\n')) {
            running = run(client, pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
    std::fflush(stdout);
    xcb_disconnect(client.connection);
    return 0;
}
