#include "EmAppEntry.h"
#include "EmFakePlayerPlatform.h"
#include "EmTitleEnum.h"
#include "QKugouBanzou.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

// What each player of the watcher's table shows, in table order; FanXing shows no window.
const char* const titles[] = {
    "周杰伦 - 晴天 - 酷狗音乐 ",
    "晴天 - 周杰伦",
    "晴天 - 周杰伦",
    "全民K歌 - 小幸运",
    "晴天-周杰伦-酷我音乐",
    "晴天 - 周杰伦 - 千千音乐",
    "晴天 - 周杰伦",
    "周杰伦 - [叶惠美 #01] 晴天 [foobar2000]",
    "",
};
const std::vector<EmTitleEnum::PlayerRow>& players = EmTitleEnum::player_table();
const int player_count = static_cast<int>(players.size());
constexpr std::uint32_t first_player_id = 5000;

// 400 processes and 300 top-level windows, the nine players spread among them. Each player
// that shows its song has its main window, an owned dialog and a tooltip; everything else
// belongs to other programs.
std::shared_ptr<EmFakePlayerPlatform> busy_desktop()
{
    auto desktop = std::make_shared<EmFakePlayerPlatform>();
    const char* others[] = {"svchost.exe", "chrome.exe", "explorer.exe", "RuntimeBroker.exe", "conhost.exe"};
    for (int i = 0, player = 0; i < 400; ++i) {
        if (i % 44 == 20 && player < player_count) {
            desktop->start_process(players[player].exe_name, first_player_id + player);
            ++player;
        } else {
            desktop->start_process(others[i % 5], 1000 + i);
        }
    }
    int windows = 0;
    for (int player = 0; player + 1 < player_count; ++player) {
        const std::uint32_t id = first_player_id + player;
        desktop->add_window(id, players[player].window_class, titles[player]);
        desktop->add_window(id, players[player].window_class, "设置", true);
        desktop->add_window(id, "tooltips_class32", "");
        windows += 3;
    }
    const char* classes[] = {"Chrome_WidgetWin_1", "CabinetWClass", "ConsoleWindowClass", "IME",
                             "MSCTFIME UI"};
    for (int i = 0; windows < 300; ++i, ++windows) {
        desktop->add_window(1000 + (i * 7) % 400, classes[i % 5],
                            "Some window title number " + std::to_string(i));
    }
    return desktop;
}

QKugouBanzou* idle_log_reader()
{
    return new QKugouBanzou(QStringList{QStringLiteral("APPDATA=/nonexistent")}, 0);
}

// The watcher's refresh as first designed: every player takes a process list of its own and
// walks a window enumeration of its own. Kept here only to measure against.
class PerPlayerWatcher
{
public:
    explicit PerPlayerWatcher(std::shared_ptr<EmPlayerPlatform> platform)
        : platform(std::move(platform))
        , log_reader(idle_log_reader())
    {
        for (const EmTitleEnum::PlayerRow& player : players) {
            entries.push_back(std::make_unique<EmAppEntry>(QString::fromUtf8(player.exe_name),
                                                           QString::fromUtf8(player.window_class),
                                                           QString::fromUtf8(player.separator)));
        }
        entries.back()->set_reads_window_title(false);
    }

    void refresh(QStringList* events)
    {
        for (const auto& entry : entries) {
            entry->begin_refresh();
        }
        for (const auto& entry : entries) {
            update_process(*entry, events);
            if (!entry->reads_window_title()) {
                entry->update_title(log_reader->current_song());
            } else {
                read_windows(*entry);
            }
            if (entry->title_changed() && entry->is_running() && events) {
                *events << QStringLiteral("song %1 %2").arg(entry->exe_name(), entry->song_name());
            }
        }
    }

private:
    void update_process(EmAppEntry& entry, QStringList* events)
    {
        const auto processes = platform->list_processes();
        if (!processes) {
            return;
        }
        const std::string exe = entry.exe_name().toStdString();
        quint32 found = 0;
        for (const auto& process : *processes) {
            if (process.exe_name == exe) {
                found = process.id;
                break;
            }
        }
        const quint32 previous = entry.process_id();
        entry.set_running(found != 0);
        entry.set_process_id(found);
        if (found != previous && events) {
            *events << QStringLiteral("status %1 %2").arg(entry.exe_name()).arg(found);
        }
    }

    void read_windows(EmAppEntry& entry)
    {
        const quint32 id = entry.process_id();
        const std::string window_class = entry.window_class().toStdString();
        for (const auto& window : platform->list_top_level_windows()) {
            if (id == 0 || window.process_id != id || window.has_owner || window.class_name != window_class ||
                window.title.empty()) {
                continue;
            }
            const QString title = QString::fromStdString(window.title);
            if (!ignored.contains(title)) {
                entry.update_title(title);
            }
        }
    }

