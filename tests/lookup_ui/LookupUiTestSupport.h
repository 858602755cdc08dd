#pragma once

#include "EmFakePlayerPlatform.h"
#include "EmFakePluginPlatform.h"
#include "zudata.pb.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class EmTitleEnum;
class HttpsPeer;
class QLabel;
class QWidget;

// The application's plugin controller runs on one in-memory window tree per test program, put in
// place before anything asks for the controller.
EmFakePluginPlatform& plugin_desktop();
// Opens a plugin window of the given class and lets the controller find it at once.
void open_plugin_window(const std::string& class_name = "ATEvoPluginWndClass");
// Closes the plugin window, lets the controller notice and empties the post record.
void close_plugin_window();
// The window opened last; no_window while none is open.
EmPluginPlatform::WindowHandle plugin_window();
// What the open plugin window receives when a key with these Down counts is applied.
std::vector<EmFakePluginPlatform::Post> apply_posts(int scale, int key);
std::vector<EmFakePluginPlatform::Post> twice(const std::vector<EmFakePluginPlatform::Post>& posts);

QLabel* find_label(QWidget* parent, const char* name);
zudata::ZuMusicKeynote keynote_record(const std::string& name, const std::string& singer,
                                      const std::string& keynote, const std::string& process = "QQMusic.exe");
// The program's style sheet, from its resources, and the 9-point font that a
// desktop gives it.
void use_program_look();

// The key service of the test program, on the HTTPS test peer; the application's client is
// pointed at it, and at a fresh database, on first use. Every lookup is answered as scripted:
// the keys, zlib-compressed, for the song and player that the lookup names, or an error. Any
// other command is refused.
class KeyService
{
public:
    static KeyService& instance();

    void answer_keys(const std::vector<std::string>& keys);
    void answer_error(const std::string& message);
    std::vector<zudata::ZuRequest> lookups() const;
    void forget_lookups();

private:
    KeyService();
    std::string answer(const zudata::ZuRequest& request) const;

    struct Script
    {
        std::vector<std::string> keys;
        std::string error;
    };

    QTemporaryDir home;
    mutable std::mutex mutex;
    Script script;
    std::size_t forgotten = 0;
    std::unique_ptr<HttpsPeer> peer;
};

// Music players on an in-memory desktop, watched by a watcher that refreshes only when asked.
class PlayerDesktop
{
public:
    PlayerDesktop();

    // Hand it to the main window, which runs it on its own thread.
    EmTitleEnum* make_watcher();
    // One refresh on the watcher's thread; its reports have reached the main window on return.
    void refresh();

    EmFakePlayerPlatform& fake() { return *desktop; }

private:
    QTemporaryDir log_home;
    std::shared_ptr<EmFakePlayerPlatform> desktop = std::make_shared<EmFakePlayerPlatform>();
    EmTitleEnum* watcher = nullptr;
};
