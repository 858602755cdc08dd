#include "EmTrayMenu.h"
#include "EmFakePluginPlatform.h"
#include "EmMessageBoxWidget.h"
#include "EmPluginControl.h"
#include "KestruneConfig.h"
#include "ShellTestSupport.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace {

EmPluginControl* plugin_control()
{
    static const bool installed = [] {
        EmPluginControl::install(std::make_shared<EmFakePluginPlatform>());
        return true;
    }();
    static_cast<void>(installed);
    return EmPluginControl::instance();
}

// Reads the controller's scale-compensation flag without changing it.
bool scale_compensation()
{
    const bool now = !plugin_control()->toggle_scale_compensation();
    plugin_control()->toggle_scale_compensation();
    return now;
}

QString label_text(EmMessageBoxWidget* box, const char* name)
{
    return box->findChild<QLabel*>(QLatin1String(name))->text();
}

class TrayMenu : public ::testing::Test
{
protected:
    void TearDown() override
    {
        close_all_message_boxes();
        plugin_control()->set_auto_apply(false);
    }

    QAction* action(int index) { return menu.actions().at(index); }

    EmTrayMenu menu;
};

TEST_F(TrayMenu, OffersScaleSwitchHeardKeySwitchAboutAndQuit)
{
    EXPECT_EQ(menu.toolTipDuration(), 1000);
    EXPECT_TRUE(menu.toolTipsVisible());
    ASSERT_EQ(menu.actions().size(), 4);
    const QString texts[] = {QStringLiteral("电音失效"), QStringLiteral("以听辨为准"), QStringLiteral("关于"),
                             QStringLiteral("退出")};
    const QString tooltips[] = {QStringLiteral("自动电音无效，请点击我"), texts[1], texts[2], texts[3]};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(action(i)->text(), texts[i]);
        EXPECT_EQ(action(i)->toolTip(), tooltips[i]);
        // The switch shows its state with a check mark instead of an icon.
        EXPECT_EQ(action(i)->icon().isNull(), i == 1) << i;
        EXPECT_EQ(action(i)->isCheckable(), i == 1) << i;
    }

    // Off at start; each flip is announced.
    EXPECT_FALSE(action(1)->isChecked());
    QList<bool> announced;
    QObject::connect(&menu, &EmTrayMenu::heard_first_changed, [&](bool on) { announced << on; });
    action(1)->trigger();
    action(1)->trigger();
    EXPECT_EQ(announced, QList<bool>({true, false}));
}

TEST_F(TrayMenu, AboutTwiceShowsOneBoxAndAfterClosingANewOne)
{
    action(2)->trigger();
    action(2)->trigger();
    ASSERT_EQ(message_boxes().size(), 1);
    EmMessageBoxWidget* const first = message_boxes().front();
    EXPECT_EQ(label_text(first, "warn_title_label"), QStringLiteral("Velmora电音助手"));
    EXPECT_EQ(label_text(first, "warn_detail_label"), QStringLiteral("Velmora电音助手 " KESTRUNE_VERSION));
    EXPECT_NE(first, EmMessageBoxWidget::instance());

    ASSERT_TRUE(close_and_destroy(first));
    EXPECT_TRUE(message_boxes().isEmpty());
    action(2)->trigger();
    ASSERT_EQ(message_boxes().size(), 1);
    EXPECT_EQ(label_text(message_boxes().front(), "warn_title_label"), QStringLiteral("Velmora电音助手"));
}

TEST_F(TrayMenu, ScaleSwitchFlipsCompensationOnlyWhileAutoApplyIsOn)
{
    const bool before = scale_compensation();
    action(0)->trigger();
    EXPECT_EQ(scale_compensation(), before);

    plugin_control()->set_auto_apply(true);
    action(0)->trigger();
    EXPECT_EQ(scale_compensation(), !before);
    action(0)->trigger();
    EXPECT_EQ(scale_compensation(), before);
    EXPECT_TRUE(plugin_control()->auto_apply());
}

TEST_F(TrayMenu, QuitEndsTheEventLoopWhileBoxesAreOpen)
{
    EmMessageBoxWidget::instance()->show();
    action(2)->trigger();
    ASSERT_EQ(message_boxes().size(), 2);

    QTimer::singleShot(0, action(3), &QAction::trigger);
    // Fails the test instead of hanging it when quitting does not work.
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(42); });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
}

} // namespace
