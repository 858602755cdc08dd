// The whole road with the real program, as on a user's desktop: Kestrune runs as a process of
// its own on a virtual X server, beside a stand-in player and a stand-in plugin host (window
// clients), and talks to a scripted HTTPS key service. The test acts and looks only from
// outside: it changes the player's title, answers the lookups, clicks the auto-apply box, plays
// music into a sound server of its own and reads what the plugin window receives.

#include "ChildProcess.h"
#include "HttpsPeer.h"
#include "ListenClips.h"
#include "MainWindowProbe.h"
#include "PulseServer.h"
#include "RoadKeyService.h"
#include "WaitUntil.h"
#include "X11WindowClient.h"
#include "XvfbServer.h"
#include "zudata.pb.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using road::first_song;
using road::second_song;
using road::Song;

// Kestrune watches every process of the machine, not only the test's, and follows the first
// process it finds under a player's name. Other X11 tests' players go by other names; the roads,
// which all use this one, take turns (a resource lock in CMakeLists.txt), so the one Kestrune
// finds is this test's stand-in.
const std::string player_exe = "BaiduMusic.exe";
const std::string player_class = "#32770";

// Song, singer and the player's name, which Kestrune takes off.
std::string player_title(const Song& song)
{
    return song.name + " - " + song.singer + " - 千千音乐";
}

// A song the catalogue does not know: it is heard instead.
const Song unknown_song{"无名小调", "佚名", {}};

// One pop-up picked, as the plugin window receives it: a click on the pop-up, a Down press and
// release per step, and Return pressed alone.
void add_pick(std::vector<std::string>& events, const std::string& spot, int downs)
{
    events.push_back("press " + spot);
    events.push_back("release " + spot);
    for (int i = 0; i < downs; ++i) {
        events.push_back("keypress Down");
        events.push_back("keyrelease Down");
    }
    events.push_back("keypress Return");
}

// A key set in a version-6 plugin at 96 dots per inch, whose Scale pop-up is at (337, 28) and
// Key pop-up at (279, 28). A result row that is added checked hands its key over twice (as it is
// checked and again as it is added), so every answer sets its first key twice.
std::vector<std::string> key_set(int scale_downs, int key_downs, int times)
{
    std::vector<std::string> events;
    for (int time = 0; time < times; ++time) {
        add_pick(events, "337 28", scale_downs);
        add_pick(events, "279 28", key_downs);
    }
    return events;
}

std::vector<std::string> first_key_set(int scale_downs, int key_downs)
{
    return key_set(scale_downs, key_downs, 2);
}

class KestruneRoadTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        server.start();
        // The plugin's editor two levels down in its host's window, there before Kestrune starts.
        host = std::make_unique<X11WindowClient>("studio.exe", server.display());
        const X11WindowClient::WindowId frame = host->make_top_level("HostFrame", "Host", 0);
        plugin = host->make_child(host->make_child(frame, "EditorPane"), "ATEvoPluginWndClass");

        const std::string dir = home.path().toStdString();
        ChildProcess::Options options;
        options.path = KESTRUNE_PROGRAM;
        // The test's display, home and configuration, an empty place for the accompaniment
        // program's log (APPDATA), and the test's key service.
        options.environment = {"DISPLAY=" + server.display(),
                               "QT_QPA_PLATFORM=xcb",
                               "LANG=C.UTF-8",
                               "HOME=" + dir,
                               "XDG_CONFIG_HOME=" + dir + "/config",
                               "XDG_RUNTIME_DIR=" + dir,
                               "APPDATA=" + dir,
                               "KESTRUNE_API_URL=" + peer.base_url(),
                               "KESTRUNE_CA_FILE=" + HttpsPeer::ca_file()};
        options.working_directory = dir;
        options.log_path = dir + "/kestrune.log";
        kestrune = std::make_unique<ChildProcess>(options);
        probe = std::make_unique<MainWindowProbe>(server.display());
    }

    void TearDown() override
    {
        if (HasFailure() && kestrune && probe) {
            report();
        }
    }

    // What a failure needs to be understood: the program's output and its window, or the whole
    // screen when it shows none.
    void report()
    {
        const std::string picture = (std::filesystem::current_path() / "kestrune_road_failure.png").string();
        bool written = false;
        try {
            const xcb_window_t window = probe->find_main_window(static_cast<std::uint32_t>(kestrune->pid()));
            written = (window != XCB_WINDOW_NONE ? probe->grab_main_window(window) : probe->grab_screen())
                          .write_png(picture);
        } catch (const std::exception& error) {
            std::printf("no picture: %s\n", error.what());
        }
        std::printf("--- Kestrune (%s), %zu requests to the key service\n%s---\npicture: %s\n",
                    kestrune->running() ? "running" : kestrune->exit_description().c_str(),
                    peer.requests().size(), kestrune->log().c_str(),
                    written ? picture.c_str() : "not written");
    }

    // Waits for Kestrune's window and the plugin's green light, and ticks the auto-apply box.
    void switch_auto_apply_on()
    {
        const auto pid = static_cast<std::uint32_t>(kestrune->pid());
        xcb_window_t window = XCB_WINDOW_NONE;
        wait_until(
            [&] {
                return (window = probe->find_main_window(pid)) != XCB_WINDOW_NONE || !kestrune->running();
            },
            20s);
        ASSERT_NE(window, XCB_WINDOW_NONE)
            << "Kestrune showed no window; "
            << (kestrune->running() ? "it runs" : kestrune->exit_description());

        const std::string failure = probe->switch_auto_apply_on(window, 8s);
        ASSERT_TRUE(failure.empty()) << failure;
        EXPECT_TRUE(requests().empty()) << "a lookup before any player ran";
        EXPECT_TRUE(plugin_events(0).empty()) << "the plugin received input before any key was found";
    }

    std::vector<HttpsPeer::Request> requests() const { return peer.requests(); }

    // The events the plugin window has received until it has the number expected or the time
    // is up; an event for another of the host's windows counts, so that it shows in the result.
    std::vector<std::string> plugin_events(std::size_t expected, std::chrono::milliseconds within = 10s)
    {
        std::vector<std::string> events;
        wait_until(
            [&] {
                for (const X11WindowClient::Event& event : host->take_events()) {
                    events.push_back(event.window == plugin ? event.description
                                                            : "to window " + std::to_string(event.window) +
                                                                  ": " + event.description);
                }
                return events.size() >= expected;
            },
            within);
        return events;
    }

    QTemporaryDir home;
    XvfbServer server{{"-dpi", "96"}};
    HttpsPeer peer{[](const HttpsPeer::Request& request, httplib::Response& response) {
        response.set_content(road::answer(request.body), "application/x-protobuf");
    }};
    std::unique_ptr<X11WindowClient> host;
    X11WindowClient::WindowId plugin = 0;
    std::unique_ptr<ChildProcess> kestrune;
    std::unique_ptr<X11WindowClient> player;
    std::unique_ptr<MainWindowProbe> probe;
    std::unique_ptr<PulseServer> sound;
};

} // namespace

