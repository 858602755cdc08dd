#pragma once

#include "DesktopDriver.h"
#include "X11WindowClient.h"
#include "XvfbServer.h"

#include <xcb/xcb.h>

#include <map>
#include <memory>
#include <set>

// The contract's desktop on an X server of the test's own: every process is a window client
// started under the executable name asked for, and the backends under test are the program's
// X11 backends pointed at that server.
class X11DesktopDriver : public DesktopDriver
{
public:
    X11DesktopDriver();
    ~X11DesktopDriver() override;

    ProcessId start_process(const std::string& exe_name) override;
    void stop_process(ProcessId process) override;
    WindowId make_top_level(ProcessId process, const std::string& class_name, const std::string& title,
                            WindowId owner) override;
    WindowId make_child(WindowId parent, const std::string& class_name) override;
    void set_title(WindowId window, const std::string& title) override;
    void destroy_window(WindowId window) override;
    std::shared_ptr<EmPlayerPlatform> player_platform() override;
    std::shared_ptr<EmPluginPlatform> plugin_platform() override;
    EmPluginPlatform::WindowHandle plugin_handle(WindowId window) override;
    std::vector<Delivery> take_deliveries(WindowId window) override;
    bool hide_window(WindowId window) override;
    // Under a window manager only.
    bool minimize(WindowId window) override;
    bool is_visible(WindowId window) override;
    bool set_screen_dpi(int dpi) override;

private:
    X11WindowClient& client_of(WindowId window);
    static Delivery delivery_of(const std::string& description);

    XvfbServer server{{"-dpi", "96"}};
    // The driver's own look at the server, for what no backend tells.
    xcb_connection_t* observer = nullptr;
    std::shared_ptr<std::set<std::uint32_t>> started = std::make_shared<std::set<std::uint32_t>>();
    std::map<ProcessId, std::unique_ptr<X11WindowClient>> clients;
    std::map<WindowId, ProcessId> makers;
    std::map<WindowId, std::vector<Delivery>> undelivered;
};
