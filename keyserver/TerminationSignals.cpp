#include "TerminationSignals.h"

#include <pthread.h>
#include <signal.h>

#include <utility>

namespace {

sigset_t termination_set()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void()> on_signal)
{
    // A standard output whose reader went away must fail the log's writes, not end the service.
    ::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = termination_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    waiter = std::thread([this, set, on_signal = std::move(on_signal)] {
        int signal = 0;
        sigwait(&set, &signal);
        if (!leaving) {
            on_signal();
        }
    });
}

// Wakes the waiting thread with a signal of its own when none came from outside.
TerminationSignals::~TerminationSignals()
{
    leaving = true;
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
}
