#include "DesktopDriver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testing::ElementsAre;
using testing::UnorderedElementsAre;
using ProcessId = DesktopDriver::ProcessId;

// A listed window as one line, so that a failure shows the whole listing readably.
std::string describe(const EmPlayerPlatform::Window& window)
{
    return std::to_string(window.process_id) + (window.has_owner ? " owned " : " ") + window.class_name +
           " \"" + window.title + "\"";
}

std::string describe(ProcessId process, const std::string& class_name, const std::string& title,
                     bool owned = false)
{
    return describe(EmPlayerPlatform::Window{process, owned, class_name, title});
}

std::string repeated(const std::string& text, int count)
{
    std::string result;
    for (int i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

class PlayerPlatformContract : public testing::Test
{
protected:
    std::vector<std::string> processes_named(const std::string& exe_name)
    {
        const auto processes = platform->list_processes();
        EXPECT_TRUE(processes.has_value());
        std::vector<std::string> found;
        for (const EmPlayerPlatform::Process& process :
             processes.value_or(std::vector<EmPlayerPlatform::Process>{})) {
            if (process.exe_name == exe_name) {
                found.push_back(process.exe_name + " " + std::to_string(process.id));
            }
        }
        return found;
    }

    // The process's windows as the platform lists them, front to back.
    std::vector<std::string> windows_of(ProcessId process)
    {
        std::vector<std::string> found;
        for (const EmPlayerPlatform::Window& window : platform->list_top_level_windows()) {
            if (window.process_id == process) {
                found.push_back(describe(window));
            }
        }
        return found;
    }

    std::unique_ptr<DesktopDriver> desktop = make_desktop_driver();
    std::shared_ptr<EmPlayerPlatform> platform = desktop->player_platform();
};

} // namespace

TEST_F(PlayerPlatformContract, ProcessesAreListedUnderTheirExecutableNameUntilTheyStop)
{
    const ProcessId first = desktop->start_process("KuGou.exe");
    const ProcessId second = desktop->start_process("KuGou.exe");
    const ProcessId other = desktop->start_process("QQMusic.exe");

    EXPECT_THAT(processes_named("KuGou.exe"), UnorderedElementsAre("KuGou.exe " + std::to_string(first),
                                                                   "KuGou.exe " + std::to_string(second)));
    EXPECT_THAT(processes_named("QQMusic.exe"), ElementsAre("QQMusic.exe " + std::to_string(other)));

    desktop->stop_process(first);
    EXPECT_THAT(processes_named("KuGou.exe"), ElementsAre("KuGou.exe " + std::to_string(second)));
}

TEST_F(PlayerPlatformContract, TopLevelWindowsAreListedFrontToBackWithProcessClassAndTitle)
{
    const ProcessId player = desktop->start_process("KuGou.exe");
    const ProcessId other = desktop->start_process("QQMusic.exe");
    desktop->make_top_level(player, "kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ");
    desktop->make_top_level(other, "TXGuiFoundation", "晴天 - 周杰伦");
    desktop->make_top_level(player, "kugou_lyric", "");

    EXPECT_THAT(windows_of(player), ElementsAre(describe(player, "kugou_lyric", ""),
                                                describe(player, "kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ")));
    EXPECT_THAT(windows_of(other), ElementsAre(describe(other, "TXGuiFoundation", "晴天 - 周杰伦")));
}

TEST_F(PlayerPlatformContract, OwnedWindowIsMarkedAndItsOwnerIsNot)
{
    const ProcessId player = desktop->start_process("QQMusic.exe");
    const DesktopDriver::WindowId main = desktop->make_top_level(player, "TXGuiFoundation", "晴天 - 周杰伦");
    desktop->make_top_level(player, "TXGuiFoundation", "设置", main);

    EXPECT_THAT(windows_of(player), UnorderedElementsAre(describe(player, "TXGuiFoundation", "晴天 - 周杰伦"),
                                                         describe(player, "TXGuiFoundation", "设置", true)));
}

TEST_F(PlayerPlatformContract, TitleChangeAndClosedWindowAreSeenAtTheNextListing)
{
    const ProcessId player = desktop->start_process("QQMusic.exe");
    const DesktopDriver::WindowId window =
        desktop->make_top_level(player, "TXGuiFoundation", "晴天 - 周杰伦");
    desktop->make_top_level(player, "TXGuiFoundation", "TXMenuWindow");

    desktop->set_title(window, "稻香 - 周杰伦");
    EXPECT_THAT(windows_of(player), ElementsAre(describe(player, "TXGuiFoundation", "TXMenuWindow"),
                                                describe(player, "TXGuiFoundation", "稻香 - 周杰伦")));

    desktop->destroy_window(window);
    EXPECT_THAT(windows_of(player), ElementsAre(describe(player, "TXGuiFoundation", "TXMenuWindow")));
}

TEST_F(PlayerPlatformContract, StoppedProcessLeavesNoWindows)
{
    const ProcessId player = desktop->start_process("cloudmusic.exe");
    desktop->make_top_level(player, "OrpheusBrowserHost", "晴天 - 周杰伦");
    desktop->make_top_level(player, "OrpheusBrowserHost", "");

    desktop->stop_process(player);

    EXPECT_THAT(windows_of(player), ElementsAre());
}

TEST_F(PlayerPlatformContract, LongTitlesAreCutTo255Utf16UnitsWithoutSplittingACharacter)
{
    const ProcessId player = desktop->start_process("foobar2000.exe");
    desktop->make_top_level(player, "wide", repeated("歌", 300));
    // U+1D11E takes two UTF-16 units: 127 of them fill 254, and the 128th does not fit.
    desktop->make_top_level(player, "astral", repeated("\xF0\x9D\x84\x9E", 200));

    EXPECT_THAT(windows_of(player), ElementsAre(describe(player, "astral", repeated("\xF0\x9D\x84\x9E", 127)),
                                                describe(player, "wide", repeated("歌", 255))));
}
