#pragma once

#include <atomic>
#include <functional>
#include <thread>

// Turns SIGINT and SIGTERM into a call on an ordinary thread, where stopping the server is safe;
// inside a signal handler it would not be. Also makes SIGPIPE harmless, so that writing to a
// closed pipe fails instead of ending the program. Must be made before any other thread starts,
// since threads inherit the blocked signals from the thread that makes them.
class TerminationSignals
{
public:
    explicit TerminationSignals(std::function<void()> on_signal);
    ~TerminationSignals();

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    std::atomic<bool> leaving{false};
    std::thread waiter;
};
