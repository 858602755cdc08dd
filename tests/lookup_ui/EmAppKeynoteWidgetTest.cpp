#include "EmAppKeynoteWidget.h"
#include "EmAppEntry.h"
#include "LookupUiTestSupport.h"
#include "TestEventLoop.h"
#include "ZuDataBus.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPointer>
#include <gtest/gtest.h>

namespace {

const QChar ellipsis(0x2026);

class HeaderRowTest : public ::testing::Test
{
protected:
    void SetUp() override { entry.set_icon_path(QStringLiteral(":/Kestrune/Resources/img/qqmusic.png")); }

    QString text_of(QWidget* row, const char* name) { return find_label(row, name)->text(); }

    EmAppEntry entry{QStringLiteral("QQMusic.exe"), QStringLiteral("TXGuiFoundation"), QStringLiteral(" - ")};
};

TEST_F(HeaderRowTest, NewRowShowsPlayerLogoAndDesignTextsUntilFirstSearch)
{
    QPointer<EmAppKeynoteWidget> row = new EmAppKeynoteWidget(&entry, nullptr);
    EXPECT_EQ(row->objectName(), QStringLiteral("EmAppKeynoteWidget"));
    EXPECT_EQ(row->exe_name(), QStringLiteral("QQMusic.exe"));
    row->resize(275, 64);
    row->show();
    EXPECT_EQ(text_of(row, "music_name_label"), QStringLiteral("这是歌曲名"));
    EXPECT_EQ(text_of(row, "music_author_label"), QStringLiteral("这是歌手名"));
    EXPECT_EQ(text_of(row, "music_keynote_label"), QStringLiteral("这是基调查询结果"));
    QLabel* logo = find_label(row, "app_header_label");
    EXPECT_EQ(logo->size(), QSize(40, 40));
    EXPECT_TRUE(
        logo->styleSheet().contains(QStringLiteral("image:url(:/Kestrune/Resources/img/qqmusic.png)")));

    row->close();
    EXPECT_TRUE(spin_until([&] { return row.isNull(); }));
}

TEST_F(HeaderRowTest, PlayerWithoutLogoGetsNoImage)
{
    EmAppEntry unknown(QStringLiteral("other.exe"), QString(), QString());
    EmAppKeynoteWidget row(&unknown, nullptr);
    EXPECT_TRUE(find_label(&row, "app_header_label")->styleSheet().isEmpty());
}

TEST_F(HeaderRowTest, SongIsCutToAThirdOfTheRowAndKeyIsSetAlone)
{
    const QString song = QStringLiteral("A very long song title for a header row - 很长的歌名");
    EmAppKeynoteWidget row(&entry, nullptr);
    row.resize(275, 64);
    row.show();
    row.set_music_info(song, QStringLiteral("<b>"), QString());
    QLabel* name = find_label(&row, "music_name_label");
    EXPECT_TRUE(name->text().endsWith(ellipsis)) << name->text().toStdString();
    EXPECT_LE(QFontMetrics(name->font()).horizontalAdvance(name->text()), 275 / 3);
    EXPECT_EQ(name->toolTip(), song);
    EXPECT_EQ(text_of(&row, "music_author_label"), QStringLiteral("<b>"));
    EXPECT_EQ(text_of(&row, "music_keynote_label"), QString());

    row.set_keynote(QStringLiteral("<i>Gb Major</i>"));
    EXPECT_EQ(text_of(&row, "music_keynote_label"), QStringLiteral("<i>Gb Major</i>"));
    EXPECT_EQ(find_label(&row, "music_keynote_label")->textFormat(), Qt::PlainText);
    EXPECT_EQ(text_of(&row, "music_author_label"), QStringLiteral("<b>"));

    row.resize(3000, 64);
    EXPECT_EQ(name->text(), song);
}

TEST_F(HeaderRowTest, ClickAsksForTheSearchOfItsPlayerAgain)
{
    EmAppKeynoteWidget row(&entry, nullptr);
    QObject receiver;
    QList<EmAppEntry*> asked;
    QObject::connect(ZuDataBus::instance(), &ZuDataBus::app_change_signal, &receiver,
                     [&](EmAppEntry* p) { asked.append(p); });
    row.click();
    EXPECT_EQ(asked, QList<EmAppEntry*>({&entry}));
}

} // namespace
