// Window titles, and FanXing's announced songs, through the watcher and the
// nine players' title rules on the in-memory desktop, over several refreshes.
//
// Input: lines. A line "--" ends a refresh; any other line starts with the
// player's digit, 0 to 8 in the order of the player table, followed by the
// title. A player's lines of one refresh title its first, second and third
// window; FanXing's (8) are announced in its log instead. Windows keep their
// titles until a later refresh changes them.

#include "EmAppEntry.h"
#include "EmFakePlayerPlatform.h"
#include "EmTitleEnum.h"
#include "FuzzSupport.h"
#include "QKugouBanzou.h"
#include "ZuDataBus.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t windows_per_player = 3;
constexpr int most_refreshes = 8;

struct Player
{
    std::string exe_name;
    QString separator;
    bool reads_windows = true;
    std::uint32_t process_id = 0;
    std::vector<int> windows;
    std::vector<std::string> titles;
    EmAppEntry* entry = nullptr;
    // Whatever the player showed in this refresh differs from the previous one.
    bool input_changed = false;
    QString song_announced;
};

QString log_folder()
{
    return fuzz::work_folder() + QStringLiteral("/titles");
}

QString log_path()
{
    return log_folder() + QStringLiteral("/FXbanzou/log.txt");
}

void start_log()
{
    QDir().mkpath(log_folder() + QStringLiteral("/FXbanzou"));
    QFile log(log_path());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        fuzz::fail("the log can be written", log_path());
    }
}

void announce(const std::string& title)
{
    QFile log(log_path());
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append)) {
        fuzz::fail("the log can be written", log_path());
    }
    log.write("[12:00:01] PlayCtrl OnOpened SongName:" +
              QTextCodec::codecForName("GBK")->fromUnicode(QString::fromStdString(title)) + "\r\n");
}

bool has_lone_surrogate(const QString& text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
        } else if (text.at(i).isSurrogate()) {
            return true;
        }
    }
    return false;
}

// Every character of part occurs in whole at least as often.
bool drawn_from(const QString& part, const QString& whole)
{
    std::map<char16_t, int> available;
    for (const QChar c : whole) {
        ++available[c.unicode()];
    }
    for (const QChar c : part) {
        if (--available[c.unicode()] < 0) {
            return false;
        }
    }
    return true;
}

// The text whose first two pieces the rule swaps: FanXing's announced song, or
// foobar2000's one title without its marker when it holds no other bracket.
std::optional<QString> swapped_text(const Player& player, const QStringList& titles)
{
    if (!player.reads_windows) {
        return player.song_announced;
    }
    static const QString marker = QStringLiteral("[foobar2000]");
    if (player.exe_name != "foobar2000.exe" || titles.size() != 1 || !titles.front().contains(marker)) {
        return std::nullopt;
    }
    const QString text = QString(titles.front()).remove(marker);
    if (text.contains(QLatin1Char('[')) || text.contains(QLatin1Char(']'))) {
        return std::nullopt;
    }
    return text;
}