    std::shared_ptr<EmPlayerPlatform> platform;
    std::unique_ptr<QKugouBanzou> log_reader;
    std::vector<std::unique_ptr<EmAppEntry>> entries;
    const QSet<QString> ignored = {QStringLiteral("TXMenuWindow"), QStringLiteral("在线升级"),
                                   QStringLiteral("推荐歌单")};
};

// Both refreshes must tell the same story, or comparing their speed means nothing.
bool same_signals_as_per_player_passes()
{
    auto shared_desktop = busy_desktop();
    auto per_player_desktop = busy_desktop();
    EmTitleEnum watcher(shared_desktop, idle_log_reader(), 0);
    PerPlayerWatcher per_player(per_player_desktop);
    QStringList shared_events;
    QStringList per_player_events;
    QObject receiver;
    QObject::connect(&watcher, &EmTitleEnum::app_status_change_signal, &receiver, [&](EmAppEntry* entry) {
        shared_events << QStringLiteral("status %1 %2").arg(entry->exe_name()).arg(entry->process_id());
    });
    QObject::connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, &receiver, [&](EmAppEntry* entry) {
        shared_events << QStringLiteral("song %1 %2").arg(entry->exe_name(), entry->song_name());
    });

    const auto step = [&](const std::function<void(EmFakePlayerPlatform&)>& change) {
        change(*shared_desktop);
        change(*per_player_desktop);
        watcher.refresh_windows_window();
        per_player.refresh(&per_player_events);
    };
    step([](EmFakePlayerPlatform&) {});
    step([](EmFakePlayerPlatform& desktop) { desktop.stop_process(first_player_id + 1); });
    step([](EmFakePlayerPlatform& desktop) {
        desktop.start_process("QQMusic.exe", 7000);
        desktop.add_window(7000, "TXGuiFoundation", "稻香 - 周杰伦");
        desktop.add_window(first_player_id + 3, "TXGuiFoundation", "全民K歌 - 十年");
    });
    step([](EmFakePlayerPlatform& desktop) { desktop.set_process_list_fails(true); });
    step([](EmFakePlayerPlatform& desktop) {
        desktop.set_process_list_fails(false);
        desktop.stop_process(first_player_id);
    });
    return !shared_events.isEmpty() && shared_events == per_player_events;
}

void BM_SharedRefresh(benchmark::State& state)
{
    EmTitleEnum watcher(busy_desktop(), idle_log_reader(), 0);
    watcher.refresh_windows_window();
    for (auto _ : state) {
        watcher.refresh_windows_window();
    }
}
BENCHMARK(BM_SharedRefresh)->Unit(benchmark::kMicrosecond);

void BM_PerPlayerRefresh(benchmark::State& state)
{
    PerPlayerWatcher watcher(busy_desktop());
    watcher.refresh(nullptr);
    for (auto _ : state) {
        watcher.refresh(nullptr);
    }
}
BENCHMARK(BM_PerPlayerRefresh)->Unit(benchmark::kMicrosecond);

// A log that grew by 50 MB of blank lines since the last look.
class BlankLog
{
public:
    BlankLog()
    {
        QDir(home.path()).mkpath(QStringLiteral("FXbanzou"));
        QFile log(home.path() + QStringLiteral("/FXbanzou/log.txt"));
        log.open(QIODevice::WriteOnly);
        const QByteArray blanks(1024 * 1024, '\n');
        for (int i = 0; i < 50; ++i) {
            log.write(blanks);
        }
    }

    std::unique_ptr<QKugouBanzou> reader() const
    {
        return std::make_unique<QKugouBanzou>(QStringList{"APPDATA=" + home.path()}, 0);
    }

private:
    QTemporaryDir home;
};

void BM_FirstLogPollOverBlankLines(benchmark::State& state)
{
    const BlankLog log;
    for (auto _ : state) {
        state.PauseTiming();
        const std::unique_ptr<QKugouBanzou> reader = log.reader();
        state.ResumeTiming();
        reader->refresh_log();
    }
}
BENCHMARK(BM_FirstLogPollOverBlankLines)->Unit(benchmark::kMillisecond);

void BM_LogPollsUntilBlankLinesAreRead(benchmark::State& state)
{
    const BlankLog log;
    for (auto _ : state) {
        state.PauseTiming();
        const std::unique_ptr<QKugouBanzou> reader = log.reader();
        state.ResumeTiming();
        for (int poll = 0; poll <= 50; ++poll) {
            reader->refresh_log();
        }
    }
}
BENCHMARK(BM_LogPollsUntilBlankLinesAreRead)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!same_signals_as_per_player_passes()) {
        std::fprintf(stderr, "the shared refresh and the per-player passes disagree\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
