// The whole road with the installed Windows program under Wine, looked at from outside as on a
// user's desktop: Kestrune.exe beside a stand-in player and a stand-in plugin host (copies of the
// Windows helper program, whose windows write down every message they receive) on the test's X
// server, talking to a scripted HTTPS key service. scripts/test-windows installs the program and
// runs this with KESTRUNE_WINE_ARCH, KESTRUNE_WINE_PROGRAM (the installed Kestrune.exe),
// KESTRUNE_WINE_HELPER (the built helper program), WINEPREFIX (made at 96 dots per inch), WINEPATH
// and DISPLAY set; with KESTRUNE_WINE_SCREENSHOT naming a PNG file, the window is pictured there
// once both songs have been set in the plugin.

#include "ChildProcess.h"
#include "ExpectedPosts.h"
#include "HttpsPeer.h"
#include "MainWindowProbe.h"
#include "RoadKeyService.h"
#include "WaitUntil.h"
#include "WineHelper.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using road::first_song;
using road::second_song;
using road::Song;

const std::string player_exe = "KuGou.exe";

// The singer first and the player's name last, as that player shows a song.
std::string player_title(const Song& song)
{
    return song.singer + " - " + song.name + " - 酷狗音乐 ";
}

std::string setting(const char* name)
{
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : value;
}

bool is_input(std::uint32_t message)
{
    return (message >= 0x0100 && message <= 0x0109) || (message >= 0x0200 && message <= 0x020e);
}

class WineRoadTest : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"KESTRUNE_WINE_ARCH", "KESTRUNE_WINE_PROGRAM", "KESTRUNE_WINE_HELPER",
                                 "WINEPREFIX", "DISPLAY"}) {
            ASSERT_FALSE(setting(name).empty()) << name << " is not set: scripts/test-windows runs this test";
        }
        // The plugin's editor two levels down in its host's window, there before Kestrune starts.
        host = std::make_unique<WineHelper>(arch, setting("KESTRUNE_WINE_HELPER"), "studio.exe");
        host_frame = host->make_top_level("HostFrame", "Host");
        plugin = host->make_child(host->make_child(host_frame, "EditorPane"), "ATEvoPluginWndClass");
        probe = std::make_unique<MainWindowProbe>(setting("DISPLAY"));
    }

    void TearDown() override
    {
        if (HasFailure() && kestrune) {
            std::printf("--- Kestrune.exe (%s), %zu requests to the key service\n%s---\n",
                        kestrune->running() ? "running" : kestrune->exit_description().c_str(),
                        peer.requests().size(), kestrune->log().c_str());
        }
    }

    void start_kestrune(const std::string& service_url)
    {
        ChildProcess::Options options;
        options.path = KESTRUNE_SOURCE_DIR "/scripts/wine-windows";
        options.arguments = {options.path, "--arch", arch, setting("KESTRUNE_WINE_PROGRAM")};
        options.environment = {"KESTRUNE_API_URL=" + service_url,
                               "KESTRUNE_CA_FILE=Z:" + HttpsPeer::ca_file()};
        options.log_path = (std::filesystem::temp_directory_path() / "kestrune-wine-road.log").string();
        kestrune = std::make_unique<ChildProcess>(options);
    }

    xcb_window_t main_window()
    {
        const auto pid = static_cast<std::uint32_t>(kestrune->pid());
        xcb_window_t window = XCB_WINDOW_NONE;
        wait_until(
            [&] {
                return (window = probe->find_main_window(pid)) != XCB_WINDOW_NONE || !kestrune->running();
            },
            90s);
        return window;
    }

    std::vector<HttpsPeer::Request> requests() const { return peer.requests(); }

    // What the host's top-level window has been told of its visibility (WM_SHOWWINDOW), in order.
    std::vector<bool> host_visibility() const
    {
        std::vector<bool> changes;
        for (const WineHelper::Message& message : host->messages()) {
            if (message.window == host_frame && message.message == 0x0018) {
                changes.push_back(message.first != 0);
            }
        }
        return changes;
    }

    // The keyboard and mouse messages the host's windows have received until the plugin has the
    // number expected or the time is up; those to other windows count, so that they show.
    std::vector<expected::Post> plugin_input(std::size_t expected)
    {
        std::vector<expected::Post> input;
        wait_until(
            [&] {
                input.clear();
                for (const WineHelper::Message& message : host->messages()) {
                    if (is_input(message.message)) {
                        input.push_back({static_cast<expected::WindowHandle>(message.window), message.message,
                                         static_cast<std::uintptr_t>(message.first),
                                         static_cast<std::uintptr_t>(message.second)});
                    }
                }
                return input.size() >= expected;
            },
            15s);
        return input;
    }

    // A result row that is added checked hands its key over twice (as it is checked and again
    // as it is added), so every answer sets its first key twice; the points are the version-6
    // plugin's at 96 dots per inch.
    std::vector<expected::Post> first_key_set(int scale_downs, int key_downs) const
    {
        const auto window = static_cast<expected::WindowHandle>(plugin);
        std::vector<expected::Post> posts;
        for (int time = 0; time < 2; ++time) {
            expected::add_pick(posts, window, expected::v2_scale, scale_downs);
            expected::add_pick(posts, window, expected::v2_key, key_downs);
        }
        return posts;
    }

    const std::string arch = setting("KESTRUNE_WINE_ARCH");
    HttpsPeer peer{[](const HttpsPeer::Request& request, httplib::Response& response) {
        response.set_header("Set-Cookie", "road=1; Path=/");
        response.set_content(road::answer(request.body), "application/x-protobuf");
    }};
    std::unique_ptr<WineHelper> host;
    WineHelper::Window host_frame = 0;
    WineHelper::Window plugin = 0;
    std::unique_ptr<MainWindowProbe> probe;
    std::unique_ptr<ChildProcess> kestrune;
};

} // namespace

