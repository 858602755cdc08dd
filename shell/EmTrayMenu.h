#pragma once

#include <QMenu>

class EmMessageBoxWidget;

// The tray icon's menu: the plugin's screen-scale switch, the about box and quit.
class EmTrayMenu : public QMenu
{
    Q_OBJECT
public:
    explicit EmTrayMenu(QWidget* parent = nullptr);

public slots:
    void emusic_plugin_dpi();
    void about_app();
    void quit_app();
    void about_close();

private:
    // Null while no about box is open; the box deletes itself when it closes.
    EmMessageBoxWidget* about_box = nullptr;
};
