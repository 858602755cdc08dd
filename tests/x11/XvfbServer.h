#pragma once

#include "ChildProcess.h"

#include <xcb/xcb.h>

#include <memory>
#include <string>
#include <vector>

// A virtual X server of the test's own on a free display, never the developer's $DISPLAY. It
// accepts connections once start() returns and is ended when the object goes.
//
// When the environment variable KESTRUNE_TEST_WINDOW_MANAGER names a program (such as
// /usr/bin/openbox), that program runs on the server as its window manager, and start() returns
// once it manages the screen; CTest runs the desktop checks once without and once with it.
class XvfbServer
{
public:
    // Arguments for Xvfb besides the display, such as "-dpi" "144".
    explicit XvfbServer(std::vector<std::string> arguments = {});

    // Starts on a free display, or on the given one (":N") after a stop().
    void start(const std::string& display_name = {});
    void stop();
    // ":N".
    const std::string& display() const { return display_name; }

private:
    void start_window_manager(const std::string& program);
    // Whether the window manager has started and frames a window of ours.
    bool manages_windows(xcb_connection_t* connection);

    const std::vector<std::string> arguments;
    std::string display_name;
    std::unique_ptr<ChildProcess> server;
    std::unique_ptr<ChildProcess> window_manager;
};
