#pragma once

#include <chrono>
#include <thread>

// Checks the condition every 50 ms until it holds or the time is up; returns the condition.
template <typename Condition>
bool wait_until(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
