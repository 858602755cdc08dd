#pragma once

#include <QMenu>

class EmMessageBoxWidget;

// The tray icon's menu: the plugin's screen-scale switch, the switch that prefers the key heard
// in the music over the catalogue's when they differ, the about box and quit.
class EmTrayMenu : public QMenu
{
    Q_OBJECT
public:
    explicit EmTrayMenu(QWidget* parent = nullptr);

signals:
    // The heard-key switch, off at start and kept only in memory.
    void heard_first_changed(bool on);

public slots:
    void emusic_plugin_dpi();
    void about_app();
    void quit_app();
    void about_close();

private:
    // Null while no about box is open; the box deletes itself when it closes.
    EmMessageBoxWidget* about_box = nullptr;
};
