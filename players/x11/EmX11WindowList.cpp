#include "EmX11WindowList.h"

#include "EmX11CompoundText.h"
#include "EmX11PropertyReply.h"
#include "EmX11TopLevels.h"

#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Enough for any UTF-8 or Latin-1 title once it is cut to 255 UTF-16 units, since no character
// takes more than four bytes; longer values are not worth reading.
constexpr std::uint32_t title_longs = 256;

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

} // namespace

EmX11WindowList::EmX11WindowList(EmX11Connection& connection)
    : connection(connection)
{
}

std::vector<EmPlayerPlatform::Window> EmX11WindowList::list()
{
    return read(EmX11TopLevels::front_to_back(connection));
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
