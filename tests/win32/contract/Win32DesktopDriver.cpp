#include "Win32DesktopDriver.h"

#include "EmDesktopPlayerPlatform.h"
#include "EmDesktopPluginPlatform.h"

#include <windows.h>

#include <cstdio>

std::unique_ptr<DesktopDriver> make_desktop_driver()
{
    return std::make_unique<Win32DesktopDriver>();
}

DesktopDriver::ProcessId Win32DesktopDriver::start_process(const std::string& exe_name)
{
    auto process = std::make_unique<HelperProcess>(exe_name);
    const ProcessId id = process->id();
    processes[id] = std::move(process);
    return id;
}

void Win32DesktopDriver::stop_process(ProcessId process)
{
    processes.at(process)->stop();
}

DesktopDriver::WindowId Win32DesktopDriver::make_top_level(ProcessId process, const std::string& class_name,
                                                           const std::string& title, WindowId owner)
{
    const WindowId window = to_id(processes.at(process)->make_top_level(class_name, title, to_hwnd(owner)));
    makers[window] = process;
    return window;
}

DesktopDriver::WindowId Win32DesktopDriver::make_child(WindowId parent, const std::string& class_name)
{
    const WindowId window = to_id(maker_of(parent).make_child(to_hwnd(parent), class_name));
    makers[window] = makers.at(parent);
    return window;
}

void Win32DesktopDriver::set_title(WindowId window, const std::string& title)
{
    maker_of(window).set_title(to_hwnd(window), title);
}

void Win32DesktopDriver::destroy_window(WindowId window)
{
    maker_of(window).destroy(to_hwnd(window));
}

std::shared_ptr<EmPlayerPlatform> Win32DesktopDriver::player_platform()
{
    return make_desktop_player_platform();
}

std::shared_ptr<EmPluginPlatform> Win32DesktopDriver::plugin_platform()
{
    return make_desktop_plugin_platform();
}

EmPluginPlatform::WindowHandle Win32DesktopDriver::plugin_handle(WindowId window)
{
    return static_cast<EmPluginPlatform::WindowHandle>(window);
}

std::vector<DesktopDriver::Delivery> Win32DesktopDriver::take_deliveries(WindowId window)
{
    const std::vector<MessageRecord::Message> received =
        maker_of(window).record().input_until_marker(to_hwnd(window));
    std::size_t& handed_out = delivered[window];
    std::vector<Delivery> deliveries;
    for (std::size_t i = handed_out; i < received.size(); ++i) {
        deliveries.push_back(delivery_of(received[i]));
    }
    handed_out = received.size();
    return deliveries;
}

bool Win32DesktopDriver::is_visible(WindowId window)
{
    return (GetWindowLongW(to_hwnd(window), GWL_STYLE) & WS_VISIBLE) != 0;
}

bool Win32DesktopDriver::set_screen_dpi(int)
{
    // Windows fixes a process's resolution when it starts.
    return false;
}

HWND Win32DesktopDriver::to_hwnd(WindowId window)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(window));
}

DesktopDriver::WindowId Win32DesktopDriver::to_id(HWND window)
{
    return reinterpret_cast<ULONG_PTR>(window);
}

DesktopDriver::Delivery Win32DesktopDriver::delivery_of(const MessageRecord::Message& message)
{
    const auto x = static_cast<short>(LOWORD(message.second));
    const auto y = static_cast<short>(HIWORD(message.second));
    const std::string key = message.first == VK_DOWN     ? "Down"
                            : message.first == VK_RETURN ? "Return"
                                                         : "key " + std::to_string(message.first);
    switch (message.message) {
    case WM_LBUTTONDOWN:
        return {Delivery::Kind::button_press, x, y, {}};
    case WM_LBUTTONUP:
        return {Delivery::Kind::button_release, x, y, {}};
    case WM_KEYDOWN:
        return {Delivery::Kind::key_press, 0, 0, key};
    case WM_KEYUP:
        return {Delivery::Kind::key_release, 0, 0, key};
    }
    // Any other input is none of the four kinds, and must not pass for one of them unnoticed.
    char name[32];
    std::snprintf(name, sizeof(name), "message 0x%04x", message.message);
    return {Delivery::Kind::key_press, 0, 0, name};
}

HelperProcess& Win32DesktopDriver::maker_of(WindowId window)
{
    return *processes.at(makers.at(window));
}
