#include "EmX11PluginPlatform.h"

#include "EmX11InputEvents.h"
#include "EmX11PropertyReply.h"
#include "EmX11ScreenDpi.h"
#include "EmX11TopLevels.h"

#include <xcb/xcb_icccm.h>

#include <cstdlib>
#include <optional>
#include <utility>

namespace {

constexpr xcb_keysym_t keysym_return = 0xFF0D;
constexpr xcb_keysym_t keysym_down = 0xFF54;
// Windows reads class names into 260 UTF-16 units with the terminator; a longer one is cut the
// same way here.
constexpr std::size_t max_class_name_units = 259;

// X window ids take 29 bits; a larger handle is nobody's, and must not be cut into somebody's.
bool is_window_id(EmPluginPlatform::WindowHandle handle)
{
    return handle != EmPluginPlatform::no_window && handle <= 0x1FFFFFFF;
}

std::string cut_class_name(const std::string& name)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if ((byte & 0xC0) == 0x80) {
            continue;
        }
        // Four-byte characters lie outside the basic plane and take a surrogate pair.
        units += (byte & 0xF8) == 0xF0 ? 2 : 1;
        if (units > max_class_name_units) {
            return name.substr(0, i);
        }
    }
    return name;
}

} // namespace

EmX11PluginPlatform::EmX11PluginPlatform(std::string display_name, std::chrono::milliseconds retry_interval)
    : connection(std::move(display_name), retry_interval)
{
}

EmPluginPlatform::WindowHandle EmX11PluginPlatform::next_child(WindowHandle parent, WindowHandle after)
{
    if (!ready() || (parent != no_window && !is_window_id(parent)) ||
        (after != no_window && !is_window_id(after))) {
        return no_window;
    }
    const xcb_window_t x_parent = parent == no_window ? connection.root() : static_cast<xcb_window_t>(parent);
    if (x_parent == connection.root() && after == no_window) {
        // A walk of the whole tree starts: what was kept from the previous one is stale.
        children.clear();
    }
    return children.next(connection, x_parent, static_cast<xcb_window_t>(after));
}

std::string EmX11PluginPlatform::class_name(WindowHandle window)
{
    if (!ready() || !is_window_id(window)) {
        return {};
    }
    const EmX11PropertyReply wm_class(
        connection.get(), xcb_icccm_get_wm_class(connection.get(), static_cast<xcb_window_t>(window)));
    return cut_class_name(wm_class.class_part());
}

EmPluginPlatform::PostResult EmX11PluginPlatform::post_message(WindowHandle window, std::uint32_t message,
                                                               std::uintptr_t first, std::uintptr_t second)
{
    if (!ready()) {
        return {false, 0};
    }
    if (!is_window_id(window)) {
        return {false, XCB_WINDOW};
    }
    const auto x_window = static_cast<xcb_window_t>(window);
    EmX11InputEvents events(connection.get(), connection.root());
    const auto x = static_cast<std::int16_t>(second & 0xFFFF);
    const auto y = static_cast<std::int16_t>(second >> 16 & 0xFFFF);
    const xcb_keysym_t keysym = first == vk_down ? keysym_down : first == vk_return ? keysym_return : 0;
    switch (message) {
    case wm_lbuttondown:
        return events.button(x_window, true, x, y);
    case wm_lbuttonup:
        return events.button(x_window, false, x, y);
    case wm_keydown:
    case wm_keyup:
        if (keysym == 0) {
            return {false, XCB_VALUE};
        }
        return events.key(x_window, message == wm_keydown, keysym);
    default:
        return {false, XCB_VALUE};
    }
}

EmPluginPlatform::WindowHandle EmX11PluginPlatform::root_ancestor(WindowHandle window)
{
    if (!ready() || !is_window_id(window)) {
        return no_window;
    }
    return EmX11TopLevels::holding(connection, static_cast<xcb_window_t>(window));
}

void EmX11PluginPlatform::show_restored(WindowHandle window)
{
    if (!ready() || !is_window_id(window)) {
        return;
    }
    const auto x_window = static_cast<xcb_window_t>(window);
    // A manager takes the map as the request to show the window again, also when it is minimised,
    // and activating it raises it; without a manager the window is raised by hand.
    finish(xcb_map_window_checked(connection.get(), x_window));
    if (manager_runs()) {
        xcb_client_message_event_t activate{};
        activate.response_type = XCB_CLIENT_MESSAGE;
        activate.format = 32;
        activate.window = x_window;
        activate.type = connection.ewmh()._NET_ACTIVE_WINDOW;
        // Asked for as a pager does, which managers do not refuse as stealing the focus.
        activate.data.data32[0] = XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER;
        activate.data.data32[1] = XCB_CURRENT_TIME;
        send_to_manager(&activate);
    } else {
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        finish(
            xcb_configure_window_checked(connection.get(), x_window, XCB_CONFIG_WINDOW_STACK_MODE, &above));
    }
}

void EmX11PluginPlatform::hide(WindowHandle window)
{
    if (!ready() || !is_window_id(window)) {
        return;
    }
    const auto x_window = static_cast<xcb_window_t>(window);
    finish(xcb_unmap_window_checked(connection.get(), x_window));
    // The synthetic notice withdraws a window that is minimised, which is unmapped already and so
    // gives the manager no notice of its own.
    xcb_unmap_notify_event_t withdrawn{};
    withdrawn.response_type = XCB_UNMAP_NOTIFY;
    withdrawn.event = connection.root();
    withdrawn.window = x_window;
    send_to_manager(&withdrawn);
}

bool EmX11PluginPlatform::manager_runs()
{
    xcb_connection_t* const c = connection.get();
    const xcb_atom_t check = connection.ewmh()._NET_SUPPORTING_WM_CHECK;
    const EmX11PropertyReply on_root(c,
                                     xcb_get_property(c, 0, connection.root(), check, XCB_ATOM_WINDOW, 0, 1));
    const std::optional<std::uint32_t> manager = on_root.first_long(XCB_ATOM_WINDOW);
    if (!manager) {
        return false;
    }
    // A manager that has gone leaves the root's property behind, but its own window goes with it.
    const EmX11PropertyReply on_manager(c, xcb_get_property(c, 0, *manager, check, XCB_ATOM_WINDOW, 0, 1));
    return on_manager.first_long(XCB_ATOM_WINDOW) == manager;
}

void EmX11PluginPlatform::send_to_manager(const void* event)
{
    finish(xcb_send_event_checked(connection.get(), 0, connection.root(),
                                  XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                                  static_cast<const char*>(event)));
}

int EmX11PluginPlatform::screen_dpi()
{
    if (!ready()) {
        return EmX11ScreenDpi::fallback;
    }
    return EmX11ScreenDpi::read(connection.get(), connection.root_screen());
}

void EmX11PluginPlatform::finish(xcb_void_cookie_t request)
{
    // Waiting makes the change done when the call returns, as it is on Windows; a window that is
    // gone has nothing left to show or hide, so its error is of no interest.
    std::free(xcb_request_check(connection.get(), request));
}

bool EmX11PluginPlatform::ready()
{
    if (!connection.ready()) {
        return false;
    }
    if (children_generation != connection.generation()) {
        // Window ids of an earlier connection may name other windows now.
        children.clear();
        children_generation = connection.generation();
    }
    return true;
}
