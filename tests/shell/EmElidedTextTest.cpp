#include "EmFramelessWidget.h"

#include <QFontMetrics>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

const QString song = QStringLiteral("A rather long song title that cannot fit - 一首很长的歌");
const QChar ellipsis(0x2026);

int text_width(const QLabel& label, const QString& text)
{
    return QFontMetrics(label.font()).horizontalAdvance(text);
}

TEST(ElidedText, FollowsTheLabelWhenNarrowedAndWidened)
{
    QLabel label;
    label.resize(2000, 20);
    EXPECT_EQ(set_elided_text(song, &label), song);

    label.resize(90, 20);
    const QString narrow = refresh_elided_text(&label);
    EXPECT_EQ(label.text(), narrow);
    EXPECT_TRUE(narrow.endsWith(ellipsis));
    EXPECT_TRUE(song.startsWith(narrow.chopped(1)));
    EXPECT_LE(text_width(label, narrow), 90);
    EXPECT_EQ(label.toolTip(), song);

    label.resize(2000, 20);
    EXPECT_EQ(refresh_elided_text(&label), song);
    EXPECT_EQ(label.text(), song);
}

TEST(ElidedText, ExactFitIsShownWholeAndEmptyTextClearsTheTooltip)
{
    QLabel label;
    const QString key = QStringLiteral("Gb Major");
    label.resize(text_width(label, key), 20);
    EXPECT_EQ(set_elided_text(key, &label), key);
    EXPECT_EQ(label.toolTip(), key);
    label.resize(text_width(label, key) - 1, 20);
    EXPECT_NE(refresh_elided_text(&label), key);

    EXPECT_EQ(set_elided_text(QString(), &label), QString());
    EXPECT_EQ(label.text(), QString());
    EXPECT_EQ(label.toolTip(), QString());
}

TEST(ElidedText, MarkupIsShownLiterallyAndSurvivesRefresh)
{
    const QString title = QStringLiteral("<img src='//host/share/x.png'><b>x</b> & more");
    QLabel label;
    label.resize(2000, 20);

    set_elided_text(title, &label);
    EXPECT_EQ(label.textFormat(), Qt::PlainText);
    EXPECT_EQ(label.text(), title);
    EXPECT_FALSE(label.toolTip().contains(QStringLiteral("<img")));
    EXPECT_TRUE(label.toolTip().contains(QStringLiteral("&lt;b&gt;x&lt;/b&gt; &amp; more")));

    label.resize(60, 20);
    refresh_elided_text(&label);
    label.resize(2000, 20);
    EXPECT_EQ(refresh_elided_text(&label), title);
}

} // namespace