TEST_F(WineRoadTest, SongChangesAreLookedUpTheirKeysPostedToThePluginTheHostHiddenAndTheCookieKept)
{
    start_kestrune(peer.base_url());
    const xcb_window_t window = main_window();
    ASSERT_NE(window, XCB_WINDOW_NONE) << "Kestrune.exe showed no window; "
                                       << (kestrune->running() ? "it runs" : kestrune->exit_description());

    const std::string failure = probe->switch_auto_apply_on(window, 15s);
    ASSERT_TRUE(failure.empty()) << failure;
    EXPECT_TRUE(requests().empty()) << "a lookup before any player ran";
    EXPECT_TRUE(plugin_input(0).empty()) << "the plugin received input before any key was found";

    WineHelper player(arch, setting("KESTRUNE_WINE_HELPER"), player_exe);
    const WineHelper::Window player_window = player.make_top_level("kugou_ui", player_title(first_song));
    ASSERT_TRUE(wait_until([&] { return !requests().empty(); }, 15s))
        << "the player's song was not looked up";
    road::expect_lookup(requests().at(0), first_song, player_exe);
    EXPECT_FALSE(requests().at(0).has_header("Cookie"));
    // F# Minor: the second scale, the seventh key.
    EXPECT_EQ(plugin_input(first_key_set(2, 7).size()), first_key_set(2, 7));

    player.set_title(player_window, player_title(second_song));
    ASSERT_TRUE(wait_until([&] { return requests().size() >= 2; }, 15s)) << "the new song was not looked up";
    road::expect_lookup(requests().at(1), second_song, player_exe);
    EXPECT_EQ(requests().at(1).header("Cookie"), "road=1");
    std::vector<expected::Post> both = first_key_set(2, 7);
    // Bb Major: the first scale, the eleventh key.
    for (const expected::Post& post : first_key_set(1, 11)) {
        both.push_back(post);
    }
    EXPECT_EQ(plugin_input(both.size()), both);
    EXPECT_TRUE(kestrune->running()) << kestrune->exit_description();
    const std::string screenshot = setting("KESTRUNE_WINE_SCREENSHOT");
    if (!screenshot.empty()) {
        EXPECT_TRUE(probe->grab_main_window(window).write_png(screenshot)) << screenshot;
    }

    // The hide box hides the host's whole window, and shows it again.
    ASSERT_EQ(host_visibility(), std::vector<bool>{true});
    probe->click_hide_plugin(window);
    EXPECT_TRUE(wait_until(
        [&] {
            return host_visibility() == std::vector<bool>{true, false};
        },
        10s))
        << "the host's window was not hidden";
    probe->click_hide_plugin(window);
    EXPECT_TRUE(wait_until(
        [&] {
            return host_visibility() == std::vector<bool>{true, false, true};
        },
        10s))
        << "the host's window was not shown again";

    // The cookie is kept in em.db: the program started again sends it with its first lookup.
    kestrune->stop();
    start_kestrune(peer.base_url());
    ASSERT_NE(main_window(), XCB_WINDOW_NONE) << "Kestrune.exe showed no window after the restart";
    ASSERT_TRUE(wait_until([&] { return requests().size() >= 3; }, 20s))
        << "the program started again did not look the song up";
    road::expect_lookup(requests().at(2), second_song, player_exe);
    EXPECT_EQ(requests().at(2).header("Cookie"), "road=1");
}

TEST_F(WineRoadTest, UnreachableServiceIsReportedAsANetworkFailure)
{
    // Nothing listens on port 1, so the connection is refused at once.
    start_kestrune("https://127.0.0.1:1");
    ASSERT_NE(main_window(), XCB_WINDOW_NONE)
        << "Kestrune.exe showed no window; "
        << (kestrune->running() ? "it runs" : kestrune->exit_description());
    WineHelper player(arch, setting("KESTRUNE_WINE_HELPER"), player_exe);
    player.make_top_level("kugou_ui", player_title(first_song));
    // The error box is found by what it says: its title follows its texts.
    const auto pid = static_cast<std::uint32_t>(kestrune->pid());
    EXPECT_TRUE(wait_until(
        [&] { return probe->find_window(pid, "貌似出了点问题：网络请求失败") != XCB_WINDOW_NONE; }, 30s))
        << "no error box saying 网络请求失败";
    EXPECT_TRUE(kestrune->running()) << kestrune->exit_description();
}
