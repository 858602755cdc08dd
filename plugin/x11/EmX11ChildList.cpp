#include "EmX11ChildList.h"

#include "EmX11TopLevels.h"

#include <algorithm>

xcb_window_t EmX11ChildList::next(EmX11Connection& connection, xcb_window_t parent, xcb_window_t after)
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

std::vector<xcb_window_t> EmX11ChildList::query(EmX11Connection& connection, xcb_window_t parent)
{
    if (parent == connection.root()) {
        return EmX11TopLevels::front_to_back(connection);
    }
    xcb_connection_t* const c = connection.get();
    return EmX11TopLevels::children_of(c, xcb_query_tree(c, parent));
}
