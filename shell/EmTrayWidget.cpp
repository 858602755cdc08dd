#include "EmTrayWidget.h"

#include "EmTrayMenu.h"

#include <QIcon>
#include <QWidget>

EmTrayWidget::EmTrayWidget(QObject* parent)
    : QSystemTrayIcon(parent)
    , menu(std::make_unique<EmTrayMenu>(nullptr))
    , window(qobject_cast<QWidget*>(parent))
{
    setIcon(QIcon(QStringLiteral(":/Kestrune/Resources/img/3.png")));
    setContextMenu(menu.get());
    connect(this, &QSystemTrayIcon::activated, this, &EmTrayWidget::tray_double_click);
    connect(menu.get(), &EmTrayMenu::heard_first_changed, this, &EmTrayWidget::heard_first_changed);
    show();
}

EmTrayWidget::~EmTrayWidget() = default;

void EmTrayWidget::tray_double_click(QSystemTrayIcon::ActivationReason reason)
{
    if (!window || (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::DoubleClick)) {
        return;
    }
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}
