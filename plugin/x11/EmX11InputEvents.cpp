#include "EmX11InputEvents.h"

#include <cstdlib>

EmX11InputEvents::EmX11InputEvents(xcb_connection_t* connection, xcb_window_t root)
    : connection(connection)
    , root(root)
{
}

EmPluginPlatform::PostResult EmX11InputEvents::button(xcb_window_t window, bool press, std::int16_t x,
                                                      std::int16_t y)
{
    // Toolkits place pop-up menus at the root position of the click, so it has to be right.
    xcb_generic_error_t* error = nullptr;
    xcb_translate_coordinates_reply_t* const on_root = xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, root, x, y), &error);
    if (!on_root) {
        return failure(error);
    }
    xcb_button_press_event_t event{};
    event.response_type = press ? XCB_BUTTON_PRESS : XCB_BUTTON_RELEASE;
    event.detail = XCB_BUTTON_INDEX_1;
    event.time = XCB_CURRENT_TIME;
    event.root = root;
    event.event = window;
    event.child = XCB_WINDOW_NONE;
    event.root_x = on_root->dst_x;
    event.root_y = on_root->dst_y;
    event.event_x = x;
    event.event_y = y;
    // The state before the event: the button is down only when it is released.
    event.state = press ? 0 : XCB_BUTTON_MASK_1;
    event.same_screen = 1;
    std::free(on_root);
    return send(window, &event);
}

EmPluginPlatform::PostResult EmX11InputEvents::key(xcb_window_t window, bool press, xcb_keysym_t keysym)
{
    const xcb_keycode_t keycode = keycode_of(keysym);
    if (keycode == 0) {
        return {false, XCB_VALUE};
    }
    xcb_key_press_event_t event{};
    event.response_type = press ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
    event.detail = keycode;
    event.time = XCB_CURRENT_TIME;
    event.root = root;
    event.event = window;
    event.child = XCB_WINDOW_NONE;
    event.same_screen = 1;
    return send(window, &event);
}

xcb_keycode_t EmX11InputEvents::keycode_of(xcb_keysym_t keysym)
{
    // Asked afresh every time rather than cached: the mapping can change at any moment, and a
    // keynote takes a few dozen keys at most.
    const xcb_setup_t* const setup = xcb_get_setup(connection);
    const xcb_keycode_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* const mapping = xcb_get_keyboard_mapping_reply(
        connection, xcb_get_keyboard_mapping(connection, first, count), nullptr);
    if (!mapping) {
        return 0;
    }
    const xcb_keysym_t* const keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
    const int per_keycode = mapping->keysyms_per_keycode;
    const int length = xcb_get_keyboard_mapping_keysyms_length(mapping);
    xcb_keycode_t found = 0;
    for (int i = 0; i < length && found == 0; ++i) {
        if (keysyms[i] == keysym) {
            found = static_cast<xcb_keycode_t>(first + i / per_keycode);
        }
    }
    std::free(mapping);
    return found;
}

EmPluginPlatform::PostResult EmX11InputEvents::send(xcb_window_t window, const void* event)
{
    xcb_generic_error_t* const error =
        xcb_request_check(connection, xcb_send_event_checked(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                                                             static_cast<const char*>(event)));
    // A lost connection gives no error either, and must not pass for a delivered event.
    if (!error && !xcb_connection_has_error(connection)) {
        return {true, 0};
    }
    return failure(error);
}

EmPluginPlatform::PostResult EmX11InputEvents::failure(xcb_generic_error_t* error)
{
    const std::uint32_t code = error ? error->error_code : 0;
    std::free(error);
    return {false, code};
}