TEST_F(KestruneRoadTest, SongChangesAreLookedUpAndTheirKeysSetInThePluginOnceAutoApplyIsOn)
{
    ASSERT_NO_FATAL_FAILURE(switch_auto_apply_on());

    player = std::make_unique<X11WindowClient>(player_exe, server.display());
    const X11WindowClient::WindowId player_window =
        player->make_top_level(player_class, player_title(first_song), 0);
    ASSERT_TRUE(wait_until([&] { return !requests().empty(); }, 10s))
        << "the player's song was not looked up";
    road::expect_lookup(requests().at(0), first_song, player_exe);
    // F# Minor: the second scale, the seventh key.
    EXPECT_EQ(plugin_events(first_key_set(2, 7).size()), first_key_set(2, 7));

    player->set_title(player_window, player_title(second_song));
    ASSERT_TRUE(wait_until([&] { return requests().size() >= 2; }, 10s)) << "the new song was not looked up";
    road::expect_lookup(requests().at(1), second_song, player_exe);
    // Bb Major: the first scale, the eleventh key.
    EXPECT_EQ(plugin_events(first_key_set(1, 11).size()), first_key_set(1, 11));
    EXPECT_EQ(requests().size(), 2u) << "each song is looked up once";
}

TEST_F(KestruneRoadTest, SongTheCatalogueDoesNotKnowIsHeardSetInThePluginAndProposedOnce)
{
    // The sound server where Kestrune looks for it by default, in its runtime directory. Kept by
    // the fixture, so that a failure's picture shows the window while the server still runs.
    const QString runtime = home.filePath(QStringLiteral("pulse"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    sound = std::make_unique<PulseServer>(runtime);
    PulseServer& pulse = *sound;
    ASSERT_TRUE(pulse.start());
    const QString clip = home.filePath(QStringLiteral("clip.wav"));
    ASSERT_TRUE(ListenClips::write(clip.toStdString(), ListenClips::render(ListenClips::song({9, true})), 2));
    ASSERT_NO_FATAL_FAILURE(switch_auto_apply_on());

    player = std::make_unique<X11WindowClient>(player_exe, server.display());
    player->make_top_level(player_class, player_title(unknown_song), 0);
    ASSERT_TRUE(wait_until([&] { return !requests().empty(); }, 10s))
        << "the player's song was not looked up";
    road::expect_lookup(requests().at(0), unknown_song, player_exe);
    pulse.play(clip);

    // A Minor: the second scale, the tenth key; handed over once, as soon as it is sure enough,
    // which takes some seconds of music.
    EXPECT_EQ(plugin_events(key_set(2, 10, 1).size(), 40s), key_set(2, 10, 1));
    ASSERT_TRUE(wait_until([&] { return requests().size() >= 2; }, 10s)) << "the heard key was not proposed";
    zudata::ZuRequest proposal;
    ASSERT_TRUE(proposal.ParseFromString(requests().at(1).body));
    EXPECT_EQ(requests().at(1).path, "/api/v1/emusic");
    EXPECT_EQ(proposal.cmd(), zudata::CMD_EM_ADD);
    EXPECT_EQ(proposal.emusic().music_name(), unknown_song.name);
    EXPECT_EQ(proposal.emusic().music_author(), unknown_song.singer);
    EXPECT_EQ(proposal.emusic().music_keynote(), "A Minor");
    EXPECT_EQ(proposal.emusic().music_process(), player_exe);

    // The rest of the song hands over and proposes nothing more.
    EXPECT_TRUE(plugin_events(1).empty());
    EXPECT_EQ(requests().size(), 2u);
}
