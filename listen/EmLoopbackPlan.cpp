#include "EmLoopbackPlan.h"

EmLoopbackPlan::EmLoopbackPlan(std::uint32_t windows_build)
    : offered(windows_build >= first_process_loopback_build)
{
}

EmLoopbackPlan::Source EmLoopbackPlan::next(std::uint32_t process_id)
{
    if (process_id != followed) {
        followed = process_id;
        followed_refused = false;
    }
    return offered && process_id != 0 && !followed_refused ? Source::Process : Source::Output;
}

void EmLoopbackPlan::refused(std::uint32_t process_id)
{
    if (process_id == followed) {
        followed_refused = true;
    }
}
