#pragma once

#include "EmAudioCapture.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Plays given samples (read from a file or generated) as if the sound server delivered them: a
// tenth of a second at a time, with a pause between blocks (zero plays as fast as the listener
// takes them), then falls silent. Reports Capturing when started. Plays the same samples whatever
// process it follows, but keeps the processes it was told to follow, for tests.
class EmFakeAudioCapture : public EmAudioCapture
{
public:
    EmFakeAudioCapture(std::vector<float> samples, int channels, int sample_rate,
                       std::chrono::milliseconds pause = std::chrono::milliseconds(0));
    ~EmFakeAudioCapture() override;

    void start(SampleSink samples, StateSink states) override;
    void stop() override;
    void follow_process(std::uint32_t process_id) override;

    // Every process it was told to follow, in order; from any thread.
    std::vector<std::uint32_t> followed_processes() const;

private:
    std::vector<float> samples;
    int channels;
    int sample_rate;
    std::chrono::milliseconds pause;
    std::atomic<bool> stopping{false};
    std::thread player;
    mutable std::mutex followed_lock;
    std::vector<std::uint32_t> followed;
};
