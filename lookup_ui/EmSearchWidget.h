#pragma once

#include "EmAudioCapture.h"
#include "EmFramelessWidget.h"
#include "ZuCommandReceiver.h"
#include "ui_EmSearchWidget.h"

#include <QVariant>

#include <map>
#include <memory>
#include <mutex>
#include <string>

class EmAppEntry;
class EmAppKeynoteWidget;
class EmHeardKey;
class EmPlayerPlatform;
class EmTitleEnum;
class EmTrayWidget;
class QThread;

// The main window. It runs the player watcher on a thread of its own, keeps a header row per
// running player, asks the key service whenever a player's song changes and fills the result
// list from the answers. While a player runs it listens to the music and shows the key it hears
// below the catalogue's (EmHeardKey).
class EmSearchWidget : public EmFramelessWidget, public ZuCommandReceiver, private Ui::EmSearchWidget
{
    Q_OBJECT
public:
    // Watches the players of the given desktop and listens through the capture; without one,
    // nothing is heard.
    EmSearchWidget(std::shared_ptr<EmPlayerPlatform> platform, std::unique_ptr<EmAudioCapture> capture,
                   QWidget* parent = nullptr);
    // Takes over a watcher that has no parent and still lives on this thread.
    explicit EmSearchWidget(EmTitleEnum* watcher, std::unique_ptr<EmAudioCapture> capture = nullptr,
                            QWidget* parent = nullptr);
    // Stops the watcher's thread before anything the watcher reaches goes away.
    ~EmSearchWidget() override;

    void on_respond(zudata::ZuRespond* respond) override;

signals:
    // A copy of a reply's first key record, as zudata::ZuMusicKeynote.
    void search_res_signal(QVariant record);

public slots:
    void app_change_signal(EmAppEntry* p);
    void app_status_change(EmAppEntry* p);
    void search_res(const QVariant& v);
    void home_web();

private:
    void show_search_result(const zudata::ZuRespond& respond);
    void add_app_widget(EmAppEntry* entry);
    void remove_app_widget(EmAppEntry* entry);

    EmTrayWidget* tray_widget = nullptr;
    std::unique_ptr<EmHeardKey> heard_key;
    EmTitleEnum* const title_enum;
    QThread* title_enum_thread = nullptr;
    std::map<std::string, EmAppKeynoteWidget*> app_widgets;
    std::mutex app_widgets_mutex;
    // Header rows go between the list's spacer and the auto-apply panel, the newest on top.
    static constexpr int app_widget_index = 3;
    // Rows of one answer beyond these are left out: each costs a widget, and thousands freeze the
    // window.
    static constexpr int max_listed_records = 50;
    static constexpr int max_error_text = 200;
};
