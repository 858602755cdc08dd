#pragma once

#include "EmAudioCapture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Records what the default output device plays with WASAPI loopback capture (IAudioClient with
// AUDCLNT_STREAMFLAGS_LOOPBACK on the default render endpoint). Moves to the new default device
// when the user changes it (checked once a second). When no device can be opened or the device
// goes away, the state turns to Unavailable and the device is opened again every
// retry_interval.
//
// Runs on a thread of its own, which joins the multithreaded COM apartment; the callbacks come
// from that thread.
class EmWasapiCapture : public EmAudioCapture
{
public:
    explicit EmWasapiCapture(std::chrono::milliseconds retry_interval = std::chrono::seconds(2));
    ~EmWasapiCapture() override;

    void start(SampleSink samples, StateSink states) override;
    void stop() override;

private:
    void run(const SampleSink& samples, const StateSink& states);
    // Waits for the time or until stop() is called; false when stopping.
    bool pause(std::chrono::milliseconds time);

    std::chrono::milliseconds retry_interval;
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
    std::thread worker;
};
