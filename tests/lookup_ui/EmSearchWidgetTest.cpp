#include "EmSearchWidget.h"
#include "EmAppKeynoteWidget.h"
#include "EmAutoContrlWidget.h"
#include "EmDetailItemWidget.h"
#include "EmDetailWidget.h"
#include "EmFakeAudioCapture.h"
#include "EmHeardKey.h"
#include "EmMessageBoxWidget.h"
#include "EmPluginControl.h"
#include "EmPulseAudioCapture.h"
#include "EmTitleEnum.h"
#include "EmTrayMenu.h"
#include "EmTrayWidget.h"
#include "KestruneConfig.h"
#include "ListenClips.h"
#include "LookupUiTestSupport.h"
#include "PulseServer.h"
#include "TestEventLoop.h"
#include "ZuMusicKeynoteMetaType.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QDesktopServices>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>

namespace {

const std::vector<std::string> three_keys = {"Gb Major", "F# Minor", "C Major"};

class UrlCatcher : public QObject
{
    Q_OBJECT
public slots:
    void open(const QUrl& url) { opened.append(url); }

public:
    QList<QUrl> opened;
};

QList<EmMessageBoxWidget*> visible_error_boxes()
{
    QList<EmMessageBoxWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<EmMessageBoxWidget*>(widget);
        if (box && box->isVisible()) {
            found.append(box);
        }
    }
    return found;
}

// The main window on a desktop of fake players and a fake plugin, asking the scripted key
// service over HTTPS: the whole road from a player's title to the plugin window.
class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        use_program_look();
        close_plugin_window();
        service.answer_keys(three_keys);
        service.forget_lookups();
        watcher = players.make_watcher();
        window = std::make_unique<EmSearchWidget>(watcher);
        window->show();
    }

    void TearDown() override
    {
        window.reset();
        for (EmMessageBoxWidget* box : visible_error_boxes()) {
            box->close();
        }
        close_plugin_window();
    }

    template <typename T>
    T* child(const char* name)
    {
        return window->findChild<T*>(QString::fromLatin1(name));
    }

    QList<EmAppKeynoteWidget*> header_rows()
    {
        QList<EmAppKeynoteWidget*> found;
        auto* layout = child<QVBoxLayout>("main_widget_layout");
        for (int index = 0; index < layout->count(); ++index) {
            if (auto* row = qobject_cast<EmAppKeynoteWidget*>(layout->itemAt(index)->widget())) {
                found.append(row);
            }
        }
        return found;
    }

    QStringList header_exes()
    {
        QStringList exes;
        for (EmAppKeynoteWidget* row : header_rows()) {
            exes << row->exe_name();
        }
        return exes;
    }

    static QStringList header_texts(EmAppKeynoteWidget* row)
    {
        return {find_label(row, "music_name_label")->text(), find_label(row, "music_author_label")->text(),
                find_label(row, "music_keynote_label")->text()};
    }

    QList<EmDetailItemWidget*> result_rows()
    {
        QList<EmDetailItemWidget*> found;
        auto* layout = child<EmDetailWidget>("detail_widget")->findChild<QVBoxLayout*>("detail_layout");
        for (int index = 1; index < layout->count(); ++index) {
            if (auto* row = qobject_cast<EmDetailItemWidget*>(layout->itemAt(index)->widget())) {
                found.append(row);
            }
        }
        return found;
    }

    QStringList result_keys()
    {
        QStringList keys;
        for (EmDetailItemWidget* row : result_rows()) {
            keys << find_label(row, "music_keynote_label")->text();
        }
        return keys;
    }

    QString result_song()
    {
        return find_label(child<EmDetailWidget>("detail_widget"), "detail_music_name_label")->text();
    }

    // Waits for the reply naming the song to be shown, its rows laid out.
    bool await_result(const QString& song)
    {
        return spin_until([&] {
            const QList<EmDetailItemWidget*> rows = result_rows();
            return result_song() == song && !rows.isEmpty() &&
                   std::all_of(rows.begin(), rows.end(), [](QWidget* row) { return row->isVisible(); });
        });
    }

    void start_player(const std::string& exe, std::uint32_t id, const std::string& window_class,
                      const std::string& title)
    {
        players.fake().start_process(exe, id);
        player_windows[exe] = players.fake().add_window(id, window_class, title);
    }

    void check_auto_apply()
    {
        child<EmAutoContrlWidget>("auto_ctrl_widget")->findChild<QCheckBox*>("auto_checkbox")->click();
        ASSERT_TRUE(EmPluginControl::instance()->auto_apply());
    }

    KeyService& service = KeyService::instance();
    PlayerDesktop players;
    EmTitleEnum* watcher = nullptr;
    std::unique_ptr<EmSearchWidget> window;
    std::map<std::string, int> player_windows;
};

