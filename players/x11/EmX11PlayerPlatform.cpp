#include "EmX11PlayerPlatform.h"

#include <utility>

EmX11PlayerPlatform::EmX11PlayerPlatform(std::string proc_root, std::string display_name,
                                         std::chrono::milliseconds retry_interval)
    : processes(std::move(proc_root))
    , connection(std::move(display_name), retry_interval)
{
}

std::optional<std::vector<EmPlayerPlatform::Process>> EmX11PlayerPlatform::list_processes()
{
    return processes.list();
}

std::vector<EmPlayerPlatform::Window> EmX11PlayerPlatform::list_top_level_windows()
{
    if (!connection.ready()) {
        return {};
    }
    return windows.list();
}
