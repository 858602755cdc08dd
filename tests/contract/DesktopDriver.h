#pragma once

#include "EmPlayerPlatform.h"
#include "EmPluginPlatform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The desktop behind the contract checks: the checks in this folder describe, once, what every
// desktop backend must show the player watcher and the plugin controller, and a driver gives
// them a desktop to run on. The driver makes processes and windows the way that desktop's own
// programs do, hands out the backends under test, and reads back what a window received.
//
// Adding a driver:
//  1. Subclass DesktopDriver; keep the state of one desktop in the object, which lives for one
//     test. Whatever a call changes has to be visible to the backends when it returns.
//  2. Define make_desktop_driver() in the driver's test executable.
//  3. Register the executable with the checks:
//       kestrune_add_test(contract_mydesk_test SOURCES MyDeskDriver.cpp ...
//           LIBS kestrune_desktop_contract ...)
//     kestrune_desktop_contract is an object library, so every check it holds is linked in.
//     PlayerPlatformContract.cpp and PluginPlatformContract.cpp check the two backends alone
//     and need no Qt; a build without Qt can compile them with DesktopDriver.cpp and its driver.
//     WatcherContract.cpp and PluginControlContract.cpp run the program's watcher and plugin
//     controller on the backends.
//  4. A check that needs something the desktop cannot do (set_screen_dpi, hide_window or
//     minimize returning false; the base class's hide_window and minimize do) is skipped, not
//     failed.
class DesktopDriver
{
public:
    using ProcessId = std::uint32_t;
    // The driver's own name for a window it made; no_window is none.
    using WindowId = std::uint64_t;
    static constexpr WindowId no_window = 0;

    // One input event a window received from the plugin platform.
    struct Delivery
    {
        enum class Kind
        {
            button_press,
            button_release,
            key_press,
            key_release
        };

        Kind kind;
        // Client position of a button event; 0 for keys.
        int x = 0;
        int y = 0;
        // The key of a key event: "Down", "Return", or any other name the driver gives; empty for
        // buttons.
        std::string key;

        bool operator==(const Delivery& other) const;
    };

    virtual ~DesktopDriver() = default;

    // A running process whose executable file name is exe_name; returns its process id.
    virtual ProcessId start_process(const std::string& exe_name) = 0;
    // Ends the process; its windows go with it.
    virtual void stop_process(ProcessId process) = 0;

    // A shown top-level window of the process, in front of all other top-level windows. With an
    // owner it is owned by that window (a dialog of it).
    virtual WindowId make_top_level(ProcessId process, const std::string& class_name,
                                    const std::string& title, WindowId owner = no_window) = 0;
    // A shown child window inside parent, made by parent's process, behind parent's other children
    // (where Windows puts a new child).
    virtual WindowId make_child(WindowId parent, const std::string& class_name) = 0;
    virtual void set_title(WindowId window, const std::string& title) = 0;
    // Destroys the window with its children.
    virtual void destroy_window(WindowId window) = 0;

    // The backends under test, both looking at this desktop. The checks ask once per test.
    virtual std::shared_ptr<EmPlayerPlatform> player_platform() = 0;
    virtual std::shared_ptr<EmPluginPlatform> plugin_platform() = 0;
    // The plugin platform's handle of a window the driver made.
    virtual EmPluginPlatform::WindowHandle plugin_handle(WindowId window) = 0;

    // What the window received from the plugin platform since the previous call, in order.
    virtual std::vector<Delivery> take_deliveries(WindowId window) = 0;
    // The process hides its own top-level window, as a player hiding to the tray does; false when
    // this desktop cannot.
    virtual bool hide_window(WindowId window);
    // The top-level window is minimised the way its user would; false when this desktop cannot.
    virtual bool minimize(WindowId window);
    // Whether the window itself is shown, regardless of its ancestors.
    virtual bool is_visible(WindowId window) = 0;
    // Whether the window is or becomes shown (or hidden) within a few seconds: a window manager
    // carries out a request to show a window on its own time.
    bool becomes_visible(WindowId window, bool visible = true);
    // Makes the screen report the resolution; false when this desktop cannot.
    virtual bool set_screen_dpi(int dpi) = 0;
};

// Defined by each driver's test executable; called once per test.
std::unique_ptr<DesktopDriver> make_desktop_driver();
