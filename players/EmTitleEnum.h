#pragma once

#include "EmAppEntry.h"
#include "EmPlayerPlatform.h"
#include "ZuDataBus.h"

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QKugouBanzou;
class QTimer;

// Watches the supported music players. Every refresh finds each player's process, reads the
// titles of its windows (FanXing's song comes from its log instead), lets the player's entry
// normalise them and reports a process that appeared, changed or went away
// (app_status_change_signal) and a running player's new song (the hub's app_change_signal).
// The watcher is meant to be moved to a thread of its own; icon_for_exe is the only call made
// from elsewhere.
class EmTitleEnum : public QObject
{
    Q_OBJECT
public:
    static constexpr int default_refresh_interval_ms = 2000;

    struct PlayerRow
    {
        const char* exe_name;
        const char* window_class;
        const char* separator;
        const char* icon_path;
    };
    // The supported players. The order is also the order of every refresh, and so of the
    // signals within one refresh; FanXing, whose song comes from its log, comes last.
    static const std::vector<PlayerRow>& player_table();

    // Refreshes every two seconds, the first time two seconds after construction, with a log
    // reader that follows the process environment's log.
    explicit EmTitleEnum(std::shared_ptr<EmPlayerPlatform> platform, QObject* parent = nullptr);
    // Adopts the given log reader as its child; with a refresh interval of 0 the owner calls
    // refresh_windows_window() itself.
    EmTitleEnum(std::shared_ptr<EmPlayerPlatform> platform, QKugouBanzou* log_reader, int refresh_interval_ms,
                QObject* parent = nullptr);

    // The player's icon for an executable name of the player table, else empty. Safe from any
    // thread: the table is complete before the watcher is shared.
    QString icon_for_exe(const QString& exe) const;

public slots:
    void refresh_windows_window();

signals:
    // The entry's process appeared, was replaced or went away; process_id() tells which.
    void app_status_change_signal(EmAppEntry* entry);

private:
    using ProcessList = std::optional<std::vector<EmPlayerPlatform::Process>>;
    using WindowList = std::vector<EmPlayerPlatform::Window>;

    void update_process(EmAppEntry& entry, const ProcessList& processes);
    void read_windows(EmAppEntry& entry, const WindowList& windows) const;

    std::shared_ptr<EmPlayerPlatform> platform;
    QTimer* timer;
    std::mutex mutex;
    std::vector<std::unique_ptr<EmAppEntry>> entries;
    QMap<QString, QString> icons;
    QSet<QString> ignored_titles;
    QKugouBanzou* log_reader;
};
