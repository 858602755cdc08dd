#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <mutex>

// One supported player. On every refresh the watcher thread hands it the raw titles of the
// player's windows (or the song read from a log), the entry turns them into one normalised text
// that reads song, separator, singer, and says whether that text differs from the previous
// refresh's. The GUI thread reads song, singer and process id through the pointer carried by
// the watcher's signals, so everything that changes after the entry is shared is guarded by its
// own lock. Entries live until the program ends.
class EmAppEntry
{
public:
    EmAppEntry(const QString& exe_name, const QString& window_class, const QString& separator);
    EmAppEntry(const EmAppEntry&) = delete;
    EmAppEntry& operator=(const EmAppEntry&) = delete;

    // Normalises one raw title by the player's rule; a title the rule rejects may leave the text
    // that an earlier window of the same refresh set.
    void update_title(const QString& raw);
    // Starts a refresh: the current text becomes the previous one and the current one empties.
    void begin_refresh();
    // True when this refresh found a non-empty text that differs from the previous refresh's,
    // or reads as another song or singer.
    bool title_changed() const;
    // The current text split at the separator; with no separator both are the whole text. Where
    // the rule swapped singer and song, they are the pieces it swapped.
    QString song_name() const;
    QString singer_name() const;

    quint32 process_id() const;
    void set_process_id(quint32 id);
    QString window_class() const;
    QString exe_name() const { return exe_name_; }

    // Set by the watcher before the entry is shared, so read without the lock.
    QString icon_path() const { return icon_path_; }
    void set_icon_path(const QString& path) { icon_path_ = path; }
    bool reads_window_title() const { return reads_window_title_; }
    void set_reads_window_title(bool reads) { reads_window_title_ = reads; }

    bool is_running() const { return running_; }
    void set_running(bool running) { running_ = running; }

private:
    enum class Rule
    {
        Unchanged,
        Ring,
        MarkerRemoval,
        Foobar,
        Swap
    };

    // One refresh's outcome: the normalised text and the song and singer read from it.
    struct Title
    {
        QString text;
        QString song;
        QString singer;
    };

    Title parse(const QString& raw) const;
    Title split_title(const QString& text) const;
    QString ring_rule(const QString& title) const;
    Title foobar_rule(const QString& title) const;
    Title swap_rule(const QString& text) const;
    QStringList pieces(const QString& text) const;

    quint32 process_id_ = 0;
    const QString window_class_;
    const QString exe_name_;
    Title current;
    Title last;
    QString icon_path_;
    const QString separator_;
    // Atomic because nothing stops a GUI-thread reader from asking while the watcher writes.
    std::atomic<bool> running_{false};
    bool reads_window_title_ = true;
    Rule rule = Rule::Unchanged;
    QString marker;
    // KuGou's rebuilt text reads singer first; every other player's reads song first.
    bool singer_first = false;
    mutable std::mutex mutex;
};
