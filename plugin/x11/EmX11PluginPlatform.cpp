#include "EmX11PluginPlatform.h"

#include "EmX11InputEvents.h"
#include "EmX11PropertyReply.h"
#include "EmX11ScreenDpi.h"

#include <xcb/xcb_icccm.h>

#include <cstdlib>
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
    return children.next(connection.get(), x_parent, static_cast<xcb_window_t>(after));
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
    auto current = static_cast<xcb_window_t>(window);
    while (current != connection.root()) {
        xcb_query_tree_reply_t* const tree =
            xcb_query_tree_reply(connection.get(), xcb_query_tree(connection.get(), current), nullptr);
        if (!tree) {
            return no_window;
        }
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == connection.root()) {
            return current;
        }
        current = parent;
    }
    return no_window;
}

void EmX11PluginPlatform::show_restored(WindowHandle window)
{
    if (!ready() || !is_window_id(window)) {
        return;
    }
    const auto x_window = static_cast<xcb_window_t>(window);
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    finish(xcb_map_window_checked(connection.get(), x_window));
    finish(xcb_configure_window_checked(connection.get(), x_window, XCB_CONFIG_WINDOW_STACK_MODE, &above));
}

void EmX11PluginPlatform::hide(WindowHandle window)
{
    if (!ready() || !is_window_id(window)) {
        return;
    }
    finish(xcb_unmap_window_checked(connection.get(), static_cast<xcb_window_t>(window)));
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
