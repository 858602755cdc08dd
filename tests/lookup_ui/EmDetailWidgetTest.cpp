#include "EmDetailWidget.h"
#include "EmDetailItemWidget.h"
#include "EmPluginControl.h"
#include "LookupUiTestSupport.h"
#include "TestEventLoop.h"

#include <QBoxLayout>
#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <gtest/gtest.h>

namespace {

const QChar ellipsis(0x2026);
const QString long_name =
    QStringLiteral("A song whose name is far too long for one row - 一首名字很长很长的歌");

class ResultWidgetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        open_plugin_window();
        EmPluginControl::instance()->set_auto_apply(true);
    }
    void TearDown() override
    {
        EmPluginControl::instance()->set_auto_apply(false);
        close_plugin_window();
    }

    static QList<EmDetailItemWidget*> rows(EmDetailWidget& list)
    {
        QList<EmDetailItemWidget*> found;
        auto* layout = list.findChild<QVBoxLayout*>(QStringLiteral("detail_layout"));
        for (int index = 1; index < layout->count(); ++index) {
            if (auto* row = qobject_cast<EmDetailItemWidget*>(layout->itemAt(index)->widget())) {
                found.append(row);
            }
        }
        return found;
    }

    static QString key_of(EmDetailItemWidget* row) { return find_label(row, "music_keynote_label")->text(); }
};

TEST_F(ResultWidgetsTest, RowIsSelfDeletingCheckButtonCuttingItsTextsToItsWidth)
{
    QPointer<EmDetailItemWidget> row =
        new EmDetailItemWidget(keynote_record(long_name.toStdString(), "<b>", "Gb Major"), nullptr);
    EXPECT_EQ(row->objectName(), QStringLiteral("detailItembtn"));
    EXPECT_TRUE(row->isCheckable());
    EXPECT_FALSE(row->isChecked());
    row->resize(220, 79);
    row->show();
    QLabel* name = find_label(row, "music_name_label");
    EXPECT_TRUE(name->text().endsWith(ellipsis)) << name->text().toStdString();
    EXPECT_LE(QFontMetrics(name->font()).horizontalAdvance(name->text()), 220 / 2 - 20);
    EXPECT_EQ(name->toolTip(), long_name);
    EXPECT_EQ(find_label(row, "music_author_label")->text(), QStringLiteral("<b>"));
    EXPECT_EQ(find_label(row, "music_author_label")->textFormat(), Qt::PlainText);
    EXPECT_EQ(key_of(row), QStringLiteral("Gb Major"));

    row->resize(1600, 79);
    EXPECT_EQ(name->text(), long_name);
    EXPECT_TRUE(plugin_desktop().take_posts().empty());

    row->close();
    EXPECT_TRUE(spin_until([&] { return row.isNull(); }));
}

TEST_F(ResultWidgetsTest, CheckedRowHandsItsWholeKeyToPluginEvenWhenShownCut)
{
    EmDetailItemWidget row(keynote_record("晴天", "周杰伦", "Gb Major(伴奏版)"), nullptr);
    row.resize(60, 79);
    row.show();
    ASSERT_TRUE(key_of(&row).endsWith(ellipsis)) << key_of(&row).toStdString();

    row.enable_keynote(false);
    EXPECT_TRUE(plugin_desktop().take_posts().empty());
    row.setChecked(true);
    EXPECT_EQ(plugin_desktop().take_posts(), apply_posts(1, 7));
}

TEST_F(ResultWidgetsTest, EmptyListShowsOnlyItsHeaderAboveSpacer)
{
    EmDetailWidget list;
    EXPECT_EQ(list.objectName(), QStringLiteral("EmDetailWidget"));
    EXPECT_EQ(list.size(), QSize(300, 177));
    auto* layout = list.findChild<QVBoxLayout*>(QStringLiteral("detail_layout"));
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->contentsMargins(), QMargins(17, 0, 17, 0));
    ASSERT_EQ(layout->count(), 2);
    EXPECT_NE(layout->itemAt(1)->spacerItem(), nullptr);
    QLabel* logo = find_label(&list, "app_header_label");
    EXPECT_EQ(logo->minimumSize(), QSize(40, 40));
    EXPECT_EQ(logo->maximumSize(), QSize(40, 40));
    EXPECT_EQ(find_label(&list, "detail_music_name_label")->minimumHeight(), 69);
    EXPECT_TRUE(find_label(&list, "detail_music_name_label")->text().isEmpty());
}

