#include "EmAppEntry.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

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
    current_text = parse(raw).trimmed();
}

void EmAppEntry::begin_refresh()
{
    std::lock_guard<std::mutex> lock(mutex);
    last_text = current_text;
    current_text.clear();
}

bool EmAppEntry::title_changed() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return !current_text.isEmpty() && current_text != last_text;
}

QString EmAppEntry::song_name() const
{
    return piece_of_current(singer_first ? 1 : 0);
}

QString EmAppEntry::singer_name() const
{
    return piece_of_current(singer_first ? 0 : 1);
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

QString EmAppEntry::parse(const QString& raw) const
{
    switch (rule) {
    case Rule::Ring:
        return ring_rule(raw);
    case Rule::MarkerRemoval:
        // A title without the marker belongs to another window of the player (a menu, a
        // dialog); it must not wipe what the player's main window set in this refresh.
        return raw.contains(marker) ? QString(raw).remove(marker) : current_text;
    case Rule::Foobar:
        return foobar_rule(raw);
    case Rule::Swap:
        return swap_rule(raw);
    case Rule::Unchanged:
        break;
    }
    return raw;
}

QString EmAppEntry::ring_rule(const QString& title) const
{
    // A scrolling title is a ring of characters: the player's name can stand anywhere in it,
    // even split across the end and the start. The text is rebuilt from what follows the
    // marker, continuing around the ring. The ring is searched in the title written twice; the
    // marker must fit in a rotation without its first character, and the text is taken from the
    // rotation that follows the first one holding it.
    const int n = title.size();
    const int m = marker.size();
    if (m > n - 1) {
        return title;
    }
    const QString twice = title + title;
    const int found = twice.indexOf(marker, 1);
    if (found < 0) {
        return title;
    }
    const int rotation = std::max(0, found + m - n) + 1;
    const QStringList parts = twice.mid(rotation, n).split(marker, Qt::KeepEmptyParts);
    return parts.at(1) + parts.at(0);
}

QString EmAppEntry::foobar_rule(const QString& title) const
{
    if (!title.contains(foobar_marker)) {
        return current_text;
    }
    // Album and track tags stand in brackets anywhere in the title.
    static const QRegularExpression bracketed(QStringLiteral("(\\[[^\\]]*\\])"));
    QString text = QString(title).remove(foobar_marker).remove(bracketed);
    // The player shows singer first.
    return swap_rule(text);
}

QString EmAppEntry::swap_rule(const QString& text) const
{
    const QStringList parts = pieces(text);
    if (parts.size() < 2) {
        return text;
    }
    return parts.at(1) + separator_ + parts.at(0);
}

QStringList EmAppEntry::pieces(const QString& text) const
{
    if (separator_.isEmpty()) {
        return {text};
    }
    return text.split(separator_, Qt::KeepEmptyParts);
}

QString EmAppEntry::piece_of_current(int index) const
{
    std::lock_guard<std::mutex> lock(mutex);
    const QStringList parts = pieces(current_text);
    return parts.size() < 2 ? parts.at(0) : parts.at(index);
}
