#include "EmMessageBoxWidget.h"
#include "ShellTestSupport.h"
#include "TestEventLoop.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

const QString error_picture = QStringLiteral("image: url(:/Kestrune/Resources/img/error_title.png);");

template <typename Widget = QWidget>
Widget* part(EmMessageBoxWidget* box, const char* name)
{
    return box->findChild<Widget*>(QLatin1String(name));
}

QString picture(EmMessageBoxWidget* box)
{
    return part(box, "warn_title_pic_label")->styleSheet();
}

QString detail(EmMessageBoxWidget* box)
{
    return part<QLabel>(box, "warn_detail_label")->text();
}

class MessageBox : public ::testing::Test
{
protected:
    void TearDown() override { close_all_message_boxes(); }
};

TEST_F(MessageBox, FormIsLaidOutAsDesigned)
{
    EmMessageBoxWidget box(1);
    EXPECT_EQ(box.size(), QSize(257, 408));
    EXPECT_EQ(box.windowTitle(), QStringLiteral("EmMessageBoxWidget"));
    EXPECT_EQ(box.windowFlags(), Qt::FramelessWindowHint | Qt::Tool);
    EXPECT_TRUE(box.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(box.testAttribute(Qt::WA_DeleteOnClose));

    auto* layout = qobject_cast<QVBoxLayout*>(box.layout());
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->objectName(), QStringLiteral("verticalLayout"));
    EXPECT_EQ(layout->spacing(), 6);
    EXPECT_EQ(layout->contentsMargins(), QMargins(15, 39, 15, 15));
    ASSERT_EQ(layout->count(), 4);
    const char* const names[] = {"warn_title_pic_label", "warn_title_label", "warn_detail_label",
                                 "confirm_btn"};
    const char* const classes[] = {"QWidget", "QLabel", "QLabel", "QPushButton"};
    const Qt::Alignment alignments[] = {Qt::AlignHCenter, {}, {}, Qt::AlignRight};
    const int stretches[] = {4, 1, 3, 3};
    for (int i = 0; i < 4; ++i) {
        QWidget* const widget = layout->itemAt(i)->widget();
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->objectName(), QLatin1String(names[i]));
        EXPECT_STREQ(widget->metaObject()->className(), classes[i]);
        EXPECT_EQ(layout->itemAt(i)->alignment(), alignments[i]) << names[i];
        EXPECT_EQ(layout->stretch(i), stretches[i]) << names[i];
    }

    const QSizePolicy fixed(QSizePolicy::Fixed, QSizePolicy::Fixed);
    EXPECT_EQ(part(&box, "warn_title_pic_label")->minimumSize(), QSize(167, 89));
    EXPECT_EQ(part(&box, "warn_title_pic_label")->sizePolicy(), fixed);
    EXPECT_EQ(part(&box, "confirm_btn")->minimumSize(), QSize(110, 38));
    EXPECT_EQ(part(&box, "confirm_btn")->sizePolicy(), fixed);
    EXPECT_EQ(part<QLabel>(&box, "warn_title_label")->alignment(), Qt::AlignCenter);
    EXPECT_EQ(part<QLabel>(&box, "warn_detail_label")->alignment(), Qt::AlignCenter);
    EXPECT_TRUE(part<QLabel>(&box, "warn_detail_label")->wordWrap());

    EXPECT_EQ(part<QLabel>(&box, "warn_title_label")->text(),
              QStringLiteral("<html><head/><body><p>没有获取到数据</p></body></html>"));
    EXPECT_TRUE(detail(&box).startsWith(QStringLiteral("服务器开小差了，请稍后再试一下吧")));
    EXPECT_EQ(part<QPushButton>(&box, "confirm_btn")->text(), QStringLiteral("好 的"));
}

TEST_F(MessageBox, KindChoosesThePictureAndTextsAreShownLiterally)
{
    EmMessageBoxWidget error(1);
    EmMessageBoxWidget about(2);
    EmMessageBoxWidget other(3);
    EXPECT_EQ(picture(&error), error_picture);
    EXPECT_EQ(picture(&about), QStringLiteral("image: url(:/Kestrune/Resources/img/about_title.png);"));
    EXPECT_EQ(picture(&other), QString());
    about.set_kind(1);
    about.set_kind(7);
    EXPECT_EQ(picture(&about), error_picture);

    error.set_title(QStringLiteral("<b>title</b>"));
    error.set_detail(QStringLiteral("<b>x</b><img src='//host/share/y.png'>"));
    for (const char* name : {"warn_title_label", "warn_detail_label"}) {
        EXPECT_EQ(part<QLabel>(&error, name)->textFormat(), Qt::PlainText) << name;
    }
    EXPECT_EQ(part<QLabel>(&error, "warn_title_label")->text(), QStringLiteral("<b>title</b>"));
    EXPECT_EQ(detail(&error), QStringLiteral("<b>x</b><img src='//host/share/y.png'>"));

    // Tools that read the desktop find the box by what it says.
    EmMessageBoxWidget network(1);
    network.set_detail(QStringLiteral("网络请求失败"));
    EXPECT_EQ(network.windowTitle(), QStringLiteral("网络请求失败"));
    network.set_title(QStringLiteral("貌似出了点问题"));
    EXPECT_EQ(network.windowTitle(), QStringLiteral("貌似出了点问题：网络请求失败"));
}

TEST_F(MessageBox, ErrorsShareOneBoxUntilItCloses)
{
    EmMessageBoxWidget* const first = EmMessageBoxWidget::instance();
    first->set_detail(QStringLiteral("first"));
    first->show();
    EmMessageBoxWidget::instance()->set_detail(QStringLiteral("second"));
    EmMessageBoxWidget::instance()->show();
    ASSERT_EQ(message_boxes().size(), 1);
    EXPECT_EQ(detail(message_boxes().front()), QStringLiteral("second"));

    auto* about = new EmMessageBoxWidget(2);
    ASSERT_TRUE(close_and_destroy(about));
    EXPECT_EQ(EmMessageBoxWidget::instance(), first);

    ASSERT_TRUE(close_and_destroy(first));
    EmMessageBoxWidget* const fresh = EmMessageBoxWidget::instance();
    EXPECT_FALSE(fresh->isVisible());
    EXPECT_EQ(picture(fresh), error_picture);
    EXPECT_EQ(EmMessageBoxWidget::instance(), fresh);
}

TEST_F(MessageBox, SharedBoxGoneByOtherMeansIsNotHandedOutAgain)
{
    QPointer<EmMessageBoxWidget> retyped = EmMessageBoxWidget::instance();
    retyped->set_kind(2);
    ASSERT_TRUE(close_and_destroy(retyped));
    EmMessageBoxWidget* const after_close = EmMessageBoxWidget::instance();
    EXPECT_EQ(picture(after_close), error_picture);

    delete after_close;
    EmMessageBoxWidget::instance()->set_detail(QStringLiteral("still usable"));
    EXPECT_EQ(detail(EmMessageBoxWidget::instance()), QStringLiteral("still usable"));
}

TEST_F(MessageBox, ConfirmClosesDestroysAndAnnouncesOnce)
{
    QPointer<EmMessageBoxWidget> box = EmMessageBoxWidget::instance();
    box->show();
    QSignalSpy closed(box.data(), &EmMessageBoxWidget::message_box_close);

    part<QPushButton>(box, "confirm_btn")->click();
    ASSERT_FALSE(box.isNull());
    EXPECT_FALSE(box->isVisible());
    EXPECT_TRUE(spin_until([&] { return box.isNull(); }));
    EXPECT_EQ(closed.count(), 1);
}

} // namespace
