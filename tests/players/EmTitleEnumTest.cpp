#include "EmTitleEnum.h"

#include "EmFakePlayerPlatform.h"
#include "QKugouBanzou.h"
#include "TestEventLoop.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// One line per signal, the entry read as the signal arrives: "running <exe> <pid>",
// "stopped <exe>" or "song <exe> <song>|<singer>".
QString describe_status(EmAppEntry* entry)
{
    const quint32 id = entry->process_id();
    return id ? QStringLiteral("running %1 %2").arg(entry->exe_name()).arg(id)
              : "stopped " + entry->exe_name();
}

QString describe_song(EmAppEntry* entry)
{
    return QStringLiteral("song %1 %2|%3").arg(entry->exe_name(), entry->song_name(), entry->singer_name());
}

class EmTitleEnumTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("FXbanzou")));
        QObject::connect(watcher.get(), &EmTitleEnum::app_status_change_signal, &receiver,
                         [this](EmAppEntry* entry) { events << describe_status(entry); });
        QObject::connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, &receiver,
                         [this](EmAppEntry* entry) { events << describe_song(entry); });
    }

    // One refresh, with the signals it raised.
    QStringList refresh()
    {
        events.clear();
        watcher->refresh_windows_window();
        return events;
    }

    void log_song(const QString& file)
    {
        QFile log(home.path() + QStringLiteral("/FXbanzou/log.txt"));
        ASSERT_TRUE(log.open(QIODevice::Append));
        log.write(QTextCodec::codecForName("GBK")->fromUnicode("OnOpened SongName:" + file + "\r\n"));
        log.close();
        log_reader->refresh_log();
    }

    QTemporaryDir home;
    std::shared_ptr<EmFakePlayerPlatform> desktop = std::make_shared<EmFakePlayerPlatform>();
    QObject receiver;
    QStringList events;
    QKugouBanzou* log_reader = new QKugouBanzou({"APPDATA=" + home.path()}, 0);
    std::unique_ptr<EmTitleEnum> watcher = std::make_unique<EmTitleEnum>(desktop, log_reader, 0);
};

} // namespace

TEST_F(EmTitleEnumTest, RunningPlayerIsReportedOnceWithEachSong)
{
    desktop->start_process("explorer.exe", 10);
    desktop->start_process("KuGou.exe", 100);
    desktop->add_window(10, "Shell_TrayWnd", "");
    const int window = desktop->add_window(100, "kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ");
    EXPECT_EQ(refresh(), QStringList({"running KuGou.exe 100", "song KuGou.exe 晴天|周杰伦"}));
    EXPECT_EQ(refresh(), QStringList());
    desktop->set_title(window, "狗音乐 周杰伦 - 晴天 - 酷");
    EXPECT_EQ(refresh(), QStringList());
    desktop->set_title(window, "周杰伦 - 稻香 - 酷狗音乐 ");
    EXPECT_EQ(refresh(), QStringList({"song KuGou.exe 稻香|周杰伦"}));
}

TEST_F(EmTitleEnumTest, ProcessStartStopAndRestartAreReported)
{
    EXPECT_EQ(refresh(), QStringList());
    desktop->start_process("QQMusic.exe", 200);
    desktop->add_window(200, "TXGuiFoundation", "晴天 - 周杰伦");
    EXPECT_EQ(refresh(), QStringList({"running QQMusic.exe 200", "song QQMusic.exe 晴天|周杰伦"}));
    desktop->stop_process(200);
    EXPECT_EQ(refresh(), QStringList({"stopped QQMusic.exe"}));
    EXPECT_EQ(refresh(), QStringList());
    desktop->start_process("QQMusic.exe", 201);
    desktop->add_window(201, "TXGuiFoundation", "晴天 - 周杰伦");
    EXPECT_EQ(refresh(), QStringList({"running QQMusic.exe 201", "song QQMusic.exe 晴天|周杰伦"}));
    // Restarted between two refreshes with the same song: only the new process is news.
    desktop->stop_process(201);
    desktop->start_process("QQMusic.exe", 202);
    desktop->add_window(202, "TXGuiFoundation", "晴天 - 周杰伦");
    EXPECT_EQ(refresh(), QStringList({"running QQMusic.exe 202"}));
}

TEST_F(EmTitleEnumTest, FirstOfTwoProcessesWithOneNameIsWatched)
{
    desktop->start_process("KuGou.exe", 100);
    desktop->start_process("KuGou.exe", 101);
    desktop->add_window(101, "kugou_ui", "陈奕迅 - 十年 - 酷狗音乐 ");
    desktop->add_window(100, "kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ");
    EXPECT_EQ(refresh(), QStringList({"running KuGou.exe 100", "song KuGou.exe 晴天|周杰伦"}));
    desktop->stop_process(100);
    EXPECT_EQ(refresh(), QStringList({"running KuGou.exe 101", "song KuGou.exe 十年|陈奕迅"}));
}

