#pragma once

#include <cstdint>

// Which loopback the Windows capture opens next. Only the followed player's process tree where
// the system offers it (Windows 10 build 20348 and later), so that the singer's own voice coming
// back through the monitor is left out; everything the default output plays otherwise. A process
// whose capture could not be opened is heard through the output from then on, until another
// process is followed, so that a system that refuses it is not asked again at every reopening.
//
// Plain data without locks: used by the one thread that opens the capture.
class EmLoopbackPlan
{
public:
    enum class Source
    {
        Process,
        Output
    };

    static constexpr std::uint32_t first_process_loopback_build = 20348;

    explicit EmLoopbackPlan(std::uint32_t windows_build);

    // process_id: the process to follow, 0 for none.
    Source next(std::uint32_t process_id);
    // The capture of that process could not be opened (refused, failed or too slow).
    void refused(std::uint32_t process_id);

private:
    bool offered;
    std::uint32_t followed = 0;
    bool followed_refused = false;
};