TEST_F(MainWindowTest, FormShowsTitleBarResultListAndPanelInOrder)
{
    EXPECT_EQ(window->objectName(), QStringLiteral("EmSearchWidget"));
    // The panel's widest text may need a few pixels more than the design's 275.
    EXPECT_EQ(window->height(), 432);
    EXPECT_GE(window->width(), 275);
    EXPECT_LE(window->width(), 290);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Velmora电音助手"));
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(child<QLabel>("app_title_label")->text(), QStringLiteral("Velmora电音助手"));
    EXPECT_EQ(child<QLabel>("app_icon_label")->styleSheet(),
              QStringLiteral("image: url(:/Kestrune/Resources/img/3.png);"));

    auto* layout = child<QVBoxLayout>("main_widget_layout");
    ASSERT_EQ(layout->count(), 4);
    EXPECT_EQ(layout->itemAt(0)->widget(), child<QWidget>("emusic_title_widget"));
    EXPECT_EQ(layout->itemAt(1)->widget(), child<EmDetailWidget>("detail_widget"));
    EXPECT_NE(layout->itemAt(2)->spacerItem(), nullptr);
    auto* panel = child<EmAutoContrlWidget>("auto_ctrl_widget");
    EXPECT_EQ(layout->itemAt(3)->widget(), panel);
    EXPECT_EQ(panel->height(), 50);
    EXPECT_EQ(panel->width(), window->width());
    for (const char* name : {"home_btn", "minimum_btn", "close_btn"}) {
        EXPECT_EQ(child<QPushButton>(name)->size(), QSize(16, 16)) << name;
    }
}

TEST_F(MainWindowTest, TitleBarButtonsOpenHomePageMinimiseAndClose)
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    child<QPushButton>("home_btn")->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    EXPECT_EQ(catcher.opened, QList<QUrl>({QUrl(QStringLiteral(KESTRUNE_HOME_URL))}));

    child<QPushButton>("minimum_btn")->click();
    EXPECT_TRUE(window->isMinimized());
    child<QPushButton>("close_btn")->click();
    EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, SongChangeLooksUpKeysFillsListAndHeaderRowAndSetsPluginOnceAutoApplyIsOn)
{
    open_plugin_window();
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();

    // The row is there at once; its key waits for the reply.
    ASSERT_EQ(header_exes(), QStringList({"QQMusic.exe"}));
    EmAppKeynoteWidget* row = header_rows()[0];
    EXPECT_EQ(header_texts(row), QStringList({"晴天", "周杰伦", ""}));
    EXPECT_EQ(child<QVBoxLayout>("main_widget_layout")->indexOf(row), 3);
    EXPECT_GE(row->height(), 64);

    ASSERT_TRUE(await_result(QStringLiteral("晴天")));
    const auto lookups = service.lookups();
    ASSERT_EQ(lookups.size(), 1u);
    EXPECT_EQ(lookups[0].cmd(), zudata::CMD_EM_GET);
    EXPECT_EQ(lookups[0].emusic().music_name(), "晴天");
    EXPECT_EQ(lookups[0].emusic().music_author(), "周杰伦");
    EXPECT_EQ(lookups[0].emusic().music_process(), "QQMusic.exe");
    EXPECT_TRUE(lookups[0].emusic().music_keynote().empty());

    EXPECT_EQ(result_keys(), QStringList({"Gb Major", "F# Minor", "C Major"}));
    const QList<EmDetailItemWidget*> results = result_rows();
    EXPECT_TRUE(results[0]->isChecked());
    EXPECT_FALSE(results[1]->isChecked());
    EXPECT_EQ(header_texts(row), QStringList({"晴天", "周杰伦", "Gb Major"}));
    EXPECT_TRUE(find_label(child<EmDetailWidget>("detail_widget"), "app_header_label")
                    ->styleSheet()
                    .contains(QStringLiteral(":/Kestrune/Resources/img/qqmusic.png")));
    // Auto-apply is off: the plugin is left alone, and switching it on applies nothing yet.
    EXPECT_TRUE(plugin_desktop().take_posts().empty());
    check_auto_apply();
    EXPECT_TRUE(plugin_desktop().take_posts().empty());

    // An unchanged title asks nothing.
    players.refresh();
    spin_for(200);
    EXPECT_EQ(service.lookups().size(), 1u);

    players.fake().set_title(player_windows["QQMusic.exe"], "稻香 - 周杰伦");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("稻香")));
    EXPECT_EQ(service.lookups().size(), 2u);
    // The first row's key is handed over as the row is checked and again as it is added.
    EXPECT_EQ(plugin_desktop().take_posts(), twice(apply_posts(1, 7)));

    // Picking another key sets it in the plugin but leaves the player's row alone.
    result_rows()[1]->click();
    EXPECT_EQ(plugin_desktop().take_posts(), apply_posts(2, 7));
    EXPECT_EQ(header_texts(row), QStringList({"稻香", "周杰伦", "Gb Major"}));
}