void check_entry(const Player& player, const QStringList& titles)
{
    const QString fed = titles.join(QString());
    const EmAppEntry& entry = *player.entry;
    const QString song = entry.song_name();
    const QString singer = entry.singer_name();
    const QString detail = QString::fromStdString(player.exe_name) + ": song " + fuzz::spelled_out(song) +
                           ", singer " + fuzz::spelled_out(singer) + ", from " + fuzz::spelled_out(fed);
    if (has_lone_surrogate(song) || has_lone_surrogate(singer)) {
        fuzz::fail("song and singer hold whole characters only", detail);
    }
    if (!drawn_from(song, fed) || !drawn_from(singer, fed)) {
        fuzz::fail("song and singer are made of the title's characters", detail);
    }
    // The normalised text is trimmed, and its first piece starts it.
    const QString& first = entry.exe_name() == QLatin1String("KuGou.exe") ? singer : song;
    if (!first.isEmpty() && first.front().isSpace()) {
        fuzz::fail("the normalised text starts with no blank", detail);
    }
    if (player.separator.isEmpty() && !song.isEmpty() && song.back().isSpace()) {
        fuzz::fail("the normalised text ends with no blank", detail);
    }
    // A text that reads "singer - song" comes out with its pieces in their
    // places, whatever they contain.
    if (const std::optional<QString> text = swapped_text(player, titles)) {
        const QStringList pieces = text->split(player.separator);
        if (pieces.size() >= 2 && !pieces.at(0).trimmed().isEmpty() && !pieces.at(1).trimmed().isEmpty() &&
            (singer.trimmed() != pieces.at(0).trimmed() || song.trimmed() != pieces.at(1).trimmed())) {
            fuzz::fail("the announced singer and song keep their places", detail);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensure_application();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    auto platform = std::make_shared<EmFakePlayerPlatform>();
    std::vector<Player> players;
    std::uint32_t process = 100;
    for (const EmTitleEnum::PlayerRow& row : EmTitleEnum::player_table()) {
        Player player;
        player.exe_name = row.exe_name;
        player.separator = QString::fromUtf8(row.separator);
        player.reads_windows = *row.window_class != '\0';
        player.process_id = ++process;
        platform->start_process(row.exe_name, player.process_id);
        for (std::size_t i = 0; player.reads_windows && i < windows_per_player; ++i) {
            player.windows.push_back(platform->add_window(process, row.window_class, std::string()));
            player.titles.emplace_back();
        }
        players.push_back(std::move(player));
    }

    start_log();
    auto* reader = new QKugouBanzou({"APPDATA=" + log_folder()}, 0);
    EmTitleEnum watcher(platform, reader, 0);
    QObject receiver;
    QObject::connect(&watcher, &EmTitleEnum::app_status_change_signal, &receiver,
                     [&players](EmAppEntry* entry) {
                         for (Player& player : players) {
                             if (player.exe_name == entry->exe_name().toStdString()) {
                                 player.entry = entry;
                             }
                         }
                     });
    QSet<EmAppEntry*> changed;
    QObject::connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, &receiver,
                     [&changed](EmAppEntry* entry) { changed.insert(entry); });

    const std::vector<std::string> lines = fuzz::lines_of(data, size);
    std::size_t next_line = 0;
    for (int refresh = 0; refresh < most_refreshes && next_line < lines.size(); ++refresh) {
        std::vector<std::size_t> titled(players.size(), 0);
        for (Player& player : players) {
            player.input_changed = false;
        }
        for (; next_line < lines.size() && lines[next_line] != "--"; ++next_line) {
            const std::string& line = lines[next_line];
            const unsigned digit = static_cast<unsigned char>(line.empty() ? '0' : line[0]) - '0';
            if (line.empty() || digit >= players.size()) {
                continue;
            }
            Player& player = players[digit];
            const std::string title = line.substr(1);
            if (!player.reads_windows) {
                announce(title);
            } else if (titled[digit] < windows_per_player) {
                const std::size_t window = titled[digit]++;
                player.input_changed = player.input_changed || player.titles[window] != title;
                player.titles[window] = title;
                platform->set_title(player.windows[window], title);
            }
        }
        ++next_line;

        reader->refresh_log();
        for (Player& player : players) {
            if (!player.reads_windows) {
                const QString song = reader->current_song();
                player.input_changed = song != player.song_announced;
                player.song_announced = song;
            }
        }
        changed.clear();
        watcher.refresh_windows_window();

        // What the desktop handed the rules, as they decode it.
        std::map<std::uint32_t, QStringList> fed;
        for (const EmPlayerPlatform::Window& window : platform->list_top_level_windows()) {
            const QString title = QString::fromStdString(window.title);
            if (title.size() > static_cast<int>(EmPlayerPlatform::max_text_units)) {
                fuzz::fail("a window title is cut to 255 UTF-16 units",
                           QString::number(title.size()) + " units in " + fuzz::spelled_out(title));
            }
            if (!title.isEmpty()) {
                fed[window.process_id].append(title);
            }
        }
        for (const Player& player : players) {
            if (player.entry == nullptr) {
                fuzz::fail("every running player is announced", QString::fromStdString(player.exe_name));
            }
            check_entry(player,
                        player.reads_windows ? fed[player.process_id] : QStringList{player.song_announced});
            if (refresh > 0 && !player.input_changed && changed.contains(player.entry)) {
                fuzz::fail("a player whose titles stayed the same reports no new song",
                           QString::fromStdString(player.exe_name) + ": " +
                               fuzz::spelled_out(player.entry->song_name()));
            }
        }
    }
    return 0;
}
