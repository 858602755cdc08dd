#include "DesktopDriver.h"
#include "EmTitleEnum.h"
#include "QKugouBanzou.h"

#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using ProcessId = DesktopDriver::ProcessId;

// The player watcher, refreshed by hand, on the driver's desktop: one line per signal, read as
// the signal arrives.
class WatcherContract : public testing::Test
{
protected:
    void SetUp() override
    {
        QObject::connect(watcher.get(), &EmTitleEnum::app_status_change_signal, &receiver,
                         [this](EmAppEntry* entry) {
                             const quint32 id = entry->process_id();
                             events << (id ? QStringLiteral("running %1 %2").arg(entry->exe_name()).arg(id)
                                           : "stopped " + entry->exe_name());
                         });
        QObject::connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, &receiver,
                         [this](EmAppEntry* entry) {
                             events << QStringLiteral("song %1 %2|%3")
                                           .arg(entry->exe_name(), entry->song_name(), entry->singer_name());
                         });
    }

    QStringList refresh()
    {
        events.clear();
        watcher->refresh_windows_window();
        return events;
    }

    static QString running(const char* exe, ProcessId process)
    {
        return QStringLiteral("running %1 %2").arg(QString::fromUtf8(exe)).arg(process);
    }

    std::unique_ptr<DesktopDriver> desktop = make_desktop_driver();
    // An empty application-data folder: no accompaniment log.
    QTemporaryDir home;
    QObject receiver;
    QStringList events;
    std::unique_ptr<EmTitleEnum> watcher = std::make_unique<EmTitleEnum>(
        desktop->player_platform(), new QKugouBanzou({"APPDATA=" + home.path()}, 0), 0);
};

} // namespace

TEST_F(WatcherContract, RunningPlayerIsReportedThenEachNewSongOnceThenItsEnd)
{
    const ProcessId kugou = desktop->start_process("KuGou.exe");
    const DesktopDriver::WindowId window =
        desktop->make_top_level(kugou, "kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ");

    EXPECT_EQ(refresh(), QStringList({running("KuGou.exe", kugou), "song KuGou.exe 晴天|周杰伦"}));
    EXPECT_EQ(refresh(), QStringList());

    desktop->set_title(window, "周杰伦 - 稻香 - 酷狗音乐 ");
    EXPECT_EQ(refresh(), QStringList({"song KuGou.exe 稻香|周杰伦"}));
    EXPECT_EQ(refresh(), QStringList());

    desktop->stop_process(kugou);
    EXPECT_EQ(refresh(), QStringList({"stopped KuGou.exe"}));
}

TEST_F(WatcherContract, PlayersReadOnlyTheUnownedWindowsOfTheirOwnProcess)
{
    const ProcessId qq = desktop->start_process("QQMusic.exe");
    const ProcessId wesing = desktop->start_process("WeSing.exe");
    const DesktopDriver::WindowId main = desktop->make_top_level(qq, "TXGuiFoundation", "晴天 - 周杰伦");
    desktop->make_top_level(qq, "TXGuiFoundation", "设置 - 选项", main);
    desktop->make_top_level(wesing, "TXGuiFoundation", "全民K歌 - 小幸运");

    EXPECT_EQ(refresh(), QStringList({running("QQMusic.exe", qq), "song QQMusic.exe 晴天|周杰伦",
                                      running("WeSing.exe", wesing), "song WeSing.exe 小幸运|小幸运"}));
}

TEST_F(WatcherContract, BackmostMatchingWindowHasTheLastWord)
{
    const ProcessId qq = desktop->start_process("QQMusic.exe");
    desktop->make_top_level(qq, "TXGuiFoundation", "晴天 - 周杰伦");
    desktop->make_top_level(qq, "TXGuiFoundation", "稻香 - 周杰伦");

    EXPECT_EQ(refresh(), QStringList({running("QQMusic.exe", qq), "song QQMusic.exe 晴天|周杰伦"}));
}

TEST_F(WatcherContract, TitleOfAPlayerHiddenToTheTrayIsStillRead)
{
    const ProcessId kugou = desktop->start_process("KuGou.exe");
    const DesktopDriver::WindowId window =
        desktop->make_top_level(kugou, "kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ");
    ASSERT_EQ(refresh(), QStringList({running("KuGou.exe", kugou), "song KuGou.exe 晴天|周杰伦"}));
    if (!desktop->hide_window(window)) {
        GTEST_SKIP() << "this desktop cannot hide a window";
    }

    desktop->set_title(window, "周杰伦 - 稻香 - 酷狗音乐 ");

    EXPECT_EQ(refresh(), QStringList({"song KuGou.exe 稻香|周杰伦"}));
}
