#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

// Admits at most `max_requests` requests of one session within any stretch of `window`. Only
// admitted requests count, so a client that keeps knocking is let in again as soon as its own
// earlier requests have aged out.
class RequestRateLimiter
{
public:
    using Clock = std::chrono::steady_clock;

    RequestRateLimiter(std::size_t max_requests, Clock::duration window);

    bool admit(const std::string& session, Clock::time_point now = Clock::now());

private:
    void forget_quiet_sessions(Clock::time_point now);

    const std::size_t max_requests;
    const Clock::duration window;
    std::mutex mutex;
    std::unordered_map<std::string, std::deque<Clock::time_point>> admitted;
    Clock::time_point last_sweep;
};
