#include "DesktopDriver.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

namespace {

using Delivery = DesktopDriver::Delivery;
using WindowHandle = EmPluginPlatform::WindowHandle;
using WindowId = DesktopDriver::WindowId;

// The plugin platform alone, as the controller uses it. Plain C++, so that a desktop whose tests
// are built without Qt runs these too.
class PluginPlatformContract : public testing::Test
{
protected:
    // In the order the search is handed them: front to back.
    std::vector<WindowHandle> children_of(WindowHandle parent)
    {
        std::vector<WindowHandle> children;
        for (WindowHandle child = platform->next_child(parent, EmPluginPlatform::no_window);
             child != EmPluginPlatform::no_window; child = platform->next_child(parent, child)) {
            children.push_back(child);
        }
        return children;
    }

    // The given windows in the order the search meets them among the desktop's top-level windows,
    // which may hold others too.
    std::vector<WindowHandle> top_levels_among(const std::set<WindowHandle>& wanted)
    {
        std::vector<WindowHandle> found;
        for (WindowHandle window : children_of(EmPluginPlatform::no_window)) {
            if (wanted.count(window)) {
                found.push_back(window);
            }
        }
        return found;
    }

    WindowHandle handle(WindowId window) { return desktop->plugin_handle(window); }

    std::unique_ptr<DesktopDriver> desktop = make_desktop_driver();
    std::shared_ptr<EmPluginPlatform> platform = desktop->plugin_platform();
    DesktopDriver::ProcessId host_process = desktop->start_process("studio.exe");
    WindowId host = desktop->make_top_level(host_process, "HostFrame", "Host");
};

} // namespace

TEST_F(PluginPlatformContract, WindowTreeIsReportedFrontToBackWithClassNamesAndTopLevelAncestors)
{
    const WindowId toolbar = desktop->make_child(host, "Toolbar");
    const WindowId pane = desktop->make_child(host, "EditorPane");
    const WindowId plugin = desktop->make_child(pane, "ATEvoPluginWndClass");
    const WindowId front = desktop->make_top_level(host_process, "HostFrame", "Second host");

    EXPECT_EQ(children_of(handle(host)), std::vector<WindowHandle>({handle(toolbar), handle(pane)}));
    EXPECT_EQ(children_of(handle(pane)), std::vector<WindowHandle>({handle(plugin)}));
    EXPECT_EQ(top_levels_among({handle(host), handle(front)}),
              std::vector<WindowHandle>({handle(front), handle(host)}));
    EXPECT_EQ(platform->class_name(handle(pane)), "EditorPane");
    EXPECT_EQ(platform->class_name(handle(plugin)), "ATEvoPluginWndClass");
    EXPECT_EQ(platform->root_ancestor(handle(plugin)), handle(host));
    EXPECT_EQ(platform->root_ancestor(handle(host)), handle(host));
}

TEST_F(PluginPlatformContract, DestroyedWindowLeavesTheTreeAndHasNoClassName)
{
    const WindowId toolbar = desktop->make_child(host, "Toolbar");
    const WindowId pane = desktop->make_child(host, "EditorPane");
    const WindowHandle closed = handle(toolbar);

    desktop->destroy_window(toolbar);

    EXPECT_EQ(platform->class_name(closed), "");
    EXPECT_EQ(children_of(handle(host)), std::vector<WindowHandle>({handle(pane)}));
}

TEST_F(PluginPlatformContract, PostedClicksAndKeysArriveInTheWindowInOrder)
{
    const WindowId plugin = desktop->make_child(host, "AT5PluginWnd");
    const std::uintptr_t position = 133u << 16 | 142u;

    for (const auto& [message, first, second] : {
             std::tuple{EmPluginPlatform::wm_lbuttondown, EmPluginPlatform::mk_lbutton, position},
             std::tuple{EmPluginPlatform::wm_lbuttonup, EmPluginPlatform::mk_lbutton, position},
             std::tuple{EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_down,
                        EmPluginPlatform::key_press_data},
             std::tuple{EmPluginPlatform::wm_keyup, EmPluginPlatform::vk_down,
                        EmPluginPlatform::key_release_data},
             std::tuple{EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_return,
                        EmPluginPlatform::key_release_data},
         }) {
        EXPECT_TRUE(platform->post_message(handle(plugin), message, first, second).ok);
    }

    EXPECT_EQ(desktop->take_deliveries(plugin),
              std::vector<Delivery>({{Delivery::Kind::button_press, 142, 133, {}},
                                     {Delivery::Kind::button_release, 142, 133, {}},
                                     {Delivery::Kind::key_press, 0, 0, "Down"},
                                     {Delivery::Kind::key_release, 0, 0, "Down"},
                                     {Delivery::Kind::key_press, 0, 0, "Return"}}));
    EXPECT_EQ(desktop->take_deliveries(host), std::vector<Delivery>());
}

TEST_F(PluginPlatformContract, HiddenOrMinimisedWindowIsShownAgainWhenRestored)
{
    platform->hide(handle(host));
    EXPECT_TRUE(desktop->becomes_visible(host, false));
    // A window manager gives up the frame of a withdrawn window a moment after it is unmapped.
    EXPECT_TRUE(wait_until(
        [&] { return top_levels_among({handle(host)}) == std::vector<WindowHandle>({handle(host)}); },
        std::chrono::seconds(10)))
        << "a hidden window is still in the tree";

    platform->show_restored(handle(host));
    EXPECT_TRUE(desktop->becomes_visible(host));

    if (!desktop->minimize(host)) {
        GTEST_SKIP() << "this desktop cannot minimise a window";
    }
    platform->show_restored(handle(host));
    EXPECT_TRUE(desktop->becomes_visible(host));
}

TEST_F(PluginPlatformContract, ScreenResolutionIsTheDesktopsSetting)
{
    for (int dpi : {144, 96}) {
        if (!desktop->set_screen_dpi(dpi)) {
            GTEST_SKIP() << "this desktop's resolution cannot be set";
        }
        EXPECT_EQ(platform->screen_dpi(), dpi);
    }
}
