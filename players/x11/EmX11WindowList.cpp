#include "EmX11WindowList.h"

#include "EmX11CompoundText.h"
#include "EmX11PropertyReply.h"

#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace {

// Enough for any UTF-8 or Latin-1 title once it is cut to 255 UTF-16 units, since no character
// takes more than four bytes; longer values are not worth reading.
constexpr std::uint32_t title_longs = 256;
// Window managers put a client one or two levels below the frame that is the root's child; the
// search for it stops here, so that a deep tree of a program's own windows costs little.
constexpr int max_frame_depth = 3;

struct WindowCookies
{
    xcb_get_property_cookie_t pid;
    xcb_get_property_cookie_t transient_for;
    xcb_get_property_cookie_t wm_class;
    xcb_get_property_cookie_t net_wm_name;
    xcb_get_property_cookie_t wm_name;
};

std::string title_of(const EmX11PropertyReply& net_wm_name, const EmX11PropertyReply& wm_name,
                     const EmX11Connection& connection)
{
    if (net_wm_name.type() == connection.ewmh().UTF8_STRING) {
        return net_wm_name.bytes();
    }
    if (wm_name.type() == XCB_ATOM_STRING) {
        return EmX11CompoundText::latin1_to_utf8(wm_name.bytes());
    }
    if (wm_name.type() == connection.compound_text()) {
        return EmX11CompoundText::to_utf8(wm_name.bytes());
    }
    if (wm_name.type() == connection.ewmh().UTF8_STRING) {
        return wm_name.bytes();
    }
    return {};
}

// A window's children front to back; none when the window is gone.
std::vector<xcb_window_t> children_of(xcb_connection_t* connection, xcb_query_tree_cookie_t cookie)
{
    xcb_query_tree_reply_t* const tree = xcb_query_tree_reply(connection, cookie, nullptr);
    if (!tree) {
        return {};
    }
    const xcb_window_t* const children = xcb_query_tree_children(tree);
    // The server lists them from the bottom of the stack to its top.
    std::vector<xcb_window_t> windows(
        std::make_reverse_iterator(children + xcb_query_tree_children_length(tree)),
        std::make_reverse_iterator(children));
    std::free(tree);
    return windows;
}

} // namespace

EmX11WindowList::EmX11WindowList(EmX11Connection& connection)
    : connection(connection)
{
}

std::vector<EmPlayerPlatform::Window> EmX11WindowList::list()
{
    return read(front_to_back());
}

std::vector<EmPlayerPlatform::Window> EmX11WindowList::read(const std::vector<xcb_window_t>& windows)
{
    xcb_connection_t* const c = connection.get();
    const xcb_ewmh_connection_t& ewmh = connection.ewmh();
    std::vector<WindowCookies> cookies;
    cookies.reserve(windows.size());
    for (xcb_window_t window : windows) {
        cookies.push_back({
            xcb_get_property(c, 0, window, ewmh._NET_WM_PID, XCB_ATOM_CARDINAL, 0, 1),
            xcb_icccm_get_wm_transient_for(c, window),
            xcb_icccm_get_wm_class(c, window),
            xcb_get_property(c, 0, window, ewmh._NET_WM_NAME, ewmh.UTF8_STRING, 0, title_longs),
            xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, title_longs),
        });
    }

    std::vector<EmPlayerPlatform::Window> listed;
    listed.reserve(windows.size());
    for (const WindowCookies& window : cookies) {
        // Every reply is taken, also after a failure, so that none is left queued.
        const EmX11PropertyReply pid(c, window.pid);
        const EmX11PropertyReply transient_for(c, window.transient_for);
        const EmX11PropertyReply wm_class(c, window.wm_class);
        const EmX11PropertyReply net_wm_name(c, window.net_wm_name);
        const EmX11PropertyReply wm_name(c, window.wm_name);
        // A window destroyed since the stacking order was read answers with errors only.
        if (pid.failed() || transient_for.failed() || wm_class.failed() || net_wm_name.failed() ||
            wm_name.failed()) {
            continue;
        }
        listed.push_back(
            {pid.first_long(XCB_ATOM_CARDINAL).value_or(0),
             transient_for.first_long(XCB_ATOM_WINDOW).value_or(XCB_WINDOW_NONE) != XCB_WINDOW_NONE,
             EmPlayerPlatform::cut_text(wm_class.class_part()),
             EmPlayerPlatform::cut_text(title_of(net_wm_name, wm_name, connection))});
    }
    return listed;
}

std::vector<xcb_window_t> EmX11WindowList::front_to_back()
{
    xcb_connection_t* const c = connection.get();
    std::vector<xcb_window_t> top_levels = children_of(c, xcb_query_tree(c, connection.root()));

    // Below each child of the root, the windows carrying WM_STATE are the clients a window manager
    // framed; a child with none below it (no manager, a withdrawn or override-redirect window)
    // stands for itself. Every level of every search is asked at once.
    struct Search
    {
        xcb_window_t top_level;
        std::vector<xcb_window_t> level;
        std::vector<xcb_window_t> clients;
        bool done = false;
    };
    std::vector<Search> searches;
    searches.reserve(top_levels.size());
    for (xcb_window_t window : top_levels) {
        searches.push_back({window, {window}, {}, false});
    }
    for (int depth = 0; depth <= max_frame_depth; ++depth) {
        const bool deepest = depth == max_frame_depth;
        std::vector<std::pair<xcb_get_property_cookie_t, xcb_query_tree_cookie_t>> cookies;
        for (const Search& search : searches) {
            for (xcb_window_t window : search.done ? std::vector<xcb_window_t>() : search.level) {
                cookies.emplace_back(
                    xcb_get_property(c, 0, window, connection.wm_state(), connection.wm_state(), 0, 0),
                    deepest ? xcb_query_tree_cookie_t{0} : xcb_query_tree(c, window));
            }
        }
        if (cookies.empty()) {
            break;
        }
        auto next_cookie = cookies.begin();
        for (Search& search : searches) {
            if (search.done) {
                continue;
            }
            std::vector<xcb_window_t> below;
            for (xcb_window_t window : search.level) {
                const auto [state_cookie, tree_cookie] = *next_cookie++;
                if (EmX11PropertyReply(c, state_cookie).type() == connection.wm_state()) {
                    search.clients.push_back(window);
                }
                if (!deepest) {
                    const std::vector<xcb_window_t> children = children_of(c, tree_cookie);
                    below.insert(below.end(), children.begin(), children.end());
                }
            }
            if (search.clients.empty() && !below.empty() && !deepest) {
                search.level = std::move(below);
            } else {
                search.done = true;
            }
        }
    }

    std::vector<xcb_window_t> windows;
    for (const Search& search : searches) {
        if (search.clients.empty()) {
            windows.push_back(search.top_level);
        } else {
            windows.insert(windows.end(), search.clients.begin(), search.clients.end());
        }
    }
    return windows;
}
