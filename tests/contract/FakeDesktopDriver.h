#pragma once

#include "DesktopDriver.h"
#include "EmFakePlayerPlatform.h"
#include "EmFakePluginPlatform.h"

#include <map>
#include <memory>

// The contract's desktop held in memory: the two fakes the unit tests use, kept in step, so that
// the contract checks also pin down what the fakes promise.
class FakeDesktopDriver : public DesktopDriver
{
public:
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
    bool is_visible(WindowId window) override;
    bool set_screen_dpi(int dpi) override;

private:
    struct FakeWindow
    {
        ProcessId process;
        // The player fake lists top-level windows only; 0 for a child.
        int player_handle;
        EmPluginPlatform::WindowHandle plugin_handle;
        WindowId parent;
    };

    static Delivery delivery_of(const EmFakePluginPlatform::Post& post);
    void forget_window(WindowId window);

    std::shared_ptr<EmFakePlayerPlatform> players = std::make_shared<EmFakePlayerPlatform>();
    std::shared_ptr<EmFakePluginPlatform> plugins = std::make_shared<EmFakePluginPlatform>();
    std::map<WindowId, FakeWindow> windows;
    std::map<EmPluginPlatform::WindowHandle, std::vector<Delivery>> undelivered;
    ProcessId next_process = 4100;
    WindowId next_window = 1;
};
