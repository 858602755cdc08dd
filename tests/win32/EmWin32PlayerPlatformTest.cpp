#include "EmWin32PlayerPlatform.h"
#include "HelperProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <tuple>

namespace {

// What the watcher reads of a window: class, title, owned.
using Seen = std::tuple<std::string, std::string, bool>;

std::vector<Seen> windows_of(EmWin32PlayerPlatform& platform, std::uint32_t process_id)
{
    std::vector<Seen> seen;
    for (const EmPlayerPlatform::Window& window : platform.list_top_level_windows()) {
        if (window.process_id == process_id) {
            seen.emplace_back(window.class_name, window.title, window.has_owner);
        }
    }
    return seen;
}

std::vector<Seen> sorted(std::vector<Seen> seen)
{
    std::sort(seen.begin(), seen.end());
    return seen;
}

std::size_t count_process(const std::vector<EmPlayerPlatform::Process>& processes,
                          const std::string& exe_name, std::uint32_t id)
{
    return std::count_if(processes.begin(), processes.end(), [&](const EmPlayerPlatform::Process& process) {
        return process.exe_name == exe_name && process.id == id;
    });
}

} // namespace

TEST(EmWin32PlayerPlatformTest, ProcessListNamesEveryPlayerWithItsOwnId)
{
    HelperProcess kugou("KuGou.exe");
    HelperProcess qqmusic("QQMusic.exe");
    HelperProcess first_wesing("WeSing.exe");
    HelperProcess second_wesing("WeSing.exe");
    HelperProcess fanxing("FanXingBanZou.exe");
    HelperProcess chinese("全民K歌.exe");

    EmWin32PlayerPlatform platform;
    const std::optional<std::vector<EmPlayerPlatform::Process>> processes = platform.list_processes();
    ASSERT_TRUE(processes.has_value());
    EXPECT_EQ(count_process(*processes, "KuGou.exe", kugou.id()), 1u);
    EXPECT_EQ(count_process(*processes, "QQMusic.exe", qqmusic.id()), 1u);
    EXPECT_EQ(count_process(*processes, "WeSing.exe", first_wesing.id()), 1u);
    EXPECT_EQ(count_process(*processes, "WeSing.exe", second_wesing.id()), 1u);
    EXPECT_EQ(count_process(*processes, "FanXingBanZou.exe", fanxing.id()), 1u);
    EXPECT_EQ(count_process(*processes, "全民K歌.exe", chinese.id()), 1u);
    EXPECT_EQ(count_process(*processes, "kestrune_win32_test.exe", GetCurrentProcessId()), 1u);
}

TEST(EmWin32PlayerPlatformTest, WindowsCarryTheirProcessOwnerClassAndTitleWhateverTheirVisibility)
{
    HelperProcess kugou("KuGou.exe");
    HelperProcess qqmusic("QQMusic.exe");
    HelperProcess wesing("WeSing.exe");
    const HWND main = kugou.make_top_level("kugou_ui", "晴天 - 周杰伦");
    kugou.make_top_level("kugou_ui", "桌面歌词", main);
    ShowWindow(qqmusic.make_top_level("TXGuiFoundation", "稻香 - 周杰伦"), SW_HIDE);
    qqmusic.make_top_level("TXGuiFoundation", "TXMenuWindow");
    wesing.make_top_level("TXGuiFoundation", "演员");
    wesing.make_top_level("TXGuiFoundation", "");

    EmWin32PlayerPlatform platform;
    EXPECT_EQ(sorted(windows_of(platform, kugou.id())),
              sorted({{"kugou_ui", "晴天 - 周杰伦", false}, {"kugou_ui", "桌面歌词", true}}));
    EXPECT_EQ(
        sorted(windows_of(platform, qqmusic.id())),
        sorted({{"TXGuiFoundation", "稻香 - 周杰伦", false}, {"TXGuiFoundation", "TXMenuWindow", false}}));
    EXPECT_EQ(sorted(windows_of(platform, wesing.id())),
              sorted({{"TXGuiFoundation", "演员", false}, {"TXGuiFoundation", "", false}}));
}

TEST(EmWin32PlayerPlatformTest, WindowsComeFrontToBack)
{
    HelperProcess kugou("KuGou.exe");
    const HWND first = kugou.make_top_level("kugou_ui", "first");
    const HWND second = kugou.make_top_level("kugou_ui", "second");
    const HWND third = kugou.make_top_level("kugou_ui", "third");
    EmWin32PlayerPlatform platform;
    EXPECT_EQ(windows_of(platform, kugou.id()), (std::vector<Seen>{{"kugou_ui", "third", false},
                                                                   {"kugou_ui", "second", false},
                                                                   {"kugou_ui", "first", false}}));

    kugou.raise(second);
    kugou.raise(first);
    EXPECT_EQ(windows_of(platform, kugou.id()), (std::vector<Seen>{{"kugou_ui", "first", false},
                                                                   {"kugou_ui", "second", false},
                                                                   {"kugou_ui", "third", false}}));
    kugou.raise(third);
    EXPECT_EQ(std::get<1>(windows_of(platform, kugou.id()).front()), "third");
}

TEST(EmWin32PlayerPlatformTest, WindowOfThisProcessWhoseThreadIsBusyGivesItsTitleWithoutWaiting)
{
    // A thread that makes a window and then answers no messages, as the GUI thread does while it
    // waits for the watcher's thread to end.
    const HANDLE made = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HWND window = nullptr;
    std::thread busy([&] {
        window = CreateWindowExW(0, L"STATIC", L"晴天 - 周杰伦", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
        SetEvent(made);
        WaitForSingleObject(release, INFINITE);
        DestroyWindow(window);
    });
    WaitForSingleObject(made, INFINITE);

    const HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::vector<Seen> seen;
    std::thread watcher([&] {
        EmWin32PlayerPlatform platform;
        seen = windows_of(platform, GetCurrentProcessId());
        SetEvent(done);
    });
    const bool listed = WaitForSingleObject(done, 5000) == WAIT_OBJECT_0;
    SetEvent(release);
    watcher.join();
    busy.join();
    for (const HANDLE event : {made, release, done}) {
        CloseHandle(event);
    }

    EXPECT_TRUE(listed) << "the listing waited for the busy thread";
    EXPECT_NE(std::find(seen.begin(), seen.end(), Seen{"Static", "晴天 - 周杰伦", false}), seen.end());
}
