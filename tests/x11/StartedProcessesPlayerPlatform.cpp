#include "StartedProcessesPlayerPlatform.h"

#include <algorithm>
#include <utility>

StartedProcessesPlayerPlatform::StartedProcessesPlayerPlatform(
    std::shared_ptr<EmPlayerPlatform> platform, std::shared_ptr<const std::set<std::uint32_t>> started)
    : platform(std::move(platform))
    , started(std::move(started))
{
}

std::optional<std::vector<EmPlayerPlatform::Process>> StartedProcessesPlayerPlatform::list_processes()
{
    std::optional<std::vector<Process>> processes = platform->list_processes();
    if (processes) {
        processes->erase(
            std::remove_if(processes->begin(), processes->end(),
                           [this](const Process& process) { return !started->count(process.id); }),
            processes->end());
    }
    return processes;
}

std::vector<EmPlayerPlatform::Window> StartedProcessesPlayerPlatform::list_top_level_windows()
{
    return platform->list_top_level_windows();
}
