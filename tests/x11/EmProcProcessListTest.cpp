#include "EmProcProcessList.h"
#include "ChildProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using testing::Contains;
using testing::ElementsAre;

std::vector<std::string> described(const std::optional<std::vector<EmPlayerPlatform::Process>>& processes)
{
    std::vector<std::string> lines;
    for (const EmPlayerPlatform::Process& process :
         processes.value_or(std::vector<EmPlayerPlatform::Process>{})) {
        lines.push_back(std::to_string(process.id) + " " + process.exe_name);
    }
    return lines;
}

// A folder laid out like /proc, with only the files the list reads.
class FakeProcTree : public testing::Test
{
protected:
    void add(const std::string& entry, const std::optional<std::string>& cmdline,
             const std::optional<std::string>& comm = std::nullopt)
    {
        const std::filesystem::path folder = root() / entry;
        std::filesystem::create_directories(folder);
        if (cmdline) {
            std::ofstream(folder / "cmdline", std::ios::binary) << *cmdline;
        }
        if (comm) {
            std::ofstream(folder / "comm", std::ios::binary) << *comm;
        }
    }

    std::filesystem::path root() const { return folder.path().toStdString(); }

    QTemporaryDir folder;
};

} // namespace

TEST_F(FakeProcTree, ProcessesComeInAscendingIdOrderAndOtherEntriesAreIgnored)
{
    add("200", std::string("c\0", 2));
    add("9", std::string("a\0", 2));
    add("10", std::string("b\0", 2));
    add("self", std::string("self\0", 5));
    add("0", std::string("zero\0", 5));
    add("99999999999", std::string("huge\0", 5));
    add("12x", std::string("mixed\0", 6));

    EXPECT_THAT(described(EmProcProcessList(root()).list()), ElementsAre("9 a", "10 b", "200 c"));
}

TEST_F(FakeProcTree, NameIsTheLastComponentOfTheFirstCommandLineString)
{
    add("1", std::string("/usr/bin/foobar2000\0--play\0", 27));
    add("2", std::string("C:\\Program Files\\KuGou\\KuGou.exe\0/S\0", 36));
    add("3", std::string("Z:/home/me/.wine/FanXingBanZou.exe\0", 35));
    add("4", std::string("QQMusic.exe", 11));
    add("5", std::string("wine64-preloader\0C:\\x\\y.exe\0", 28));

    EXPECT_THAT(described(EmProcProcessList(root()).list()),
                ElementsAre("1 foobar2000", "2 KuGou.exe", "3 FanXingBanZou.exe", "4 QQMusic.exe",
                            "5 wine64-preloader"));
}

TEST_F(FakeProcTree, ProcessWithoutCommandLineIsNamedByCommWithoutItsLineEnd)
{
    add("2", "", "kthreadd\n");
    add("7", "", "kworker/0:1-events\n");
    add("8", std::string("\0--flag\0", 8), "oddball\n");

    EXPECT_THAT(described(EmProcProcessList(root()).list()),
                ElementsAre("2 kthreadd", "7 kworker/0:1-events", "8 oddball"));
}

TEST_F(FakeProcTree, ProcessGoneDuringTheWalkIsLeftOut)
{
    add("1", std::string("init\0", 5));
    add("2", std::nullopt);
    add("3", "", std::nullopt);
    add("4", std::string("last\0", 5));

    EXPECT_THAT(described(EmProcProcessList(root()).list()), ElementsAre("1 init", "4 last"));
}

TEST_F(FakeProcTree, UnreadableFolderGivesNoList)
{
    EXPECT_FALSE(EmProcProcessList((root() / "missing").string()).list().has_value());
}

TEST(RealProcList, ProgramsStartedUnderWindowsNamesAreListedByTheirExecutableName)
{
    ChildProcess::Options options;
    options.path = "/bin/sleep";
    options.arguments = {"C:\\Program Files\\KuGou\\KuGou.exe", "30"};
    ChildProcess windows_path(options);
    options.arguments = {"KuGou.exe", "30"};
    ChildProcess plain(options);
    const std::string windows_path_line = std::to_string(windows_path.pid()) + " KuGou.exe";
    const std::string plain_line = std::to_string(plain.pid()) + " KuGou.exe";

    // Right after exec the kernel has not yet laid out the new command line, and the list
    // rightly shows the binary's name for a moment.
    std::optional<std::vector<EmPlayerPlatform::Process>> processes;
    for (int attempt = 0; attempt < 500; ++attempt) {
        processes = EmProcProcessList("/proc").list();
        ASSERT_TRUE(processes.has_value());
        const std::vector<std::string> lines = described(processes);
        if (std::count(lines.begin(), lines.end(), windows_path_line) &&
            std::count(lines.begin(), lines.end(), plain_line)) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    const std::vector<std::string> lines = described(processes);
    EXPECT_THAT(lines, Contains(windows_path_line));
    EXPECT_THAT(lines, Contains(plain_line));
    EXPECT_THAT(lines, Contains(std::to_string(getpid()) + " x11_proc_test"));
    EXPECT_TRUE(std::is_sorted(processes->begin(), processes->end(),
                               [](const auto& a, const auto& b) { return a.id < b.id; }));
}
