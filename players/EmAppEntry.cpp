#include "EmAppEntry.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const QString foobar_marker = QStringLiteral("[foobar2000]");

} // namespace

EmAppEntry::EmAppEntry(const QString& exe_name, const QString& window_class, const QString& separator)
    : window_class_(window_class)
    , exe_name_(exe_name)
    , separator_(separator)
{
    // The executable name never changes, so its rule is chosen once. The comparison is exact:
    // a name that differs in letter case is another program and keeps its titles as they are.
    if (exe_name == QLatin1String("KuGou.exe")) {
        rule = Rule::Ring;
        marker = QStringLiteral(" - 酷狗音乐 ");
        singer_first = true;
    } else if (exe_name == QLatin1String("WeSing.exe")) {
        rule = Rule::MarkerRemoval;
        marker = QStringLiteral("全民K歌 - ");
    } else if (exe_name == QLatin1String("kwmusic.exe")) {
        rule = Rule::Ring;
        marker = QStringLiteral("-酷我音乐");
    } else if (exe_name == QLatin1String("BaiduMusic.exe")) {
        rule = Rule::MarkerRemoval;
        marker = QStringLiteral("- 千千音乐");
    } else if (exe_name == QLatin1String("foobar2000.exe")) {
        rule = Rule::Foobar;
        marker = foobar_marker;
    } else if (exe_name == QLatin1String("FanXingBanZou.exe")) {
        rule = Rule::Swap;
    }
}

void EmAppEntry::update_title(const QString& raw)
{
    std::lock_guard<std::mutex> lock(mutex);
    current = parse(raw);
}

void EmAppEntry::begin_refresh()
{
    std::lock_guard<std::mutex> lock(mutex);
    last = std::exchange(current, Title());
}

bool EmAppEntry::title_changed() const
{
    std::lock_guard<std::mutex> lock(mutex);
    // Song and singer count too: two swapped titles can join into the same text.
    return !current.text.isEmpty() &&
           (current.text != last.text || current.song != last.song || current.singer != last.singer);
}

QString EmAppEntry::song_name() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return current.song;
}

QString EmAppEntry::singer_name() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return current.singer;
}

quint32 EmAppEntry::process_id() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return process_id_;
}

void EmAppEntry::set_process_id(quint32 id)
{
    std::lock_guard<std::mutex> lock(mutex);
    process_id_ = id;
}

QString EmAppEntry::window_class() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return window_class_;
}

EmAppEntry::Title EmAppEntry::parse(const QString& raw) const
{
    switch (rule) {
    case Rule::Ring:
        return split_title(ring_rule(raw));
    case Rule::MarkerRemoval:
        // A title without the marker belongs to another window of the player (a menu, a
        // dialog); it must not wipe what the player's main window set in this refresh.
        return raw.contains(marker) ? split_title(QString(raw).remove(marker)) : current;
    case Rule::Foobar:
        return foobar_rule(raw);
    case Rule::Swap:
        return swap_rule(raw);
    case Rule::Unchanged:
        break;
    }
    return split_title(raw);
}

EmAppEntry::Title EmAppEntry::split_title(const QString& text) const
{
    Title title{text.trimmed(), QString(), QString()};
    const QStringList parts = pieces(title.text);
    if (parts.size() < 2) {
        title.song = title.singer = parts.at(0);
    } else {
        title.song = parts.at(singer_first ? 1 : 0);
        title.singer = parts.at(singer_first ? 0 : 1);
    }
    return title;
}

QString EmAppEntry::ring_rule(const QString& title) const
{
    // A scrolling title is a ring of characters: the player's name can stand anywhere in it,
    // even split across the end and the start. The text is rebuilt from what follows the
    // marker, continuing around the ring. The ring is searched in the title written twice; the
    // marker must fit in a rotation without its first character, and the text is taken from the
    // rotation that follows the first one holding it. The ring turns by whole characters, so
    // that a character outside the basic plane is never torn from its other half.
    std::vector<int> starts;
    for (int unit = 0; unit < title.size(); ++unit) {
        if (!(title.at(unit).isLowSurrogate() && unit > 0 && title.at(unit - 1).isHighSurrogate())) {
            starts.push_back(unit);
        }
    }
    const int units = title.size();
    const int n = static_cast<int>(starts.size());
    const int m = marker.size();
    if (m > n - 1) {
        return title;
    }
    const QString twice = title + title;
    const int found = twice.indexOf(marker, 1);
    if (found < 0) {
        return title;
    }
    // The marker holds no surrogates, so it starts on a character of the first or second copy.
    const int in_copy = found < units ? found : found - units;
    const int found_character =
        static_cast<int>(std::lower_bound(starts.begin(), starts.end(), in_copy) - starts.begin()) +
        (found < units ? 0 : n);
    const int rotation = std::max(0, found_character + m - n) + 1;
    const int rotation_unit = rotation < n ? starts.at(rotation) : units;
    const QStringList parts = twice.mid(rotation_unit, units).split(marker, Qt::KeepEmptyParts);
    return parts.at(1) + parts.at(0);
}

EmAppEntry::Title EmAppEntry::foobar_rule(const QString& title) const
{
    if (!title.contains(foobar_marker)) {
        return current;
    }
    // Album and track tags stand in brackets anywhere in the title.
    static const QRegularExpression bracketed(QStringLiteral("(\\[[^\\]]*\\])"));
    const QString text = QString(title).remove(foobar_marker).remove(bracketed);
    // The player shows singer first.
    return swap_rule(text);
}

EmAppEntry::Title EmAppEntry::swap_rule(const QString& text) const
{
    const QStringList parts = pieces(text);
    if (parts.size() < 2) {
        return split_title(text);
    }
    // Song and singer come from the pieces themselves: split again, the joined text could
    // break inside a song or singer that ends or starts like the separator. The trimming of the
    // joined text reaches only the song's start and the singer's end.
    QString song = parts.at(1);
    int blank = 0;
    while (blank < song.size() && song.at(blank).isSpace()) {
        ++blank;
    }
    song.remove(0, blank);
    QString singer = parts.at(0);
    blank = singer.size();
    while (blank > 0 && singer.at(blank - 1).isSpace()) {
        --blank;
    }
    singer.truncate(blank);
    return {(parts.at(1) + separator_ + parts.at(0)).trimmed(), song, singer};
}

QStringList EmAppEntry::pieces(const QString& text) const
{
    if (separator_.isEmpty()) {
        return {text};
    }
    return text.split(separator_, Qt::KeepEmptyParts);
}
