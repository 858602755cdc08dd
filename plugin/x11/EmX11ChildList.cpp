#include "EmX11ChildList.h"

#include <algorithm>
#include <cstdlib>

xcb_window_t EmX11ChildList::next(xcb_connection_t* connection, xcb_window_t parent, xcb_window_t after)
{
    auto known = lists.find(parent);
    const bool continues =
        known != lists.end() && after != XCB_WINDOW_NONE &&
        std::find(known->second.begin(), known->second.end(), after) != known->second.end();
    if (!continues) {
        known = lists.insert_or_assign(parent, query(connection, parent)).first;
    }
    const std::vector<xcb_window_t>& children = known->second;
    if (after == XCB_WINDOW_NONE) {
        return children.empty() ? xcb_window_t{XCB_WINDOW_NONE} : children.front();
    }
    const auto at = std::find(children.begin(), children.end(), after);
    if (at == children.end() || at + 1 == children.end()) {
        return XCB_WINDOW_NONE;
    }
    return *(at + 1);
}

void EmX11ChildList::clear()
{
    lists.clear();
}

std::vector<xcb_window_t> EmX11ChildList::query(xcb_connection_t* connection, xcb_window_t parent)
{
    xcb_query_tree_reply_t* const tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr);
    if (!tree) {
        return {};
    }
    const xcb_window_t* const children = xcb_query_tree_children(tree);
    std::vector<xcb_window_t> result(children, children + xcb_query_tree_children_length(tree));
    std::free(tree);
    return result;
}
