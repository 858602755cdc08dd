#include "EmX11TopLevels.h"

#include "EmX11PropertyReply.h"

#include <cstdlib>
#include <iterator>
#include <utility>

namespace {

// Window managers put a client one or two levels below the frame that is the root's child; the
// search for it stops here, so that a deep tree of a program's own windows costs little.
constexpr int max_frame_depth = 3;
} // namespace

std::vector<xcb_window_t> EmX11TopLevels::front_to_back(EmX11Connection& connection)
{
    xcb_connection_t* const c = connection.get();
    const std::vector<xcb_window_t> top_levels = children_of(c, xcb_query_tree(c, connection.root()));

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

xcb_window_t EmX11TopLevels::holding(EmX11Connection& connection, xcb_window_t window)
{
    xcb_connection_t* const c = connection.get();
    std::vector<xcb_window_t> ancestors;
    for (xcb_window_t current = window; current != connection.root();) {
        xcb_query_tree_reply_t* const tree = xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr);
        if (!tree) {
            return XCB_WINDOW_NONE;
        }
        ancestors.push_back(current);
        current = tree->parent;
        std::free(tree);
    }
    if (ancestors.empty()) {
        return XCB_WINDOW_NONE;
    }
    std::vector<xcb_get_property_cookie_t> cookies;
    for (xcb_window_t ancestor : ancestors) {
        cookies.push_back(
            xcb_get_property(c, 0, ancestor, connection.wm_state(), connection.wm_state(), 0, 0));
    }
    xcb_window_t client = ancestors.back();
    for (std::size_t i = 0; i < ancestors.size(); ++i) {
        if (EmX11PropertyReply(c, cookies[i]).type() == connection.wm_state()) {
            client = ancestors[i];
        }
    }
    return client;
}

std::vector<xcb_window_t> EmX11TopLevels::children_of(xcb_connection_t* connection,
                                                      xcb_query_tree_cookie_t cookie)
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
