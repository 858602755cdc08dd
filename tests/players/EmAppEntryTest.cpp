#include "EmAppEntry.h"

#include <QRandomGenerator>
#include <QVector>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

EmAppEntry* make_entry(const QString& exe)
{
    const bool no_separator = exe == QLatin1String("WeSing.exe") || exe == QLatin1String("XiamiPC.exe");
    const QString separator =
        exe == QLatin1String("kwmusic.exe") ? QStringLiteral("-") : QStringLiteral(" - ");
    return new EmAppEntry(exe, QStringLiteral("cls"), no_separator ? QString() : separator);
}

// Song and singer after one refresh that saw the given titles, in order.
QString refresh(EmAppEntry& entry, const QStringList& titles)
{
    entry.begin_refresh();
    for (const QString& title : titles) {
        entry.update_title(title);
    }
    return entry.song_name() + QLatin1Char('|') + entry.singer_name();
}

// With no separator the song is the whole text, which shows the ring rule's result unsplit.
QString kugou_text(const QString& title)
{
    EmAppEntry entry(QStringLiteral("KuGou.exe"), QStringLiteral("kugou_ui"), QString());
    entry.update_title(title);
    return entry.song_name();
}

// The rotation search spelled out: turn the ring one character at a time and stop at the first
// rotation whose tail holds the marker.
QString literal_ring_rule(const QString& title, const QString& marker)
{
    const QVector<uint> characters = title.toUcs4();
    QVector<uint> ring = characters;
    for (const uint character : characters) {
        ring.removeFirst();
        const QString tail = QString::fromUcs4(ring.constData(), ring.size());
        ring.append(character);
        if (tail.contains(marker)) {
            const QStringList parts =
                QString::fromUcs4(ring.constData(), ring.size()).split(marker, Qt::KeepEmptyParts);
            return parts.at(1) + parts.at(0);
        }
    }
    return title;
}

} // namespace

TEST(EmAppEntryTest, TitlesBecomeSongAndSinger)
{
    const char* const examples[][3] = {
        {"KuGou.exe", "周杰伦 - 晴天 - 酷狗音乐 ", "晴天|周杰伦"},
        {"KuGou.exe", "狗音乐 周杰伦 - 晴天 - 酷", "晴天|周杰伦"},
        {"KuGou.exe", "酷狗音乐", "酷狗音乐|酷狗音乐"},
        // Without its trailing space the marker is no marker: three pieces.
        {"KuGou.exe", "周杰伦 - 晴天 - 酷狗音乐", "晴天|周杰伦"},
        {"KuGou.exe", " - 酷狗音乐 周杰伦 - 晴天", "晴天|周杰伦"},
        {"kwmusic.exe", "我音乐晴天-周杰伦-酷", "晴天|周杰伦"},
        // The ring turns by whole characters: a pair of surrogates is never torn apart.
        {"KuGou.exe", "𝄞a - 酷狗音乐 b - 酷狗音乐 c", "ba|ba"},
        {"kwmusic.exe", "𝄞a-酷我音乐b-酷我音乐c", "ba|ba"},
        {"kwmusic.exe", "-酷我音乐𝄞b-𝄞", "𝄞b|𝄞"},
        {"WeSing.exe", "全民K歌 - 小幸运", "小幸运|小幸运"},
        {"WeSing.exe", "全民K歌 - 全民K歌 - 小幸运", "小幸运|小幸运"},
        {"WeSing.exe", "全民K歌", "|"},
        {"BaiduMusic.exe", "晴天 - 周杰伦 - 千千音乐", "晴天|周杰伦"},
        {"foobar2000.exe", "周杰伦 - [叶惠美 #01] 晴天 [foobar2000]", "晴天 |周杰伦"},
        {"foobar2000.exe", "[CD1] 周杰伦 - 晴天[03] [foobar2000] [flac]", "晴天  | 周杰伦"},
        {"foobar2000.exe", "晴天 [foobar2000]", "晴天|晴天"},
        {"foobar2000.exe", "foobar2000", "|"},
        {"FanXingBanZou.exe", "周杰伦 - 晴天", "晴天|周杰伦"},
        // Song and singer are the swapped pieces, whatever the joined text would split into.
        {"FanXingBanZou.exe", "周杰伦 - 晴天 -", "晴天 -|周杰伦"},
        {"FanXingBanZou.exe", "- 周杰伦 - 晴天", "晴天|- 周杰伦"},
        {"FanXingBanZou.exe", " 周杰伦\r -  晴天 - 七里香", "晴天| 周杰伦"},
        {"foobar2000.exe", "周杰伦 - 晴天 -[foobar2000]", "晴天 -|周杰伦"},
        {"QQMusic.exe", "晴天 - 周杰伦", "晴天|周杰伦"},
        {"QQMusic.exe", "\u3000晴天 - 周杰伦\u00a0\t", "晴天|周杰伦"},
        {"cloudmusic.exe", "晴天 - 周杰伦", "晴天|周杰伦"},
        {"XiamiPC.exe", "晴天 - 周杰伦", "晴天 - 周杰伦|晴天 - 周杰伦"},
        // Another letter case is another program: no rule, song first.
        {"kugou.exe", "周杰伦 - 晴天 - 酷狗音乐 ", "周杰伦|晴天"},
        {"Foobar2000.exe", "周杰伦 - 晴天 [foobar2000]", "周杰伦|晴天 [foobar2000]"},
    };
    for (const auto& example : examples) {
        SCOPED_TRACE(std::string(example[0]) + " «" + example[1] + "»");
        std::unique_ptr<EmAppEntry> entry(make_entry(QString::fromUtf8(example[0])));
        EXPECT_EQ(refresh(*entry, {QString::fromUtf8(example[1])}), QString::fromUtf8(example[2]));
        EXPECT_EQ(entry->title_changed(), example[2][0] != '|');
    }
}