TEST_F(EmTitleEnumTest, PlayersSharingAWindowClassReadOnlyTheirOwnWindows)
{
    desktop->start_process("QQMusic.exe", 200);
    desktop->start_process("WeSing.exe", 400);
    const int qq_window = desktop->add_window(200, "TXGuiFoundation", "晴天 - 周杰伦");
    const int wesing_window = desktop->add_window(400, "TXGuiFoundation", "全民K歌 - 小幸运");
    EXPECT_EQ(refresh(), QStringList({"running QQMusic.exe 200", "song QQMusic.exe 晴天|周杰伦",
                                      "running WeSing.exe 400", "song WeSing.exe 小幸运|小幸运"}));
    // QQMusic's window now comes last and carries WeSing's marker.
    desktop->raise_window(wesing_window);
    desktop->set_title(qq_window, "全民K歌 - 十年");
    EXPECT_EQ(refresh(), QStringList({"song QQMusic.exe 全民K歌|十年"}));
}

TEST_F(EmTitleEnumTest, OwnedWindowsAndIgnoredTitlesNeverSetTheTitle)
{
    desktop->start_process("QQMusic.exe", 200);
    const int main_window = desktop->add_window(200, "TXGuiFoundation", "晴天 - 周杰伦");
    desktop->add_window(200, "TXGuiFoundation", "设置 - 选项", true);
    for (const char* title : {"TXMenuWindow", "在线升级", "推荐歌单", ""}) {
        desktop->add_window(200, "TXGuiFoundation", title);
    }
    desktop->add_window(200, "TXGuiTooltip", "稻香 - 周杰伦");
    EXPECT_EQ(refresh(), QStringList({"running QQMusic.exe 200", "song QQMusic.exe 晴天|周杰伦"}));
    desktop->close_window(main_window);
    EXPECT_EQ(refresh(), QStringList());
    desktop->add_window(200, "TXGuiFoundation", "晴天 - 周杰伦");
    EXPECT_EQ(refresh(), QStringList({"song QQMusic.exe 晴天|周杰伦"}));
}

TEST_F(EmTitleEnumTest, FanXingSongIsReportedOnlyWhileItRuns)
{
    log_song("周杰伦 - 晴天.mp3");
    EXPECT_EQ(refresh(), QStringList());
    // Read before the program started: not news.
    desktop->start_process("FanXingBanZou.exe", 900);
    EXPECT_EQ(refresh(), QStringList({"running FanXingBanZou.exe 900"}));
    log_song("周杰伦 - 稻香.mp3");
    EXPECT_EQ(refresh(), QStringList({"song FanXingBanZou.exe 稻香|周杰伦"}));
    EXPECT_EQ(refresh(), QStringList());
    desktop->stop_process(900);
    EXPECT_EQ(refresh(), QStringList({"stopped FanXingBanZou.exe"}));
    log_song("陈奕迅 - 十年.mp3");
    EXPECT_EQ(refresh(), QStringList());
}

TEST_F(EmTitleEnumTest, FailedProcessListKeepsPlayersAsTheyWere)
{
    desktop->start_process("QQMusic.exe", 200);
    const int window = desktop->add_window(200, "TXGuiFoundation", "晴天 - 周杰伦");
    refresh();
    desktop->set_process_list_fails(true);
    desktop->set_title(window, "稻香 - 周杰伦");
    EXPECT_EQ(refresh(), QStringList({"song QQMusic.exe 稻香|周杰伦"}));
    desktop->stop_process(200);
    EXPECT_EQ(refresh(), QStringList());
    desktop->set_process_list_fails(false);
    EXPECT_EQ(refresh(), QStringList({"stopped QQMusic.exe"}));
}

