#pragma once

#include "EmAudioCapture.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

// Records what the followed player plays with WASAPI loopback capture. Where the system offers
// process loopback (Windows 10 build 20348 and later) and a process is followed, only that
// process tree is recorded; otherwise, and when the system refuses or does not answer within
// activation_timeout, everything the default output device plays (IAudioClient with
// AUDCLNT_STREAMFLAGS_LOOPBACK on the default render endpoint), without telling anyone. The
// output capture moves to the new default device when the user changes it (checked once a
// second); following another process reopens the capture. When nothing can be opened or the
// device goes away, the state turns to Unavailable and the capture is opened again every
// retry_interval.
//
// windows_build is the system's build number (0: asked of the system); tests claim another to
// take the other road.
//
// Runs on a thread of its own, which joins the multithreaded COM apartment; the callbacks come
// from that thread. follow_process() may be called before start() and while it runs; stop()
// returns after at most the activation that is under way (activation_timeout).
class EmWasapiCapture : public EmAudioCapture
{
public:
    explicit EmWasapiCapture(std::chrono::milliseconds retry_interval = std::chrono::seconds(2),
                             std::chrono::milliseconds activation_timeout = std::chrono::seconds(2),
                             std::uint32_t windows_build = 0);
    ~EmWasapiCapture() override;

    void start(SampleSink samples, StateSink states) override;
    void stop() override;
    void follow_process(std::uint32_t process_id) override;

private:
    void run(const SampleSink& samples, const StateSink& states);
    // Waits for the time, until stop() is called or another process is followed; false when
    // stopping.
    bool pause(std::chrono::milliseconds time);
    bool stop_requested();
    // The process to record, and whether the capture must be reopened for it.
    std::uint32_t take_followed();
    bool follow_changed();

    std::chrono::milliseconds retry_interval;
    std::chrono::milliseconds activation_timeout;
    std::uint32_t windows_build;
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
    std::uint32_t followed = 0;
    bool reopen = false;
    std::thread worker;
};
