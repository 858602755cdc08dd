#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <string>
#include <vector>

// A running window client (WindowClientMain.cpp) under the executable name the test chose, on
// the test's X server: a player or a plugin host that makes windows when told to and reports the
// events they receive.
class X11WindowClient
{
public:
    using WindowId = std::uint32_t;

    // One event a window received, as the client's "event" line gives it without the window.
    struct Event
    {
        WindowId window;
        std::string description;
    };

    X11WindowClient(const std::string& argv0, const std::string& display);
    // Lets the client destroy its windows and end.
    ~X11WindowClient();

    std::uint32_t pid() const;
    WindowId make_top_level(const std::string& class_name, const std::string& title, WindowId owner);
    WindowId make_child(WindowId parent, const std::string& class_name);
    void set_title(WindowId window, const std::string& title);
    // Unmaps a top-level window, as a player hiding to the tray does.
    void hide(WindowId window);
    void destroy(WindowId window);
    // From now on the client keeps making and destroying windows of the class.
    void churn(const std::string& class_name);
    // Every event received since the previous call, in order.
    std::vector<Event> take_events();

private:
    // Sends one command and returns the words after "ok"; the lines before it are events.
    std::string command(const std::string& line);
    std::string read_line();

    ChildProcess process;
    std::string pending;
    std::vector<Event> events;
};