TEST_F(ResultWidgetsTest, RowsKeepReplyOrderFirstCheckedAndCheckingAnotherHandsItsKeyOnce)
{
    EmDetailWidget list;
    list.resize(275, 300);
    list.show();
    list.add_item(keynote_record("晴天", "周杰伦", "Gb Major"), true);
    list.add_item(keynote_record("晴天", "周杰伦", "F# Minor"), false);
    list.add_item(keynote_record("晴天", "周杰伦", "C Major"), false);
    // The first row reports its key when checked and again when added.
    EXPECT_EQ(plugin_desktop().take_posts(), twice(apply_posts(1, 7)));

    const QList<EmDetailItemWidget*> shown = rows(list);
    ASSERT_EQ(shown.size(), 3);
    EXPECT_EQ(key_of(shown[0]), QStringLiteral("Gb Major"));
    EXPECT_EQ(key_of(shown[1]), QStringLiteral("F# Minor"));
    EXPECT_EQ(key_of(shown[2]), QStringLiteral("C Major"));
    EXPECT_TRUE(shown[0]->isChecked());
    EXPECT_GE(shown[1]->height(), 65);

    shown[1]->click();
    EXPECT_TRUE(shown[1]->isChecked());
    EXPECT_FALSE(shown[0]->isChecked());
    EXPECT_FALSE(shown[2]->isChecked());
    EXPECT_EQ(plugin_desktop().take_posts(), apply_posts(2, 7));

    shown[1]->click();
    EXPECT_TRUE(shown[1]->isChecked());
    EXPECT_TRUE(plugin_desktop().take_posts().empty());
}

TEST_F(ResultWidgetsTest, ClearingClosesRowsAndSpacerAndNewRowsStartBelowHeader)
{
    EmDetailWidget list;
    list.show();
    list.add_item(keynote_record("晴天", "周杰伦", "Gb Major"), true);
    list.add_item(keynote_record("晴天", "周杰伦", "F# Minor"), false);
    QPointer<EmDetailItemWidget> old_first = rows(list)[0];
    plugin_desktop().take_posts();

    list.clear_items();
    auto* layout = list.findChild<QVBoxLayout*>(QStringLiteral("detail_layout"));
    EXPECT_EQ(layout->count(), 1);
    EXPECT_TRUE(spin_until([&] { return old_first.isNull(); }));

    list.add_item(keynote_record("稻香", "周杰伦", "C Major"), false);
    ASSERT_EQ(layout->count(), 2);
    auto* row = qobject_cast<EmDetailItemWidget*>(layout->itemAt(1)->widget());
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->isChecked());
    EXPECT_TRUE(plugin_desktop().take_posts().empty());
    row->click();
    EXPECT_EQ(plugin_desktop().take_posts(), apply_posts(1, 1));
}

TEST_F(ResultWidgetsTest, HeaderShowsPlayerLogoAndCutsSongNameToTwoThirdsOfTheWidth)
{
    EmDetailWidget list;
    list.resize(275, 177);
    list.show();
    list.set_header(long_name, QStringLiteral(":/Kestrune/Resources/img/kugou.png"));
    QLabel* name = find_label(&list, "detail_music_name_label");
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_TRUE(name->text().endsWith(ellipsis)) << name->text().toStdString();
    EXPECT_LE(QFontMetrics(name->font()).horizontalAdvance(name->text()), 275 / 3 * 2);
    EXPECT_EQ(name->toolTip(), long_name);
    EXPECT_TRUE(find_label(&list, "app_header_label")
                    ->styleSheet()
                    .contains(QStringLiteral("image:url(:/Kestrune/Resources/img/kugou.png)")));

    list.resize(2400, 177);
    EXPECT_EQ(name->text(), long_name);

    list.set_header(QStringLiteral("<b>稻香</b>"), QString());
    EXPECT_EQ(name->text(), QStringLiteral("<b>稻香</b>"));
    EXPECT_TRUE(find_label(&list, "app_header_label")->styleSheet().isEmpty());
}

} // namespace
