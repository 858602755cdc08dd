#include "FakeDesktopDriver.h"

#include <stdexcept>
#include <utility>
#include <vector>

std::unique_ptr<DesktopDriver> make_desktop_driver()
{
    return std::make_unique<FakeDesktopDriver>();
}

DesktopDriver::ProcessId FakeDesktopDriver::start_process(const std::string& exe_name)
{
    // Spaced as real process ids are, so that an id off by one belongs to nobody.
    next_process += 4;
    players->start_process(exe_name, next_process);
    return next_process;
}

void FakeDesktopDriver::stop_process(ProcessId process)
{
    players->stop_process(process);
    std::vector<WindowId> owned;
    for (const auto& [id, window] : windows) {
        if (window.process == process && window.parent == no_window) {
            owned.push_back(id);
        }
    }
    for (WindowId id : owned) {
        plugins->remove_window(windows.at(id).plugin_handle);
        forget_window(id);
    }
}

DesktopDriver::WindowId FakeDesktopDriver::make_top_level(ProcessId process, const std::string& class_name,
                                                          const std::string& title, WindowId owner)
{
    const int player_handle = players->add_window(process, class_name, title, owner != no_window);
    players->raise_window(player_handle);
    const EmPluginPlatform::WindowHandle plugin_handle =
        plugins->add_window(EmPluginPlatform::no_window, class_name);
    plugins->raise_window(plugin_handle);
    windows[next_window] = {process, player_handle, plugin_handle, no_window};
    return next_window++;
}

DesktopDriver::WindowId FakeDesktopDriver::make_child(WindowId parent, const std::string& class_name)
{
    const FakeWindow& outer = windows.at(parent);
    const EmPluginPlatform::WindowHandle plugin_handle = plugins->add_window(outer.plugin_handle, class_name);
    windows[next_window] = {outer.process, 0, plugin_handle, parent};
    return next_window++;
}

void FakeDesktopDriver::set_title(WindowId window, const std::string& title)
{
    const FakeWindow& fake = windows.at(window);
    if (fake.player_handle == 0) {
        throw std::invalid_argument("the fake keeps titles of top-level windows only");
    }
    players->set_title(fake.player_handle, title);
}

void FakeDesktopDriver::destroy_window(WindowId window)
{
    const FakeWindow fake = windows.at(window);
    if (fake.player_handle != 0) {
        players->close_window(fake.player_handle);
    }
    plugins->remove_window(fake.plugin_handle);
    forget_window(window);
}

std::shared_ptr<EmPlayerPlatform> FakeDesktopDriver::player_platform()
{
    return players;
}

std::shared_ptr<EmPluginPlatform> FakeDesktopDriver::plugin_platform()
{
    return plugins;
}

EmPluginPlatform::WindowHandle FakeDesktopDriver::plugin_handle(WindowId window)
{
    return windows.at(window).plugin_handle;
}

std::vector<DesktopDriver::Delivery> FakeDesktopDriver::take_deliveries(WindowId window)
{
    for (const EmFakePluginPlatform::Post& post : plugins->take_posts()) {
        undelivered[post.window].push_back(delivery_of(post));
    }
    return std::exchange(undelivered[windows.at(window).plugin_handle], {});
}

bool FakeDesktopDriver::hide_window(WindowId window)
{
    // The player fake lists hidden windows like any other; only the plugin fake keeps visibility.
    plugins->hide(windows.at(window).plugin_handle);
    return true;
}

bool FakeDesktopDriver::is_visible(WindowId window)
{
    const EmPluginPlatform::WindowHandle handle = windows.at(window).plugin_handle;
    bool visible = true;
    for (const EmFakePluginPlatform::ShowCall& call : plugins->show_calls()) {
        if (call.window == handle) {
            visible = call.restored;
        }
    }
    return visible;
}

bool FakeDesktopDriver::set_screen_dpi(int dpi)
{
    plugins->set_screen_dpi(dpi);
    return true;
}

DesktopDriver::Delivery FakeDesktopDriver::delivery_of(const EmFakePluginPlatform::Post& post)
{
    using Kind = Delivery::Kind;
    const auto x = static_cast<std::int16_t>(post.second & 0xFFFF);
    const auto y = static_cast<std::int16_t>(post.second >> 16 & 0xFFFF);
    const std::string key = post.first == EmPluginPlatform::vk_down     ? "Down"
                            : post.first == EmPluginPlatform::vk_return ? "Return"
                                                                        : "vk " + std::to_string(post.first);
    switch (post.message) {
    case EmPluginPlatform::wm_lbuttondown:
        return {Kind::button_press, x, y, {}};
    case EmPluginPlatform::wm_lbuttonup:
        return {Kind::button_release, x, y, {}};
    case EmPluginPlatform::wm_keydown:
        return {Kind::key_press, 0, 0, key};
    case EmPluginPlatform::wm_keyup:
        return {Kind::key_release, 0, 0, key};
    default:
        throw std::invalid_argument("a message the plugin platform never posts");
    }
}

void FakeDesktopDriver::forget_window(WindowId window)
{
    std::vector<WindowId> children;
    for (const auto& [id, fake] : windows) {
        if (fake.parent == window) {
            children.push_back(id);
        }
    }
    for (WindowId child : children) {
        forget_window(child);
    }
    windows.erase(window);
}
