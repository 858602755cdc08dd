#include "RequestRateLimiter.h"

RequestRateLimiter::RequestRateLimiter(std::size_t max_requests, Clock::duration window)
    : max_requests(max_requests)
    , window(window)
{
}

bool RequestRateLimiter::admit(const std::string& session, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex);
    forget_quiet_sessions(now);
    std::deque<Clock::time_point>& times = admitted[session];
    while (!times.empty() && now - times.front() >= window) {
        times.pop_front();
    }
    if (times.size() >= max_requests) {
        return false;
    }
    times.push_back(now);
    return true;
}

// Every client leaves a session behind, so sessions with nothing recent are dropped once per
// window; the table then holds only the clients of the last moment.
void RequestRateLimiter::forget_quiet_sessions(Clock::time_point now)
{
    if (now - last_sweep < window) {
        return;
    }
    last_sweep = now;
    for (auto it = admitted.begin(); it != admitted.end();) {
        if (it->second.empty() || now - it->second.back() >= window) {
            it = admitted.erase(it);
        } else {
            ++it;
        }
    }
}