TEST(EmAppEntryTest, RingRuleGivesOneTextForEveryRotation)
{
    for (const char* exe : {"KuGou.exe", "kwmusic.exe"}) {
        std::unique_ptr<EmAppEntry> entry(make_entry(QString::fromUtf8(exe)));
        const QString title = exe[1] == 'u' ? QStringLiteral("周杰伦 - 晴天 - 酷狗音乐 ")
                                            : QStringLiteral("晴天-周杰伦-酷我音乐");
        for (int shift = 0; shift < title.size(); ++shift) {
            EXPECT_EQ(refresh(*entry, {title.mid(shift) + title.left(shift)}), QStringLiteral("晴天|周杰伦"))
                << exe << " shifted by " << shift;
        }
    }
}

TEST(EmAppEntryTest, RingRuleAgreesWithTurningTheRingCharacterByCharacter)
{
    const QString marker = QStringLiteral(" - 酷狗音乐 ");
    EXPECT_EQ(kugou_text(marker), QStringLiteral("- 酷狗音乐"));
    EXPECT_EQ(kugou_text(QStringLiteral("周杰伦 - 酷狗音乐 晴天 - 酷狗音乐 ")), QStringLiteral("晴天杰伦"));
    // Titles made of the marker's own characters put it anywhere: whole, across the ring's end,
    // twice, overlapping itself.
    const QStringList alphabet = {" ", "-", "酷", "狗", "音", "乐", "a", "𝄞"};
    QRandomGenerator random(20240611);
    for (int round = 0; round < 4000; ++round) {
        QStringList characters;
        for (int i = random.bounded(24); i > 0; --i) {
            characters += alphabet.at(random.bounded(alphabet.size()));
        }
        for (int markers = random.bounded(3); markers > 0; --markers) {
            characters.insert(random.bounded(characters.size() + 1), marker);
        }
        const QString title = characters.join(QString());
        ASSERT_EQ(kugou_text(title), literal_ring_rule(title, marker).trimmed()) << title.toStdString();
    }
}

