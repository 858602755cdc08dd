#include "EmTrayWidget.h"
#include "EmTrayMenu.h"
#include "TestEventLoop.h"

#include <QApplication>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(TrayWidget, ShowsTheAppIconWithTheTrayMenu)
{
    QWidget window;
    EmTrayWidget tray(&window);
    EXPECT_FALSE(tray.icon().isNull());
    EXPECT_TRUE(tray.isVisible());
    auto* menu = qobject_cast<EmTrayMenu*>(tray.contextMenu());
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->actions().size(), 4);
    QList<bool> announced;
    QObject::connect(&tray, &EmTrayWidget::heard_first_changed, [&](bool on) { announced << on; });
    menu->actions().at(1)->trigger();
    EXPECT_EQ(announced, QList<bool>({true}));
}

TEST(TrayWidget, ClickOrDoubleClickBringsBackTheWindow)
{
    for (const auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick}) {
        QWidget window;
        EmTrayWidget tray(&window);
        emit tray.activated(QSystemTrayIcon::Context);
        emit tray.activated(QSystemTrayIcon::MiddleClick);
        EXPECT_FALSE(window.isVisible());

        emit tray.activated(reason);
        EXPECT_TRUE(window.isVisible()) << reason;
        EXPECT_TRUE(spin_until([&] { return QApplication::activeWindow() == &window; })) << reason;
    }
}

TEST(TrayWidget, ClickRestoresAMinimisedWindowKeepingItsOtherStates)
{
    QWidget window;
    EmTrayWidget tray(&window);
    window.show();
    window.setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);

    emit tray.activated(QSystemTrayIcon::Trigger);
    EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
}

} // namespace
