#include "DesktopDriver.h"
#include "EmPluginControl.h"
#include "ZuDataBus.h"

#include <QSignalSpy>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using testing::IsEmpty;
using Delivery = DesktopDriver::Delivery;
using WindowId = DesktopDriver::WindowId;

// A click on a pop-up, a Down key press and release per step, and Enter pressed only.
void add_pick(std::vector<Delivery>& deliveries, int x, int y, int downs)
{
    deliveries.push_back({Delivery::Kind::button_press, x, y, {}});
    deliveries.push_back({Delivery::Kind::button_release, x, y, {}});
    for (int i = 0; i < downs; ++i) {
        deliveries.push_back({Delivery::Kind::key_press, 0, 0, "Down"});
        deliveries.push_back({Delivery::Kind::key_release, 0, 0, "Down"});
    }
    deliveries.push_back({Delivery::Kind::key_press, 0, 0, "Return"});
}

// The plugin controller driving the plugin's window on the driver's desktop.
class PluginControlContract : public testing::Test
{
protected:
    // A host program with the plugin's editor two levels down, next to a toolbar.
    WindowId open_host_with_plugin(const std::string& plugin_class)
    {
        host = desktop->make_top_level(host_process, "HostFrame", "Host");
        desktop->make_child(host, "Toolbar");
        pane = desktop->make_child(host, "EditorPane");
        return desktop->make_child(pane, plugin_class);
    }

    std::pair<bool, QString> detect()
    {
        QSignalSpy spy(ZuDataBus::instance(), &ZuDataBus::emusic_plugin_enable);
        control.dect_plugin();
        if (spy.size() != 1) {
            ADD_FAILURE() << "detection announced " << spy.size() << " times";
            return {false, "?"};
        }
        return {spy.at(0).at(0).toBool(), spy.at(0).at(1).toString()};
    }

    std::unique_ptr<DesktopDriver> desktop = make_desktop_driver();
    EmPluginControl control{desktop->plugin_platform()};
    DesktopDriver::ProcessId host_process = desktop->start_process("studio.exe");
    WindowId host = DesktopDriver::no_window;
    WindowId pane = DesktopDriver::no_window;
};

} // namespace

TEST_F(PluginControlContract, EvoPluginNestedInAHostIsFoundAsVersion6)
{
    open_host_with_plugin("ATEvoPluginWndClass");

    EXPECT_EQ(detect(), std::make_pair(true, QStringLiteral("6")));
}

TEST_F(PluginControlContract, At5PluginDeepInAnotherTreeIsFoundAsVersion5)
{
    const WindowId other = desktop->make_top_level(host_process, "Palette", "Palette");
    desktop->make_child(desktop->make_child(other, "Panel"), "Button");
    const WindowId rack = desktop->make_top_level(host_process, "Rack", "Rack");
    desktop->make_child(desktop->make_child(desktop->make_child(rack, "Slot"), "Insert"), "AT5PluginWnd");

    EXPECT_EQ(detect(), std::make_pair(true, QStringLiteral("5")));
}

TEST_F(PluginControlContract, WithTwoHostsThePluginOfTheBackOneWins)
{
    open_host_with_plugin("AT5PluginWnd");
    const WindowId front = desktop->make_top_level(host_process, "HostFrame", "Second host");
    desktop->make_child(desktop->make_child(front, "EditorPane"), "ATEvoPluginWndClass");

    // The search meets the front host first, and the last plugin found is kept.
    EXPECT_EQ(detect(), std::make_pair(true, QStringLiteral("5")));
}

TEST_F(PluginControlContract, ClosedPluginIsNoLongerFound)
{
    open_host_with_plugin("ATEvoPluginWndClass");
    ASSERT_TRUE(detect().first);

    desktop->destroy_window(host);

    EXPECT_EQ(detect(), std::make_pair(false, QString()));
}

TEST_F(PluginControlContract, KeynoteArrivesAsClicksAndKeyPressesInThePluginWindow)
{
    const WindowId plugin = open_host_with_plugin("ATEvoPluginWndClass");
    control.toggle_scale_compensation();
    control.set_auto_apply(true);

    control.update_key_string(QStringLiteral("F# Minor"));

    std::vector<Delivery> expected;
    add_pick(expected, 337, 28, 2);
    add_pick(expected, 279, 28, 7);
    EXPECT_EQ(desktop->take_deliveries(plugin), expected);
    EXPECT_THAT(desktop->take_deliveries(pane), IsEmpty());
    EXPECT_THAT(desktop->take_deliveries(host), IsEmpty());
}

TEST_F(PluginControlContract, ClickPositionsFollowTheScreenResolution)
{
    if (!desktop->set_screen_dpi(120)) {
        GTEST_SKIP() << "this desktop's resolution cannot be set";
    }
    const WindowId plugin = open_host_with_plugin("AT5PluginWnd");
    control.set_auto_apply(true);

    control.update_key_string(QStringLiteral("C Major"));

    std::vector<Delivery> expected;
    add_pick(expected, 177, 166, 1);
    add_pick(expected, 57, 166, 1);
    EXPECT_EQ(desktop->take_deliveries(plugin), expected);
}

TEST_F(PluginControlContract, HidingAndShowingActOnThePluginsTopLevelWindow)
{
    const WindowId plugin = open_host_with_plugin("ATEvoPluginWndClass");
    ASSERT_TRUE(detect().first);

    control.show_plugin(false);
    EXPECT_TRUE(desktop->becomes_visible(host, false));
    EXPECT_TRUE(desktop->is_visible(plugin));

    control.show_plugin(true);
    EXPECT_TRUE(desktop->becomes_visible(host));
}
