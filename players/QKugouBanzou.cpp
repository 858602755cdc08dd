#include "QKugouBanzou.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextCodec>
#include <QTimer>

QKugouBanzou::QKugouBanzou(QObject* parent)
    : QKugouBanzou(QProcess::systemEnvironment(), default_poll_interval_ms, parent)
{
}

QKugouBanzou::QKugouBanzou(const QStringList& environment, int poll_interval_ms, QObject* parent)
    : QObject(parent)
    , timer(new QTimer(this))
    // "/" separates folders on Windows too, as far as Qt's file classes are concerned.
    , log_file(new QFile(app_data_folder(environment) + QStringLiteral("/FXbanzou/log.txt"), this))
    , codec(QTextCodec::codecForName("GBK"))
{
    timer->setInterval(poll_interval_ms);
    connect(timer, &QTimer::timeout, this, &QKugouBanzou::refresh_log);
    if (poll_interval_ms > 0) {
        timer->start();
    }
}

QString QKugouBanzou::current_song() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return last_song;
}

QString QKugouBanzou::log_path() const
{
    return log_file->fileName();
}

void QKugouBanzou::refresh_log()
{
    if (!log_file->isOpen() && !open_log()) {
        return;
    }
    const qint64 size = log_file->size();
    if (size < log_file->pos()) {
        // The program started a new log over the old one: read it from its start, or the
        // songs it announces would go unseen until it outgrew the old one.
        log_file->seek(0);
        skipping_long_line = false;
    }
    const bool growing = size != size_at_last_poll;
    size_at_last_poll = size;

    // A poll costs at most one block however much the log has grown; the rest waits for the
    // polls that follow.
    const QByteArray block = log_file->read(max_poll_bytes);
    QString found;
    int line_start = 0;
    for (int line_end; (line_end = block.indexOf('\n', line_start)) >= 0; line_start = line_end + 1) {
        if (skipping_long_line) {
            skipping_long_line = false;
        } else {
            take_song(block.constData() + line_start, line_end + 1 - line_start, found);
        }
    }
    const int rest = block.size() - line_start;
    const bool block_full = block.size() == max_poll_bytes;
    if (rest > 0 && !skipping_long_line) {
        if (line_start == 0 && block_full) {
            // No line end in a whole block: too long to be an announcement worth keeping.
            skipping_long_line = true;
        } else if (block_full || growing) {
            // Cut by the block, or still being written: read it whole at a later poll.
            log_file->seek(log_file->pos() - rest);
        } else {
            take_song(block.constData() + line_start, rest, found);
        }
    }

    if (!found.isEmpty()) {
        std::lock_guard<std::mutex> lock(mutex);
        last_song = found;
    }
}

bool QKugouBanzou::open_log()
{
    // Only a regular file is a log: a device would never end, a pipe would block the watcher's
    // thread in the open itself, and a folder has nothing to read.
    return QFileInfo(log_file->fileName()).isFile() && log_file->open(QIODevice::ReadOnly);
}

QString QKugouBanzou::app_data_folder(const QStringList& environment)
{
    static const QString name = QStringLiteral("APPDATA=");
    for (const QString& entry : environment) {
        if (entry.startsWith(name, Qt::CaseInsensitive)) {
            return entry.mid(name.size());
        }
    }
    return QString();
}

void QKugouBanzou::take_song(const char* bytes, int size, QString& found) const
{
    // Checked on the bytes first: GBK keeps ASCII as it is, and most lines are no announcement.
    const QByteArray line = QByteArray::fromRawData(bytes, size);
    if (!line.contains("OnOpened") || !line.contains("SongName")) {
        return;
    }
    const QString text = codec ? codec->toUnicode(line) : QString::fromLocal8Bit(line);
    if (!text.contains(QLatin1String("OnOpened")) || !text.contains(QLatin1String("SongName"))) {
        return;
    }
    QString name = text.mid(text.lastIndexOf(QLatin1Char(':')) + 1);
    const int extension = name.lastIndexOf(QLatin1Char('.'));
    if (extension >= 0) {
        name.truncate(extension);
    }
    // The line end goes after the extension, as a stray carriage return can stand before it;
    // left on the name, FanXing's swap rule would carry it into the middle of the text.
    while (name.endsWith(QLatin1Char('\n')) || name.endsWith(QLatin1Char('\r'))) {
        name.chop(1);
    }
    if (!name.isEmpty()) {
        found = name;
    }
}
