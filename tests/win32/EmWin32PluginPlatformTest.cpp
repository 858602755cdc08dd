#include "EmWin32PluginPlatform.h"
#include "ExpectedPosts.h"
#include "HelperProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using WindowHandle = EmPluginPlatform::WindowHandle;
using Message = MessageRecord::Message;

WindowHandle to_handle(HWND window)
{
    return reinterpret_cast<WindowHandle>(window);
}

struct Found
{
    WindowHandle window = EmPluginPlatform::no_window;
    std::string class_name;
};

// The controller's search: depth first from the desktop; a plugin window ends the walk of its own
// level only, and the last one reached is kept.
void search(EmPluginPlatform& platform, WindowHandle parent, Found& found)
{
    for (WindowHandle child = platform.next_child(parent, EmPluginPlatform::no_window);
         child != EmPluginPlatform::no_window; child = platform.next_child(parent, child)) {
        const std::string class_name = platform.class_name(child);
        if (class_name == "AT5PluginWnd" || class_name == "ATEvoPluginWndClass") {
            found = {child, class_name};
            return;
        }
        search(platform, child, found);
    }
}

Found search_desktop(EmPluginPlatform& platform)
{
    Found found;
    search(platform, EmPluginPlatform::no_window, found);
    return found;
}

// A plugin host with an Evo plugin window as a direct child of host A, and an Auto-Tune 5
// window three levels down in host B.
class EmWin32PluginPlatformTest : public ::testing::Test
{
protected:
    EmWin32PluginPlatform platform;
    HelperProcess host{"AutoTuneHost.exe"};
    const HWND host_b = host.make_top_level("KestruneHostB", "Host B");
    const HWND at5 = host.make_child(
        host.make_child(host.make_child(host_b, "KestrunePanel"), "KestrunePanel"), "AT5PluginWnd");
    const HWND host_a = host.make_top_level("KestruneHostA", "Host A");
    const HWND toolbar = host.make_child(host_a, "KestruneToolbar");
    const HWND evo = host.make_child(host_a, "ATEvoPluginWndClass");
};

} // namespace

TEST_F(EmWin32PluginPlatformTest, SearchFromTheDesktopKeepsTheLastPluginWindowInTreeOrder)
{
    host.raise(host_a);
    Found found = search_desktop(platform);
    EXPECT_EQ(found.class_name, "AT5PluginWnd");
    EXPECT_EQ(found.window, to_handle(at5));

    host.raise(host_b);
    found = search_desktop(platform);
    EXPECT_EQ(found.class_name, "ATEvoPluginWndClass");
    EXPECT_EQ(found.window, to_handle(evo));
}

TEST_F(EmWin32PluginPlatformTest, ChildrenComeInTheirOrderAndEndWithNoWindow)
{
    EXPECT_EQ(platform.next_child(to_handle(host_a), EmPluginPlatform::no_window), to_handle(toolbar));
    EXPECT_EQ(platform.next_child(to_handle(host_a), to_handle(toolbar)), to_handle(evo));
    EXPECT_EQ(platform.next_child(to_handle(host_a), to_handle(evo)), EmPluginPlatform::no_window);
    EXPECT_EQ(platform.next_child(to_handle(evo), EmPluginPlatform::no_window), EmPluginPlatform::no_window);
    EXPECT_EQ(platform.class_name(to_handle(toolbar)), "KestruneToolbar");
}

TEST_F(EmWin32PluginPlatformTest, PostedFSharpMinorArrivesExactlyAsPosted)
{
    // "F# Minor": the Scale pop-up picked with 2 Down presses, the Key pop-up with 7, at the Evo
    // positions.
    std::vector<Message> sent;
    for (const expected::Post& post :
         expected::apply(to_handle(evo), expected::v2_scale, 2, expected::v2_key, 7)) {
        const EmPluginPlatform::PostResult result =
            platform.post_message(post.window, post.message, post.first, post.second);
        EXPECT_TRUE(result.ok) << "error " << result.error;
        sent.push_back({post.message, post.first, post.second});
    }

    const std::vector<Message> received = host.record().input_until_marker(evo);
    EXPECT_EQ(received, sent);
    // The click position and the key data as the plugin unpacks them.
    ASSERT_EQ(received.size(), 2 + 2 * 2 + 1 + 2 + 2 * 7 + 1u);
    EXPECT_EQ(received[0], (Message{WM_LBUTTONDOWN, MK_LBUTTON, 28 * 65536 + 337}));
    EXPECT_EQ(received[1], (Message{WM_LBUTTONUP, MK_LBUTTON, 28 * 65536 + 337}));
    EXPECT_EQ(received[2], (Message{WM_KEYDOWN, VK_DOWN, 0x00010001}));
    EXPECT_EQ(received[3], (Message{WM_KEYUP, VK_DOWN, 0xC0010001}));
    EXPECT_EQ(received[6], (Message{WM_KEYDOWN, VK_RETURN, 0xC0010001}));
    EXPECT_EQ(received[7], (Message{WM_LBUTTONDOWN, MK_LBUTTON, 28 * 65536 + 279}));
    EXPECT_TRUE(host.record().input_until_marker(host_a).empty());
    EXPECT_TRUE(host.record().input_until_marker(at5).empty());
}

TEST_F(EmWin32PluginPlatformTest, PostToAClosedWindowReportsTheSystemError)
{
    host.destroy(toolbar);

    const EmPluginPlatform::PostResult result =
        platform.post_message(to_handle(toolbar), EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_return,
                              EmPluginPlatform::key_release_data);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, static_cast<std::uint32_t>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(platform.class_name(to_handle(toolbar)), "");
    EXPECT_EQ(platform.root_ancestor(to_handle(toolbar)), EmPluginPlatform::no_window);
}

TEST_F(EmWin32PluginPlatformTest, HideAndRestoreActOnTheRootWindow)
{
    const WindowHandle root = platform.root_ancestor(to_handle(evo));
    EXPECT_EQ(root, to_handle(host_a));
    EXPECT_EQ(platform.root_ancestor(to_handle(at5)), to_handle(host_b));
    EXPECT_EQ(platform.root_ancestor(root), root);

    platform.hide(root);
    EXPECT_FALSE(IsWindowVisible(host_a));
    EXPECT_FALSE(IsWindowVisible(evo));
    EXPECT_TRUE(IsWindowVisible(host_b));

    ShowWindow(host_a, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(host_a));
    platform.show_restored(root);
    EXPECT_TRUE(IsWindowVisible(host_a));
    EXPECT_FALSE(IsIconic(host_a));
    EXPECT_TRUE(IsWindowVisible(evo));
}

TEST(EmWin32PluginPlatformScreenTest, DpiIsTheScreensLogicalResolution)
{
    // The build's emulator makes its Wine prefix at this resolution and says which one here.
    const char* configured = std::getenv("KESTRUNE_WINE_DPI");
    if (configured == nullptr) {
        GTEST_SKIP() << "KESTRUNE_WINE_DPI is not set";
    }
    EmWin32PluginPlatform platform;
    EXPECT_EQ(platform.screen_dpi(), std::atoi(configured));
}
