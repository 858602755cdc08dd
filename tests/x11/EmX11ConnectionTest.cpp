#include "EmX11PlayerPlatform.h"
#include "EmX11PluginPlatform.h"
#include "X11WindowClient.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A display number nobody uses, picked from a range far above what -displayfd hands out, and
// spread by process id so that tests running side by side do not pick the same one.
std::string unused_display()
{
    for (int number = 1000 + getpid() % 20000;; ++number) {
        struct stat lock;
        if (stat(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), &lock) != 0) {
            return ":" + std::to_string(number);
        }
    }
}

std::size_t windows_of(EmPlayerPlatform& platform, std::uint32_t process)
{
    std::size_t count = 0;
    for (const EmPlayerPlatform::Window& window : platform.list_top_level_windows()) {
        count += window.process_id == process;
    }
    return count;
}

class EmX11ConnectionTest : public testing::Test
{
protected:
    // Writing to a server that is gone would otherwise end the test.
    void SetUp() override { signal(SIGPIPE, SIG_IGN); }

    const std::string display = unused_display();
    XvfbServer server;
};

} // namespace

TEST_F(EmX11ConnectionTest, WithoutADisplayThereAreNoWindowsButTheRestWorks)
{
    EmX11PlayerPlatform players("/proc", display);
    EmX11PluginPlatform plugins(display);

    EXPECT_TRUE(players.list_top_level_windows().empty());
    ASSERT_TRUE(players.list_processes().has_value());
    EXPECT_FALSE(players.list_processes()->empty());
    EXPECT_EQ(plugins.next_child(EmPluginPlatform::no_window, EmPluginPlatform::no_window),
              EmPluginPlatform::no_window);
    EXPECT_EQ(plugins.class_name(0x400001), "");
    EXPECT_FALSE(plugins.post_message(0x400001, EmPluginPlatform::wm_lbuttondown, 1, 0).ok);
    EXPECT_EQ(plugins.root_ancestor(0x400001), EmPluginPlatform::no_window);
    EXPECT_EQ(plugins.screen_dpi(), 96);
}

TEST_F(EmX11ConnectionTest, ServerThatAppearsIsUsedOnceTheRetryIntervalHasPassed)
{
    EmX11PlayerPlatform players("/proc", display, 2000ms);
    // The attempt is made somewhere between the two, however long a loaded machine takes.
    const Clock::time_point before_attempt = Clock::now();
    EXPECT_TRUE(players.list_top_level_windows().empty());
    const Clock::time_point after_attempt = Clock::now();

    server.start(display);
    X11WindowClient player("KuGou.exe", display);
    player.make_top_level("kugou_ui", "", 0);
    if (Clock::now() - before_attempt < 1900ms) {
        EXPECT_EQ(windows_of(players, player.pid()), 0u) << "reconnected before the retry interval";
    }

    std::this_thread::sleep_until(after_attempt + 2100ms);
    EXPECT_EQ(windows_of(players, player.pid()), 1u);
}

TEST_F(EmX11ConnectionTest, LostServerIsReplacedByTheNextOneOnTheDisplay)
{
    server.start(display);
    EmX11PlayerPlatform players("/proc", display, 300ms);
    EmX11PluginPlatform plugins(display, 300ms);
    {
        X11WindowClient player("KuGou.exe", display);
        player.make_top_level("kugou_ui", "", 0);
        ASSERT_EQ(windows_of(players, player.pid()), 1u);
        ASSERT_NE(plugins.next_child(EmPluginPlatform::no_window, EmPluginPlatform::no_window),
                  EmPluginPlatform::no_window);
    }

    server.stop();
    EXPECT_TRUE(players.list_top_level_windows().empty());
    EXPECT_EQ(plugins.next_child(EmPluginPlatform::no_window, EmPluginPlatform::no_window),
              EmPluginPlatform::no_window);
    EXPECT_FALSE(
        plugins.post_message(0x400001, EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_down, 0).ok);

    server.start(display);
    X11WindowClient player("KuGou.exe", display);
    const X11WindowClient::WindowId window = player.make_top_level("ATEvoPluginWndClass", "", 0);
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(windows_of(players, player.pid()), 1u);
    EXPECT_EQ(plugins.class_name(window), "ATEvoPluginWndClass");
}
