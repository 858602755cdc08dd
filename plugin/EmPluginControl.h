#pragma once

#include "EmKeynoteRule.h"
#include "EmPluginPlatform.h"

#include <QMutex>
#include <QObject>
#include <QPointF>
#include <QString>
#include <memory>

class QTimer;

// Finds the pitch-correction plugin's window, announces it on the signal hub every two seconds,
// sets a keynote in it by posting clicks and key presses to its Scale and Key pop-ups, and hides
// or shows it. Lives on the GUI thread.
class EmPluginControl : public QObject
{
    Q_OBJECT
public:
    using WindowHandle = EmPluginPlatform::WindowHandle;

    // Starts the detection timer at once.
    explicit EmPluginControl(std::shared_ptr<EmPluginPlatform> platform);

    // Gives the application's controller its platform; has to happen before the first instance().
    static void install(std::shared_ptr<EmPluginPlatform> platform);
    static EmPluginControl* instance();

    void set_auto_apply(bool on);
    bool auto_apply() const;
    // Returns the new value.
    bool toggle_scale_compensation();

public slots:
    void update_key_string(QString kn);
    void show_plugin(bool b);
    void dect_plugin();

private:
    // Searches the whole window tree from the desktop.
    void find_plugin_window();
    void set_plugin_version(int version);
    void apply(int scale, int key);
    void click_and_pick(QPointF point, int count);
    void menu_pick(int count);
    double screen_scale_factor() const;
    EmPluginPlatform::PostResult post(std::uint32_t message, std::uintptr_t first, std::uintptr_t second);
    void post_logged(std::uint32_t message, std::uintptr_t first, std::uintptr_t second);

    const std::shared_ptr<EmPluginPlatform> platform;
    const EmKeynoteRule keynote_rule;
    WindowHandle plugin_window = EmPluginPlatform::no_window;
    QTimer* timer;
    QMutex mutex;
    bool auto_apply_on = false;
    bool scale_compensation = true;
    QPointF scale_point;
    QPointF key_point;
    int plugin_version = 0;
};
