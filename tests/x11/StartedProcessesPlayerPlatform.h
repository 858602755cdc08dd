#pragma once

#include "EmPlayerPlatform.h"

#include <cstdint>
#include <memory>
#include <set>

// A player platform whose process list keeps only the processes one test started. Tests run in
// parallel and each sees the others' "KuGou.exe" in /proc; the watcher would take whichever came
// first. The windows are the test's own anyway, on its own X server.
class StartedProcessesPlayerPlatform : public EmPlayerPlatform
{
public:
    StartedProcessesPlayerPlatform(std::shared_ptr<EmPlayerPlatform> platform,
                                   std::shared_ptr<const std::set<std::uint32_t>> started);

    std::optional<std::vector<Process>> list_processes() override;
    std::vector<Window> list_top_level_windows() override;

private:
    const std::shared_ptr<EmPlayerPlatform> platform;
    const std::shared_ptr<const std::set<std::uint32_t>> started;
};