TEST_F(MainWindowTest, ErrorReplyOpensTheErrorBoxAndKeepsTheList)
{
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("晴天")));

    service.answer_error("<b>服务器开小差了</b>");
    // Clicking the row searches again although the song is the same.
    header_rows()[0]->click();
    EXPECT_EQ(header_texts(header_rows()[0]), QStringList({"晴天", "周杰伦", ""}));
    ASSERT_TRUE(spin_until([] { return !visible_error_boxes().isEmpty(); }));
    EXPECT_EQ(service.lookups().size(), 2u);

    EmMessageBoxWidget* box = visible_error_boxes()[0];
    EXPECT_EQ(box, EmMessageBoxWidget::instance());
    EXPECT_EQ(find_label(box, "warn_title_label")->text(), QStringLiteral("貌似出了点问题"));
    QLabel* detail = find_label(box, "warn_detail_label");
    EXPECT_EQ(detail->text(), QStringLiteral("<b>服务器开小差了</b>"));
    EXPECT_EQ(detail->textFormat(), Qt::PlainText);
    EXPECT_EQ(result_keys(), QStringList({"Gb Major", "F# Minor", "C Major"}));
    EXPECT_EQ(header_texts(header_rows()[0]), QStringList({"晴天", "周杰伦", ""}));

    // An error text of megabytes is cut to what the box can hold.
    service.answer_error(std::string(4 * 1024 * 1024, 'x'));
    header_rows()[0]->click();
    ASSERT_TRUE(spin_until([&] { return detail->text().startsWith(QLatin1Char('x')); }));
    EXPECT_EQ(detail->text(), QString(200, QLatin1Char('x')) + QChar(0x2026));
}

TEST_F(MainWindowTest, ReplyWithoutKeysShowsOneUncheckedNotFoundRow)
{
    open_plugin_window();
    check_auto_apply();
    service.answer_keys({});
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "冷门歌 - 无名");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("冷门歌")));

    ASSERT_EQ(result_keys(), QStringList({"未查询到基调"}));
    EmDetailItemWidget* only = result_rows()[0];
    EXPECT_FALSE(only->isChecked());
    EXPECT_EQ(find_label(only, "music_name_label")->text(), QString());
    EXPECT_EQ(find_label(only, "music_author_label")->text(), QString());
    EXPECT_EQ(header_texts(header_rows()[0]), QStringList({"冷门歌", "无名", ""}));
    EXPECT_TRUE(plugin_desktop().take_posts().empty());
}