TEST(EmAppEntryTest, MarkerMissKeepsWhatAnEarlierWindowOfTheRefreshSet)
{
    std::unique_ptr<EmAppEntry> wesing(make_entry(QStringLiteral("WeSing.exe")));
    EXPECT_EQ(refresh(*wesing, {"全民K歌 - 小幸运", "全民K歌"}), QStringLiteral("小幸运|小幸运"));
    EXPECT_EQ(refresh(*wesing, {"全民K歌 - 晴天", "全民K歌 - 稻香"}), QStringLiteral("稻香|稻香"));
    std::unique_ptr<EmAppEntry> baidu(make_entry(QStringLiteral("BaiduMusic.exe")));
    EXPECT_EQ(refresh(*baidu, {"晴天 - 周杰伦 - 千千音乐", "设置"}), QStringLiteral("晴天|周杰伦"));
    EXPECT_EQ(refresh(*baidu, {"设置"}), QStringLiteral("|"));
    EXPECT_FALSE(baidu->title_changed());
    std::unique_ptr<EmAppEntry> foobar(make_entry(QStringLiteral("foobar2000.exe")));
    EXPECT_EQ(refresh(*foobar, {"周杰伦 - 晴天 [foobar2000]", "foobar2000 v1.6"}),
              QStringLiteral("晴天 |周杰伦"));
}

TEST(EmAppEntryTest, TitleChangedComparesWholeRefreshes)
{
    std::unique_ptr<EmAppEntry> qq(make_entry(QStringLiteral("QQMusic.exe")));
    const auto changed = [&](const QStringList& titles) {
        refresh(*qq, titles);
        return qq->title_changed();
    };
    EXPECT_TRUE(changed({"晴天 - 周杰伦"}));
    EXPECT_FALSE(changed({"晴天 - 周杰伦"}));
    EXPECT_FALSE(changed({"  晴天 - 周杰伦 "}));
    EXPECT_TRUE(changed({"晴天 -  周杰伦"}));
    EXPECT_TRUE(changed({"Sunny - Jay"}));
    EXPECT_TRUE(changed({"sunny - Jay"}));
    // A refresh without a title forgets the song, so it is news again when it comes back.
    EXPECT_FALSE(changed({}));
    EXPECT_TRUE(changed({"sunny - Jay"}));

    // Both swap into «晴天 - - 周杰伦», but with the song and singer told apart otherwise.
    std::unique_ptr<EmAppEntry> fanxing(make_entry(QStringLiteral("FanXingBanZou.exe")));
    EXPECT_EQ(refresh(*fanxing, {"周杰伦 - 晴天 -"}), QStringLiteral("晴天 -|周杰伦"));
    EXPECT_EQ(refresh(*fanxing, {"- 周杰伦 - 晴天"}), QStringLiteral("晴天|- 周杰伦"));
    EXPECT_TRUE(fanxing->title_changed());
}

TEST(EmAppEntryTest, ReaderOnAnotherThreadSeesWholeTexts)
{
    std::unique_ptr<EmAppEntry> qq(make_entry(QStringLiteral("QQMusic.exe")));
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        for (quint32 i = 1; i <= 5000; ++i) {
            refresh(*qq,
                    {i % 2 ? QStringLiteral("晴天 - 周杰伦") : QStringLiteral("Yesterday - The Beatles")});
            qq->set_process_id(i);
        }
        done = true;
    });
    const QStringList songs = {QString(), QStringLiteral("晴天"), QStringLiteral("Yesterday")};
    while (!done) {
        EXPECT_TRUE(songs.contains(qq->song_name()));
        EXPECT_LE(qq->process_id(), 5000u);
    }
    watcher.join();
    EXPECT_EQ(qq->song_name(), QStringLiteral("Yesterday"));
    EXPECT_EQ(qq->process_id(), 5000u);
}
