#pragma once

#include "DesktopDriver.h"
#include "HelperProcess.h"

#include <map>
#include <memory>

// The contract's desktop on Windows: every process is a copy of the helper program under the
// asked executable name, every window a real window it made, and the backends under test are
// the ones the program itself uses. Window ids are the windows' handles.
class Win32DesktopDriver : public DesktopDriver
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
    bool is_visible(WindowId window) override;
    bool set_screen_dpi(int dpi) override;

private:
    static HWND to_hwnd(WindowId window);
    static WindowId to_id(HWND window);
    static Delivery delivery_of(const MessageRecord::Message& message);
    HelperProcess& maker_of(WindowId window);

    std::map<ProcessId, std::unique_ptr<HelperProcess>> processes;
    std::map<WindowId, ProcessId> makers;
    // How many of each window's messages were handed out already.
    std::map<WindowId, std::size_t> delivered;
};