TEST_F(MainWindowTest, LongAnswersListTheirFirstFiftyRecordsAndSayHowManyWereLeftOut)
{
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("晴天")));
    auto* detail = child<EmDetailWidget>("detail_widget");
    auto* layout = detail->findChild<QVBoxLayout*>("detail_layout");
    auto visible_notes = [detail] {
        QList<QLabel*> notes;
        for (QLabel* label : detail->findChildren<QLabel*>("detail_note_label")) {
            if (label->isVisible()) {
                notes << label;
            }
        }
        return notes;
    };
    const std::vector<std::pair<int, QString>> cases = {{2000, QStringLiteral("另有1950条结果未显示")},
                                                        {51, QStringLiteral("另有1条结果未显示")},
                                                        {50, QString()}};
    for (const auto& [count, note] : cases) {
        SCOPED_TRACE(count);
        std::vector<std::string> keys;
        QStringList listed;
        for (int index = 0; index < count; ++index) {
            // Each answer its own keys, so that the wait below cannot be met by the one before.
            keys.push_back(std::to_string(count) + "-" + std::to_string(index));
            if (index < 50) {
                listed << QString::fromStdString(keys.back());
            }
        }
        service.answer_keys(keys);
        header_rows()[0]->click();
        // The note, if any, follows the rows; the one of an earlier answer is gone.
        const int notes_expected = note.isEmpty() ? 0 : 1;
        ASSERT_TRUE(
            spin_until([&] { return result_keys() == listed && visible_notes().size() == notes_expected; }));
        EXPECT_TRUE(result_rows()[0]->isChecked());
        if (note.isEmpty()) {
            continue;
        }
        const QList<QLabel*> notes = visible_notes();
        EXPECT_EQ(notes[0]->text(), note);
        EXPECT_EQ(layout->indexOf(notes[0]), 1 + static_cast<int>(listed.size()));
    }
}

TEST_F(MainWindowTest, TwoPlayersKeepOwnRowsNewestOnTopAndStoppedPlayerComesBackOnTop)
{
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("晴天")));
    start_player("KuGou.exe", 300, "kugou_ui", "林俊杰 - 江南 - 酷狗音乐 ");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("江南")));
    ASSERT_EQ(header_exes(), QStringList({"KuGou.exe", "QQMusic.exe"}));

    // Each answer reaches only the row of its own player.
    service.answer_keys({"C Major"});
    players.fake().set_title(player_windows["QQMusic.exe"], "稻香 - 周杰伦");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("稻香")));
    EXPECT_EQ(header_texts(header_rows()[0]), QStringList({"江南", "林俊杰", "Gb Major"}));
    EXPECT_EQ(header_texts(header_rows()[1]), QStringList({"稻香", "周杰伦", "C Major"}));

    QPointer<EmAppKeynoteWidget> stopped = header_rows()[1];
    players.fake().stop_process(200);
    players.refresh();
    EXPECT_EQ(header_exes(), QStringList({"KuGou.exe"}));
    EXPECT_TRUE(spin_until([&] { return stopped.isNull(); }, 2000));
    // A late answer for the stopped player finds no row.
    window->search_res(QVariant::fromValue(keynote_record("晴天", "周杰伦", "Gb Major", "QQMusic.exe")));

    start_player("QQMusic.exe", 201, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    EXPECT_EQ(header_exes(), QStringList({"QQMusic.exe", "KuGou.exe"}));
    EXPECT_TRUE(await_result(QStringLiteral("晴天")));
}

TEST_F(MainWindowTest, PlayerWhoseProcessWasReplacedKeepsItsOneRow)
{
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("晴天")));
    EmAppKeynoteWidget* row = header_rows()[0];

    players.fake().stop_process(200);
    start_player("QQMusic.exe", 201, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    EXPECT_EQ(header_rows(), QList<EmAppKeynoteWidget*>({row}));
    EXPECT_EQ(header_texts(row), QStringList({"晴天", "周杰伦", "Gb Major"}));
}

