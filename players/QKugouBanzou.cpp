#include "QKugouBanzou.h"

#include <QFile>
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
    if (!log_file->isOpen() && !log_file->open(QIODevice::ReadOnly)) {
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

    QString found;
    QByteArray line;
    qint64 line_start = log_file->pos();
    char chunk[16 * 1024];
    for (qint64 got; (got = log_file->readLine(chunk, sizeof chunk)) > 0;) {
        if (!skipping_long_line) {
            if (line.size() + got > max_line_bytes) {
                skipping_long_line = true;
                line.clear();
            } else {
                line.append(chunk, static_cast<int>(got));
            }
        }
        if (chunk[got - 1] == '\n') {
            if (!skipping_long_line) {
                take_song(line, found);
            }
            skipping_long_line = false;
            line.clear();
            line_start = log_file->pos();
        }
    }
    if (!line.isEmpty()) {
        if (growing) {
            log_file->seek(line_start);
        } else {
            take_song(line, found);
        }
    }

    if (!found.isEmpty()) {
        std::lock_guard<std::mutex> lock(mutex);
        last_song = found;
    }
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

void QKugouBanzou::take_song(const QByteArray& line, QString& found) const
{
    QString text = codec ? codec->toUnicode(line) : QString::fromLocal8Bit(line);
    // The line end would survive into the song name whenever the name has no extension.
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r'))) {
        text.chop(1);
    }
    if (!text.contains(QLatin1String("OnOpened")) || !text.contains(QLatin1String("SongName"))) {
        return;
    }
    QString name = text.mid(text.lastIndexOf(QLatin1Char(':')) + 1);
    const int extension = name.lastIndexOf(QLatin1Char('.'));
    if (extension >= 0) {
        name.truncate(extension);
    }
    if (!name.isEmpty()) {
        found = name;
    }
}
