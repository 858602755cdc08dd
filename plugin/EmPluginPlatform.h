#pragma once

#include <cstdint>
#include <string>

// What the plugin controller needs from the windowing system. Plain C++ so the controller builds
// and is tested anywhere; each build hands its own implementation to the controller.
class EmPluginPlatform
{
public:
    // Opaque, pointer-sized; 0 is no window, and as a parent it stands for the desktop.
    using WindowHandle = std::uintptr_t;
    static constexpr WindowHandle no_window = 0;

    struct PostResult
    {
        bool ok;
        // The system's error code when the post failed; meaningless after success.
        std::uint32_t error;
    };

    // The messages and arguments the controller posts. Lower-case names so that they cannot meet
    // the system headers' macros; a backend translates them to its own events.
    static constexpr std::uint32_t wm_keydown = 0x0100;
    static constexpr std::uint32_t wm_keyup = 0x0101;
    static constexpr std::uint32_t wm_lbuttondown = 0x0201;
    static constexpr std::uint32_t wm_lbuttonup = 0x0202;
    static constexpr std::uintptr_t mk_lbutton = 1;
    static constexpr std::uintptr_t vk_return = 13;
    static constexpr std::uintptr_t vk_down = 40;
    static constexpr std::uintptr_t key_press_data = 0x00010001;
    static constexpr std::uintptr_t key_release_data = 0xC0010001;

    virtual ~EmPluginPlatform() = default;

    // The child of parent that follows after (the first one when after is no_window), or
    // no_window at the end. With parent no_window the children are the top-level windows.
    virtual WindowHandle next_child(WindowHandle parent, WindowHandle after) = 0;

    // The window's class name in UTF-8, at most 259 characters; empty for an unknown window.
    virtual std::string class_name(WindowHandle window) = 0;

    // Queues the message to the window's thread without waiting for it to be handled.
    virtual PostResult post_message(WindowHandle window, std::uint32_t message, std::uintptr_t first,
                                    std::uintptr_t second) = 0;

    // The top-level window that contains window (itself when it is top-level), or no_window.
    virtual WindowHandle root_ancestor(WindowHandle window) = 0;

    virtual void show_restored(WindowHandle window) = 0;
    virtual void hide(WindowHandle window) = 0;

    // The screen's horizontal logical resolution in dots per inch.
    virtual int screen_dpi() = 0;
};