TEST_F(MainWindowTest, MarkupInPlayerTitleIsShownLiterallyEverywhere)
{
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "<img src=x> - <b>");
    players.refresh();
    ASSERT_TRUE(await_result(QStringLiteral("<img src=x>")));

    EXPECT_EQ(header_texts(header_rows()[0]), QStringList({"<img src=x>", "<b>", "Gb Major"}));
    EmDetailItemWidget* first = result_rows()[0];
    QList<QLabel*> labels = {find_label(child<EmDetailWidget>("detail_widget"), "detail_music_name_label"),
                             find_label(first, "music_name_label"), find_label(first, "music_author_label")};
    for (const char* name : {"music_name_label", "music_author_label", "music_keynote_label"}) {
        labels << find_label(header_rows()[0], name);
    }
    for (QLabel* label : labels) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
    }
    EXPECT_EQ(find_label(first, "music_name_label")->text(), QStringLiteral("<img src=x>"));
    EXPECT_EQ(find_label(first, "music_author_label")->text(), QStringLiteral("<b>"));
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheWatcherAndItsThreadAndForgetsItsLookups)
{
    start_player("QQMusic.exe", 200, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    EXPECT_NE(watcher->thread(), QThread::currentThread());
    std::atomic<bool> thread_finished{false};
    std::atomic<bool> watcher_gone{false};
    QObject::connect(watcher->thread(), &QThread::finished, [&] { thread_finished = true; });
    QObject::connect(watcher, &QObject::destroyed, [&] { watcher_gone = bool(thread_finished); });
    ASSERT_TRUE(spin_until([&] { return service.lookups().size() == 1; }));

    window.reset();
    EXPECT_TRUE(thread_finished);
    EXPECT_TRUE(watcher_gone);
    // The answer to the lookup arrives after the window has gone and must not reach it.
    spin_for(300);
}

// The window listening to a song played by the fake capture, ten times faster than real time.
class HeardKeyTest : public MainWindowTest
{
protected:
    void listen_to(EmKey key)
    {
        static std::map<int, std::vector<float>> rendered;
        const int index = key.tonic + (key.minor ? 12 : 0);
        if (rendered.count(index) == 0) {
            rendered[index] = ListenClips::render(ListenClips::song(key));
        }
        use_capture(std::make_unique<EmFakeAudioCapture>(rendered[index], 2, ListenClips::rate,
                                                         std::chrono::milliseconds(10)));
    }

    void use_capture(std::unique_ptr<EmAudioCapture> capture)
    {
        window.reset();
        watcher = players.make_watcher();
        window = std::make_unique<EmSearchWidget>(watcher, std::move(capture));
        window->show();
    }

    void play_song(const std::string& title)
    {
        if (player_windows.count("QQMusic.exe") == 0) {
            start_player("QQMusic.exe", 200, "TXGuiFoundation", title);
        } else {
            players.fake().set_title(player_windows["QQMusic.exe"], title);
        }
        players.refresh();
    }

    EmDetailItemWidget* heard_row()
    {
        const QList<EmDetailItemWidget*> rows = result_rows();
        if (rows.isEmpty() ||
            find_label(rows.back(), "music_author_label")->text() != QStringLiteral("听辨")) {
            return nullptr;
        }
        return rows.back();
    }

    // The heard row's key text once the estimate is confident ("A Minor 87%").
    QString await_confident_row()
    {
        QString text;
        const QRegularExpression confident(QStringLiteral("^[A-G][b#]? (Major|Minor) ([5-9][0-9]|100)%"));
        const bool heard = spin_until(
            [&] {
                EmDetailItemWidget* row = heard_row();
                // The whole text: a row just added is not laid out yet and shows it cut.
                text = row ? find_label(row, "music_keynote_label")->property("em_full_text").toString()
                           : QString();
                return confident.match(text).hasMatch();
            },
            30000);
        return heard ? text : QString();
    }

    std::vector<zudata::ZuRequest> proposals()
    {
        std::vector<zudata::ZuRequest> found;
        for (const zudata::ZuRequest& request : service.lookups()) {
            if (request.cmd() == zudata::CMD_EM_ADD) {
                found.push_back(request);
            }
        }
        return found;
    }

    QAction* heard_first_switch()
    {
        return window->findChild<EmTrayWidget*>()->contextMenu()->actions().at(1);
    }

    // The song, about two seconds at the fake's pace, has been heard to its end.
    static void await_end_of_song() { spin_for(3000); }
};

TEST_F(HeardKeyTest, HeardRowFollowsTheCatalogueAndIsHandedOverByItselfOnlyWhenTheCatalogueKnowsNothing)
{
    struct Case
    {
        std::vector<std::string> catalogue;
        EmKey played;
        QString shown;
        bool marked;
        bool heard_applied;
        // What the plugin receives: a key's Down counts, and how often.
        int scale;
        int key;
        int times;
    };
    const Case cases[] = {
        // A minor is none of the usual confusions of Gb major.
        {three_keys, {9, true}, QStringLiteral("A Minor"), true, false, 1, 7, 2},
        // The usual confusions (here the relative key) are no disagreement.
        {{"C Major"}, {9, true}, QStringLiteral("A Minor"), false, false, 1, 1, 2},
        {{}, {9, true}, QStringLiteral("A Minor"), false, true, 2, 10, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.catalogue.empty() ? "no key" : c.catalogue[0]);
        player_windows.clear();
        listen_to(c.played);
        open_plugin_window();
        check_auto_apply();
        service.answer_keys(c.catalogue);
        service.forget_lookups();
        play_song("晴天 - 周杰伦");
        ASSERT_TRUE(await_result(QStringLiteral("晴天")));

        const QString shown = await_confident_row();
        ASSERT_TRUE(shown.startsWith(c.shown + QLatin1Char(' '))) << shown.toStdString();
        EXPECT_EQ(shown.endsWith(QStringLiteral(" 与曲库不同")), c.marked) << shown.toStdString();
        EmDetailItemWidget* heard = heard_row();
        EXPECT_EQ(find_label(heard, "music_name_label")->text(), QStringLiteral("晴天"));
        await_end_of_song();

        // The catalogue's rows stay first and in order; the first was handed over as the reply came.
        QStringList keys = result_keys();
        keys.removeLast();
        QStringList expected_keys;
        for (const std::string& key : c.catalogue) {
            expected_keys << QString::fromStdString(key);
        }
        EXPECT_EQ(keys, c.catalogue.empty() ? QStringList({"未查询到基调"}) : expected_keys);
        EXPECT_EQ(result_rows()[0]->isChecked(), !c.catalogue.empty());
        EXPECT_EQ(heard_row()->isChecked(), c.heard_applied);
        // Either the catalogue's first key as its answer came (a row added checked hands its key
        // over twice), or the heard key alone, once.
        std::vector<EmFakePluginPlatform::Post> expected;
        for (int time = 0; time < c.times; ++time) {
            const std::vector<EmFakePluginPlatform::Post> posts = apply_posts(c.scale, c.key);
            expected.insert(expected.end(), posts.begin(), posts.end());
        }
        EXPECT_EQ(plugin_desktop().take_posts(), expected);

        // Only a song the catalogue did not know is proposed, with the heard key, and its refusal
        // bothers nobody.
        const std::vector<zudata::ZuRequest> sent = proposals();
        ASSERT_EQ(sent.size(), c.heard_applied ? 1u : 0u);
        if (c.heard_applied) {
            EXPECT_EQ(sent[0].emusic().music_name(), "晴天");
            EXPECT_EQ(sent[0].emusic().music_author(), "周杰伦");
            EXPECT_EQ(sent[0].emusic().music_keynote(), "A Minor");
            EXPECT_EQ(sent[0].emusic().music_process(), "QQMusic.exe");
        }
        EXPECT_TRUE(visible_error_boxes().isEmpty());
        players.fake().stop_process(200);
        players.refresh();
    }
}

TEST_F(HeardKeyTest, SongIsProposedAndHandedOverOncePerSongAndANewSongForgetsTheHeardKey)
{
    listen_to({2, false});
    open_plugin_window();
    check_auto_apply();
    service.answer_keys({});
    play_song("冷门歌 - 无名");
    ASSERT_FALSE(await_confident_row().isEmpty());
    await_end_of_song();
    EXPECT_EQ(plugin_desktop().take_posts(), apply_posts(1, 3));

    // Looking the same song up again hands over and proposes nothing more.
    header_rows()[0]->click();
    ASSERT_TRUE(spin_until([&] { return service.lookups().size() == 3; }));
    ASSERT_TRUE(spin_until([&] { return heard_row() != nullptr; }));
    spin_for(300);
    EXPECT_FALSE(heard_row()->isChecked());
    EXPECT_TRUE(plugin_desktop().take_posts().empty());
    EXPECT_EQ(proposals().size(), 1u);

    // Another song starts from nothing: the old key is gone and nothing more is proposed.
    play_song("另一首 - 无名");
    ASSERT_TRUE(await_result(QStringLiteral("另一首")));
    spin_for(300);
    EXPECT_EQ(heard_row(), nullptr);
    EXPECT_EQ(proposals().size(), 1u);
}

TEST_F(HeardKeyTest, CaptureFollowsTheProcessOfThePlayerWhoseSongIsCurrent)
{
    auto capture = std::make_unique<EmFakeAudioCapture>(std::vector<float>(), 2, ListenClips::rate);
    const EmFakeAudioCapture* fake = capture.get();
    use_capture(std::move(capture));
    const auto following = [&](std::uint32_t process_id) {
        return spin_until([&] {
            const std::vector<std::uint32_t> followed = fake->followed_processes();
            return !followed.empty() && followed.back() == process_id;
        });
    };
    play_song("晴天 - 周杰伦");
    EXPECT_TRUE(following(200));

    // The player was restarted between two refreshes: its new process is followed.
    players.fake().stop_process(200);
    players.fake().start_process("QQMusic.exe", 201);
    player_windows["QQMusic.exe"] = players.fake().add_window(201, "TXGuiFoundation", "晴天 - 周杰伦");
    players.refresh();
    EXPECT_TRUE(following(201));

    players.fake().stop_process(201);
    players.refresh();
    EXPECT_TRUE(following(0));
}

TEST_F(HeardKeyTest, HeardFirstSwitchPicksWhichKeyIsAppliedWhenTheyDiffer)
{
    listen_to({9, true});
    open_plugin_window();
    check_auto_apply();
    // On before the disagreement is heard: the heard key is applied as soon as it is.
    heard_first_switch()->trigger();
    play_song("晴天 - 周杰伦");
    ASSERT_TRUE(await_result(QStringLiteral("晴天")));
    ASSERT_TRUE(await_confident_row().endsWith(QStringLiteral("与曲库不同")));
    EXPECT_TRUE(heard_row()->isChecked());
    // The catalogue's first key as its answer came, then the heard one.
    std::vector<EmFakePluginPlatform::Post> expected = twice(apply_posts(1, 7));
    const std::vector<EmFakePluginPlatform::Post> heard = apply_posts(2, 10);
    expected.insert(expected.end(), heard.begin(), heard.end());
    EXPECT_EQ(plugin_desktop().take_posts(), expected);

    const struct
    {
        bool on;
        bool heard_checked;
        std::vector<EmFakePluginPlatform::Post> posts;
    } flips[] = {{false, false, apply_posts(1, 7)}, {true, true, apply_posts(2, 10)}};
    for (const auto& flip : flips) {
        SCOPED_TRACE(flip.on);
        heard_first_switch()->trigger();
        EXPECT_EQ(heard_first_switch()->isChecked(), flip.on);
        EXPECT_EQ(heard_row()->isChecked(), flip.heard_checked);
        EXPECT_EQ(result_rows()[0]->isChecked(), !flip.heard_checked);
        EXPECT_EQ(plugin_desktop().take_posts(), flip.posts);
    }
    heard_first_switch()->trigger();
}

TEST_F(HeardKeyTest, SoundServerIsListenedToWhilePlayersRunAndReportedOnceWhileMissing)
{
    QTemporaryDir directory;
    PulseServer pulse(directory.path());
    use_capture(std::make_unique<EmPulseAudioCapture>(pulse.address(), std::chrono::milliseconds(100)));
    auto notes = [&] {
        QStringList texts;
        for (QLabel* label :
             child<EmDetailWidget>("detail_widget")->findChildren<QLabel*>("detail_note_label")) {
            if (label->isVisible()) {
                texts << label->text();
            }
        }
        return texts;
    };
    play_song("晴天 - 周杰伦");
    ASSERT_TRUE(await_result(QStringLiteral("晴天")));
    // Once, however often the capture tries again; a reply's refill keeps it.
    ASSERT_TRUE(spin_until([&] { return notes() == QStringList({"未检测到声音服务"}); }));
    spin_for(500);
    header_rows()[0]->click();
    ASSERT_TRUE(spin_until([&] { return service.lookups().size() == 2; }));
    spin_for(300);
    EXPECT_EQ(notes(), QStringList({"未检测到声音服务"}));
    EXPECT_EQ(heard_row(), nullptr);

    // The server comes: the capture reaches it by itself.
    ASSERT_TRUE(pulse.start());
    EXPECT_TRUE(spin_until([&] { return notes().isEmpty(); }));
    EXPECT_TRUE(spin_until([&] { return pulse.recorded_source() == "first.monitor"; }));

    // No player runs: nothing is recorded any more.
    players.fake().stop_process(200);
    players.refresh();
    EXPECT_TRUE(spin_until([&] { return pulse.recorded_source().isEmpty(); }));
    EXPECT_TRUE(notes().isEmpty());
}

} // namespace

#include "EmSearchWidgetTest.moc"
