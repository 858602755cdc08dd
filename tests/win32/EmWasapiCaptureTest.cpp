#include "EmWasapiCapture.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;
using State = EmAudioCapture::State;

// Runs the capture of a system of the given build, following this test's process and then
// another, and returns the states it reported.
std::vector<State> states_while_following(std::uint32_t windows_build)
{
    std::mutex lock;
    std::condition_variable changed;
    std::vector<State> states;
    // A short retry interval, so that the capture reopens many times while it is watched.
    EmWasapiCapture capture(100ms, 1s, windows_build);
    capture.follow_process(GetCurrentProcessId());
    capture.start([](const float*, std::size_t, int, int) {},
                  [&](State state) {
                      std::lock_guard<std::mutex> guard(lock);
                      states.push_back(state);
                      changed.notify_all();
                  });
    {
        std::unique_lock<std::mutex> guard(lock);
        EXPECT_TRUE(changed.wait_for(guard, 20s, [&] { return !states.empty(); })) << windows_build;
    }
    // Another player: the capture reopens for it.
    capture.follow_process(4);
    Sleep(1500);
    const auto before = std::chrono::steady_clock::now();
    capture.stop();
    // Stopping waits at most for the activation under way.
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s) << windows_build;
    std::lock_guard<std::mutex> guard(lock);
    return states;
}

// Where the system refuses to record one process (Wine refuses the process-loopback device), the
// capture records the default output as a system without it does, and says so once however
// often it reopens.
TEST(EmWasapiCaptureTest, RefusedProcessCaptureFallsBackToTheOutputWithoutAWord)
{
    const std::vector<State> output = states_while_following(19045);
    ASSERT_EQ(output.size(), 1u);
    EXPECT_EQ(states_while_following(26100), output);
}

} // namespace
