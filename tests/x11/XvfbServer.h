#pragma once

#include "SpawnedProcess.h"

#include <memory>
#include <string>
#include <vector>

// A virtual X server of the test's own on a free display, never the developer's $DISPLAY. It
// accepts connections once start() returns and is ended when the object goes.
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
    const std::vector<std::string> arguments;
    std::string display_name;
    std::unique_ptr<SpawnedProcess> server;
};
