#include "EmX11PluginPlatform.h"
#include "X11TestConnection.h"
#include "X11WindowClient.h"
#include "XvfbServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using WindowHandle = EmPluginPlatform::WindowHandle;

constexpr std::uint32_t bad_value = 2;
constexpr std::uint32_t bad_window = 3;

class EmX11PluginPlatformTest : public testing::Test
{
protected:
    void SetUp() override
    {
        server.start();
        test = std::make_unique<X11TestConnection>(server.display());
        host = std::make_unique<X11WindowClient>("studio.exe", server.display());
        platform = std::make_unique<EmX11PluginPlatform>(server.display());
    }

    std::vector<std::string> received()
    {
        std::vector<std::string> events;
        for (const X11WindowClient::Event& event : host->take_events()) {
            events.push_back(std::to_string(event.window) + " " + event.description);
        }
        return events;
    }

    XvfbServer server{{"-dpi", "144"}};
    std::unique_ptr<X11TestConnection> test;
    std::unique_ptr<X11WindowClient> host;
    std::unique_ptr<EmX11PluginPlatform> platform;
};

} // namespace

TEST_F(EmX11PluginPlatformTest, ClicksCarryTheirSignedPositionAndGoToTheWindowItself)
{
    const X11WindowClient::WindowId frame = host->make_top_level("HostFrame", "", 0);
    const X11WindowClient::WindowId plugin = host->make_child(frame, "ATEvoPluginWndClass");

    EXPECT_TRUE(platform->post_message(plugin, EmPluginPlatform::wm_lbuttondown, 1, 28u << 16 | 337).ok);
    EXPECT_TRUE(platform->post_message(plugin, EmPluginPlatform::wm_lbuttonup, 1, 0xFFFEFFFF).ok);

    const std::string id = std::to_string(plugin);
    EXPECT_THAT(received(), ElementsAre(id + " press 337 28", id + " release -1 -2"));
}

TEST_F(EmX11PluginPlatformTest, PostToAWindowThatIsGoneFailsWithBadWindow)
{
    const X11WindowClient::WindowId frame = host->make_top_level("HostFrame", "", 0);
    host->destroy(frame);

    for (std::uint32_t message : {EmPluginPlatform::wm_lbuttondown, EmPluginPlatform::wm_keyup}) {
        const EmPluginPlatform::PostResult result =
            platform->post_message(frame, message, EmPluginPlatform::vk_down, 0x00100010);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, bad_window);
    }
    EXPECT_EQ(platform->post_message(0xFFFFFFFFFF, EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_down, 0)
                  .error,
              bad_window);
}

TEST_F(EmX11PluginPlatformTest, MessagesAndKeysWithoutAnXCounterpartFailWithBadValueAndSendNothing)
{
    const X11WindowClient::WindowId frame = host->make_top_level("HostFrame", "", 0);
    const std::uint32_t wm_rbuttondown = 0x0204;
    const std::uintptr_t vk_a = 0x41;

    const EmPluginPlatform::PostResult right_click = platform->post_message(frame, wm_rbuttondown, 2, 0);
    const EmPluginPlatform::PostResult letter =
        platform->post_message(frame, EmPluginPlatform::wm_keydown, vk_a, 0);

    EXPECT_FALSE(right_click.ok);
    EXPECT_EQ(right_click.error, bad_value);
    EXPECT_FALSE(letter.ok);
    EXPECT_EQ(letter.error, bad_value);
    EXPECT_THAT(received(), IsEmpty());
}

TEST_F(EmX11PluginPlatformTest, EnumerationWalksTheChildrenTopFirstAsTheyWereWhenItStarted)
{
    // The client puts every new child behind its siblings.
    const X11WindowClient::WindowId frame = host->make_top_level("HostFrame", "", 0);
    const X11WindowClient::WindowId first = host->make_child(frame, "Toolbar");
    const X11WindowClient::WindowId second = host->make_child(frame, "EditorPane");

    ASSERT_EQ(platform->next_child(frame, EmPluginPlatform::no_window), first);
    const X11WindowClient::WindowId late = host->make_child(frame, "Late");
    EXPECT_EQ(platform->next_child(frame, first), second);
    EXPECT_EQ(platform->next_child(frame, second), EmPluginPlatform::no_window);

    EXPECT_EQ(platform->next_child(frame, EmPluginPlatform::no_window), first);
    EXPECT_EQ(platform->next_child(frame, second), late);
    // A window that is not among the children ends the enumeration.
    EXPECT_EQ(platform->next_child(frame, frame), EmPluginPlatform::no_window);
}

TEST_F(EmX11PluginPlatformTest, RootAncestorIsTheWindowJustBelowTheRoot)
{
    const X11WindowClient::WindowId frame = host->make_top_level("HostFrame", "", 0);
    const X11WindowClient::WindowId pane = host->make_child(frame, "EditorPane");
    const X11WindowClient::WindowId plugin = host->make_child(pane, "AT5PluginWnd");

    EXPECT_EQ(platform->root_ancestor(plugin), frame);
    EXPECT_EQ(platform->root_ancestor(test->root()), EmPluginPlatform::no_window);
    EXPECT_EQ(platform->root_ancestor(EmPluginPlatform::no_window), EmPluginPlatform::no_window);
    host->destroy(frame);
    EXPECT_EQ(platform->root_ancestor(plugin), EmPluginPlatform::no_window);
}

TEST_F(EmX11PluginPlatformTest, DpiComesFromXftDpiElseFromTheScreenSize)
{
    EXPECT_EQ(platform->screen_dpi(), 144);

    test->set_text(test->root(), "RESOURCE_MANAGER", "STRING", "Xft.antialias:\t1\nXft.dpi:\t110.6\n");
    EXPECT_EQ(platform->screen_dpi(), 111);

    test->set_text(test->root(), "RESOURCE_MANAGER", "STRING", "Xcursor.size:\t24\n");
    EXPECT_EQ(platform->screen_dpi(), 144);
}
