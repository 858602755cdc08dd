#include "EmTitleEnum.h"

#include "QKugouBanzou.h"

#include <QTimer>

#include <utility>

const std::vector<EmTitleEnum::PlayerRow>& EmTitleEnum::player_table()
{
    static const std::vector<PlayerRow> table = {
        {"KuGou.exe", "kugou_ui", " - ", ":/Kestrune/Resources/img/kugou.png"},
        {"QQMusic.exe", "TXGuiFoundation", " - ", ":/Kestrune/Resources/img/qqmusic.png"},
        {"cloudmusic.exe", "OrpheusBrowserHost", " - ", ":/Kestrune/Resources/img/neteasemusic.png"},
        {"WeSing.exe", "TXGuiFoundation", "", ":/Kestrune/Resources/img/quanmin.png"},
        {"kwmusic.exe", "kwmusicmaindlg", "-", ":/Kestrune/Resources/img/kuwo.png"},
        {"BaiduMusic.exe", "#32770", " - ", ":/Kestrune/Resources/img/baidumusic.png"},
        {"XiamiPC.exe", "XiamiHome", "", ":/Kestrune/Resources/img/xiami.png"},
        {"foobar2000.exe", "{97E27FAA-C0B3-4b8e-A693-ED7881E99FC1}", " - ",
         ":/Kestrune/Resources/img/foobar.png"},
        {"FanXingBanZou.exe", "", " - ", ":/Kestrune/Resources/img/fanxing.png"},
    };
    return table;
}

EmTitleEnum::EmTitleEnum(std::shared_ptr<EmPlayerPlatform> platform, QObject* parent)
    : EmTitleEnum(std::move(platform), new QKugouBanzou(), default_refresh_interval_ms, parent)
{
}

EmTitleEnum::EmTitleEnum(std::shared_ptr<EmPlayerPlatform> platform, QKugouBanzou* log_reader,
                         int refresh_interval_ms, QObject* parent)
    : QObject(parent)
    , platform(std::move(platform))
    , timer(new QTimer(this))
    , log_reader(log_reader)
{
    qRegisterMetaType<EmAppEntry*>("EmAppEntry*");
    for (const PlayerRow& row : player_table()) {
        icons.insert(QString::fromUtf8(row.exe_name), QString::fromUtf8(row.icon_path));
    }
    // Menus and dialogs of the players that share the main window's class.
    ignored_titles = {QStringLiteral("TXMenuWindow"), QStringLiteral("在线升级"), QStringLiteral("推荐歌单")};
    log_reader->setParent(this);
    timer->setInterval(refresh_interval_ms);
    connect(timer, &QTimer::timeout, this, &EmTitleEnum::refresh_windows_window);

    {
        std::lock_guard<std::mutex> lock(mutex);
        for (const PlayerRow& row : player_table()) {
            const QString exe = QString::fromUtf8(row.exe_name);
            auto entry = std::make_unique<EmAppEntry>(exe, QString::fromUtf8(row.window_class),
                                                      QString::fromUtf8(row.separator));
            entry->set_icon_path(icons.value(exe));
            entries.push_back(std::move(entry));
        }
        entries.back()->set_reads_window_title(false);
    }

    if (refresh_interval_ms > 0) {
        timer->start();
    }
}

QString EmTitleEnum::icon_for_exe(const QString& exe) const
{
    return icons.value(exe);
}

void EmTitleEnum::refresh_windows_window()
{
    std::lock_guard<std::mutex> lock(mutex);
    for (const auto& entry : entries) {
        entry->begin_refresh();
    }
    // One process list and at most one window enumeration serve every player. Both are read
    // only, so each player sees exactly what a list and an enumeration of its own would show,
    // and the players keep their table order for the signals.
    const ProcessList processes = platform->list_processes();
    std::optional<WindowList> windows;
    for (const auto& entry : entries) {
        update_process(*entry, processes);
        if (!entry->reads_window_title()) {
            entry->update_title(log_reader->current_song());
        } else if (entry->process_id() != 0) {
            if (!windows) {
                windows = platform->list_top_level_windows();
            }
            read_windows(*entry, *windows);
        }
        if (entry->title_changed() && entry->is_running()) {
            emit ZuDataBus::instance()->app_change_signal(entry.get());
        }
    }
}

void EmTitleEnum::update_process(EmAppEntry& entry, const ProcessList& processes)
{
    if (!processes) {
        return;
    }
    const std::string exe = entry.exe_name().toStdString();
    quint32 found = 0;
    for (const EmPlayerPlatform::Process& process : *processes) {
        if (process.exe_name == exe) {
            found = process.id;
            break;
        }
    }
    const quint32 previous = entry.process_id();
    // The new state is stored before the signal goes out: a receiver on another thread may read
    // the entry as soon as the signal is posted.
    entry.set_running(found != 0);
    entry.set_process_id(found);
    if (found != previous) {
        emit app_status_change_signal(&entry);
    }
}

void EmTitleEnum::read_windows(EmAppEntry& entry, const WindowList& windows) const
{
    // Players sharing a window class are told apart by their process. The taskbar's and the
    // desktop's own windows need no test of their own: no player uses their classes.
    const quint32 process_id = entry.process_id();
    const std::string window_class = entry.window_class().toStdString();
    for (const EmPlayerPlatform::Window& window : windows) {
        if (window.process_id != process_id || window.has_owner || window.class_name != window_class ||
            window.title.empty()) {
            continue;
        }
        const QString title = QString::fromStdString(window.title);
        if (!ignored_titles.contains(title)) {
            entry.update_title(title);
        }
    }
}
