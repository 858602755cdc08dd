#pragma once

#include <QSystemTrayIcon>
#include <memory>

class EmTrayMenu;
class QWidget;

// The application's tray icon with its menu. Clicking the icon brings back the window it was
// created for, when its parent is a widget.
class EmTrayWidget : public QSystemTrayIcon
{
    Q_OBJECT
public:
    explicit EmTrayWidget(QObject* parent);
    ~EmTrayWidget() override;

signals:
    // The menu's heard-key switch was flipped.
    void heard_first_changed(bool on);

private slots:
    void tray_double_click(QSystemTrayIcon::ActivationReason reason);

private:
    // The tray icon does not own its context menu.
    const std::unique_ptr<EmTrayMenu> menu;
    // The window that owns the icon, or null when the owner is no widget.
    QWidget* const window;
};
