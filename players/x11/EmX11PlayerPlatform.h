#pragma once

#include "EmPlayerPlatform.h"
#include "EmProcProcessList.h"
#include "EmX11Connection.h"
#include "EmX11WindowList.h"

#include <chrono>
#include <string>

// Processes from /proc and top-level windows from the X server. Without a display there are no
// windows; the processes are listed all the same.
class EmX11PlayerPlatform : public EmPlayerPlatform
{
public:
    // An empty display name means $DISPLAY.
    EmX11PlayerPlatform(std::string proc_root, std::string display_name,
                        std::chrono::milliseconds retry_interval = EmX11Connection::default_retry_interval);

    std::optional<std::vector<Process>> list_processes() override;
    std::vector<Window> list_top_level_windows() override;

private:
    EmProcProcessList processes;
    EmX11Connection connection;
    EmX11WindowList windows{connection};
};
