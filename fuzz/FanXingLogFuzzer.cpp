// FanXing's log, as the log reader follows it: written in pieces between polls, sometimes started
// anew.
//
// Input: the bytes the program writes to its log, where the byte 0x01 stands for one poll of the
// reader and 0x02 for the program starting a new, empty log. After the last byte the reader
// polls until the log has stopped growing.
//
// Beside the crash checks, the song after every poll is compared with the latest announcement
// of the lines written so far, as a person reading the log would pick it out.

#include "FuzzSupport.h"
#include "QKugouBanzou.h"

#include <QDir>
#include <QFile>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace {

constexpr char poll_mark = '\x01';
constexpr char new_log_mark = '\x02';

QString log_folder()
{
    return fuzz::work_folder() + QStringLiteral("/fanxing");
}

QString log_path()
{
    return log_folder() + QStringLiteral("/FXbanzou/log.txt");
}

void write_log(const std::string& bytes, QIODevice::OpenMode mode)
{
    QFile log(log_path());
    if (!log.open(QIODevice::WriteOnly | mode) ||
        log.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        fuzz::fail("the log can be written", log_path());
    }
}

struct Announcement
{
    QString name;
    // A line whose last character before its end is cut in half may decode either way.
    bool certain = true;
};

// The lines of the log as the program wrote them, and which of them a reader has seen whole.
class LogModel
{
public:
    void append(const std::string& bytes) { text += bytes; }

    void start_anew()
    {
        text.clear();
        line_start = 0;
    }

    // What a poll can see: every line with its end, and a last line without one once the log
    // has stopped growing.
    void poll()
    {
        const bool growing = static_cast<long long>(text.size()) != size_at_last_poll;
        size_at_last_poll = static_cast<long long>(text.size());
        for (std::size_t end; (end = text.find('\n', line_start)) != std::string::npos;) {
            take(text.substr(line_start, end + 1 - line_start));
            line_start = end + 1;
        }
        if (!growing && line_start < text.size()) {
            take(text.substr(line_start));
            line_start = text.size();
        }
    }

    const std::optional<Announcement>& latest() const { return announced; }

private:
    void take(const std::string& line)
    {
        QString decoded =
            QTextCodec::codecForName("GBK")->toUnicode(line.data(), static_cast<int>(line.size()));
        while (decoded.endsWith(QLatin1Char('\n')) || decoded.endsWith(QLatin1Char('\r'))) {
            decoded.chop(1);
        }
        if (!decoded.contains(QLatin1String("OnOpened")) || !decoded.contains(QLatin1String("SongName"))) {
            return;
        }
        QString name = decoded.mid(decoded.lastIndexOf(QLatin1Char(':')) + 1);
        if (name.lastIndexOf(QLatin1Char('.')) >= 0) {
            name.truncate(name.lastIndexOf(QLatin1Char('.')));
        }
        if (name.isEmpty()) {
            return;
        }
        std::size_t content_end = line.size();
        while (content_end > 0 && (line[content_end - 1] == '\n' || line[content_end - 1] == '\r')) {
            --content_end;
        }
        const bool half_character_at_end = content_end > 0 && content_end < line.size() &&
                                           static_cast<unsigned char>(line[content_end - 1]) >= 0x80;
        announced = Announcement{name, !half_character_at_end};
    }

    std::string text;
    std::size_t line_start = 0;
    long long size_at_last_poll = -1;
    std::optional<Announcement> announced;
};

void check(const QKugouBanzou& reader, const LogModel& model)
{
    const QString song = reader.current_song();
    if (song.endsWith(QLatin1Char('\r')) || song.endsWith(QLatin1Char('\n'))) {
        fuzz::fail("a song name never ends in a line-end character", fuzz::spelled_out(song));
    }
    const std::optional<Announcement>& latest = model.latest();
    if (!latest) {
        if (!song.isEmpty()) {
            fuzz::fail("no song before the first announcement", fuzz::spelled_out(song));
        }
        return;
    }
    // How blanks around a name are treated is the entry's business, not the reader's.
    if (latest->certain && !latest->name.trimmed().isEmpty() && song.trimmed() != latest->name.trimmed()) {
        fuzz::fail("the song is the latest one announced",
                   "read " + fuzz::spelled_out(song) + ", announced " + fuzz::spelled_out(latest->name));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensure_application();
    QDir().mkpath(log_folder() + QStringLiteral("/FXbanzou"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A poll reads at most one block and passes over a line that fills it whole; the model knows
    // neither.
    if (size >= static_cast<std::size_t>(QKugouBanzou::max_poll_bytes)) {
        return 0;
    }
    write_log(std::string(), QIODevice::Truncate);
    QKugouBanzou reader({"APPDATA=" + log_folder()}, 0);
    LogModel model;
    const auto poll = [&reader, &model]() {
        reader.refresh_log();
        model.poll();
        check(reader, model);
    };

    const std::string input = fuzz::bytes_of(data, size);
    std::string pending;
    for (const char byte : input) {
        if (byte != poll_mark && byte != new_log_mark) {
            pending += byte;
            continue;
        }
        write_log(pending, QIODevice::Append);
        model.append(pending);
        pending.clear();
        if (byte == poll_mark) {
            poll();
        } else {
            // The old log is read to its end before the program replaces it.
            poll();
            poll();
            write_log(std::string(), QIODevice::Truncate);
            model.start_anew();
            poll();
        }
    }
    write_log(pending, QIODevice::Append);
    model.append(pending);
    poll();
    poll();
    return 0;
}