TEST_F(EmTitleEnumTest, AllPlayersShareOneListingAndSignalInTableOrder)
{
    refresh();
    EXPECT_EQ(desktop->process_list_count(), 1);
    EXPECT_EQ(desktop->window_enumeration_count(), 0);

    // Already running at the first refresh, FanXing reports the log's last song.
    log_song("周杰伦 - 晴天.mp3");
    std::uint32_t id = 100;
    for (const char* exe : {"FanXingBanZou.exe", "foobar2000.exe", "XiamiPC.exe", "BaiduMusic.exe",
                            "kwmusic.exe", "WeSing.exe", "cloudmusic.exe", "QQMusic.exe", "KuGou.exe"}) {
        desktop->start_process(exe, id++);
    }
    desktop->add_window(101, "{97E27FAA-C0B3-4b8e-A693-ED7881E99FC1}", "周杰伦 - 晴天 [foobar2000]");
    desktop->add_window(102, "XiamiHome", "晴天 - 周杰伦");
    desktop->add_window(103, "#32770", "晴天 - 周杰伦 - 千千音乐");
    desktop->add_window(104, "kwmusicmaindlg", "晴天-周杰伦-酷我音乐");
    desktop->add_window(105, "TXGuiFoundation", "全民K歌 - 晴天");
    desktop->add_window(106, "OrpheusBrowserHost", "晴天 - 周杰伦");
    desktop->add_window(107, "TXGuiFoundation", "晴天 - 周杰伦");
    desktop->add_window(108, "kugou_ui", "周杰伦 - 晴天 - 酷狗音乐 ");
    EXPECT_EQ(
        refresh(),
        QStringList({"running KuGou.exe 108", "song KuGou.exe 晴天|周杰伦", "running QQMusic.exe 107",
                     "song QQMusic.exe 晴天|周杰伦", "running cloudmusic.exe 106",
                     "song cloudmusic.exe 晴天|周杰伦", "running WeSing.exe 105", "song WeSing.exe 晴天|晴天",
                     "running kwmusic.exe 104", "song kwmusic.exe 晴天|周杰伦", "running BaiduMusic.exe 103",
                     "song BaiduMusic.exe 晴天|周杰伦", "running XiamiPC.exe 102",
                     "song XiamiPC.exe 晴天 - 周杰伦|晴天 - 周杰伦", "running foobar2000.exe 101",
                     "song foobar2000.exe 晴天 |周杰伦", "running FanXingBanZou.exe 100",
                     "song FanXingBanZou.exe 晴天|周杰伦"}));
    EXPECT_EQ(desktop->process_list_count(), 2);
    EXPECT_EQ(desktop->window_enumeration_count(), 1);
}

TEST_F(EmTitleEnumTest, LongTitlesAreCutAndIconsFollowThePlayerTable)
{
    desktop->start_process("cloudmusic.exe", 300);
    desktop->add_window(300, "OrpheusBrowserHost", std::string(200, 's') + " - " + std::string(100, 'a'));
    EXPECT_EQ(refresh(), QStringList({"running cloudmusic.exe 300",
                                      "song cloudmusic.exe " + QString(200, 's') + "|" + QString(52, 'a')}));
    EXPECT_EQ(watcher->icon_for_exe("cloudmusic.exe"), ":/Kestrune/Resources/img/neteasemusic.png");
    EXPECT_EQ(watcher->icon_for_exe("WeSing.exe"), ":/Kestrune/Resources/img/quanmin.png");
    EXPECT_EQ(watcher->icon_for_exe("kugou.exe"), QString());
}

TEST(EmTitleEnumThreadTest, SignalsFromTheWatcherThreadArriveQueuedOnTheGuiThread)
{
    QTemporaryDir home;
    auto desktop = std::make_shared<EmFakePlayerPlatform>();
    desktop->start_process("QQMusic.exe", 200);
    const int window = desktop->add_window(200, "TXGuiFoundation", "晴天 - 周杰伦");
    QThread thread;
    auto* watcher = new EmTitleEnum(desktop, new QKugouBanzou({"APPDATA=" + home.path()}, 0), 20);
    QObject::connect(&thread, &QThread::finished, watcher, &QObject::deleteLater);

    QObject receiver;
    QStringList events;
    const auto record = [&](const QString& event) {
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
        events << event;
    };
    QObject::connect(watcher, &EmTitleEnum::app_status_change_signal, &receiver,
                     [&](EmAppEntry* entry) { record(describe_status(entry)); });
    QObject::connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, &receiver,
                     [&](EmAppEntry* entry) { record(describe_song(entry)); });
    // Connected after the GUI receivers, so they run once the queued calls are posted. The GUI
    // thread waits for them before it runs its event loop: an atomic is a hand-over the thread
    // checker sees, Qt's own event queue and locks are not.
    std::atomic<int> emitted{0};
    std::atomic<bool> emitted_elsewhere{false};
    const auto count = [&](EmAppEntry*) {
        emitted_elsewhere = emitted_elsewhere || QThread::currentThread() != &thread;
        ++emitted;
    };
    QObject::connect(watcher, &EmTitleEnum::app_status_change_signal, watcher, count, Qt::DirectConnection);
    QObject::connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, watcher, count,
                     Qt::DirectConnection);
    const auto delivered = [&](int total) {
        while (emitted < total) {
            QThread::yieldCurrentThread();
        }
        return spin_until([&] { return events.size() == total; });
    };

    // As the program runs it; the refresh timer is short so that the test does not wait.
    watcher->moveToThread(&thread);
    thread.start();
    ASSERT_TRUE(delivered(2));
    desktop->set_title(window, "稻香 - 周杰伦");
    ASSERT_TRUE(delivered(3));
    desktop->stop_process(200);
    ASSERT_TRUE(delivered(4));
    thread.quit();
    thread.wait();

    EXPECT_EQ(events, QStringList({"running QQMusic.exe 200", "song QQMusic.exe 晴天|周杰伦",
                                   "song QQMusic.exe 稻香|周杰伦", "stopped QQMusic.exe"}));
    EXPECT_FALSE(emitted_elsewhere);
}
