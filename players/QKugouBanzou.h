#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <mutex>

class QFile;
class QTextCodec;
class QTimer;

// Follows the FanXing accompaniment program's log, which announces every song it opens, and
// keeps the name of the latest one. The file stays open and each poll reads only what was
// added since the previous one.
class QKugouBanzou : public QObject
{
    Q_OBJECT
public:
    static constexpr int default_poll_interval_ms = 1000;
    // The most a poll reads; a line longer than that cannot be an announcement worth keeping,
    // and is passed over without being held in memory.
    static constexpr int max_poll_bytes = 1024 * 1024;

    // Follows the log named by the process environment, polled once a second from the first
    // second on.
    explicit QKugouBanzou(QObject* parent = nullptr);
    // Follows the log named by the given environment ("NAME=value" entries); with a poll
    // interval of 0 the owner calls refresh_log() itself.
    QKugouBanzou(const QStringList& environment, int poll_interval_ms, QObject* parent = nullptr);

    // The song (as the log writes it, singer first) of the latest announcement read; empty
    // until one is found.
    QString current_song() const;
    QString log_path() const;

public slots:
    void refresh_log();

private:
    static QString app_data_folder(const QStringList& environment);
    bool open_log();
    void take_song(const char* bytes, int size, QString& found) const;

    QTimer* timer;
    QFile* log_file;
    QString last_song;
    mutable std::mutex mutex;
    QTextCodec* codec;
    // Set while the rest of an overlong line, possibly not yet written, is being passed over.
    bool skipping_long_line = false;
    // Size at the previous poll; a line without its end is taken only once the file has
    // stopped growing, since the writer may be in the middle of it.
    qint64 size_at_last_poll = -1;
};
