#pragma once

#include "EmPluginPlatform.h"
#include "EmX11ChildList.h"
#include "EmX11Connection.h"

#include <chrono>
#include <string>

// The plugin controller's window tree, input and screen on an X display. Window handles are X
// window ids; the desktop (no_window as a parent) is the root window. Without a display there
// are no windows and every post fails.
class EmX11PluginPlatform : public EmPluginPlatform
{
public:
    // An empty display name means $DISPLAY.
    explicit EmX11PluginPlatform(std::string display_name, std::chrono::milliseconds retry_interval =
                                                               EmX11Connection::default_retry_interval);

    WindowHandle next_child(WindowHandle parent, WindowHandle after) override;
    std::string class_name(WindowHandle window) override;
    // Mouse-button and key messages become synthetic button and key events; anything else, and
    // a key without a keysym here, fails with BadValue.
    PostResult post_message(WindowHandle window, std::uint32_t message, std::uintptr_t first,
                            std::uintptr_t second) override;
    // The ancestor whose parent is the root window.
    WindowHandle root_ancestor(WindowHandle window) override;
    // Maps and raises the window.
    void show_restored(WindowHandle window) override;
    // Unmaps the window.
    void hide(WindowHandle window) override;
    int screen_dpi() override;

private:
    bool ready();
    void finish(xcb_void_cookie_t request);
    // Whether a window manager that follows the desktop conventions runs now.
    bool manager_runs();
    // Sends a client message or notice to the root window, where the manager listens.
    void send_to_manager(const void* event);

    EmX11Connection connection;
    EmX11ChildList children;
    unsigned children_generation = 0;
};
