#pragma once

#include "EmAudioCapture.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

// Plays given samples (read from a file or generated) as if the sound server delivered them: a
// tenth of a second at a time, with a pause between blocks (zero plays as fast as the listener
// takes them), then falls silent. Reports Capturing when started.
class EmFakeAudioCapture : public EmAudioCapture
{
public:
    EmFakeAudioCapture(std::vector<float> samples, int channels, int sample_rate,
                       std::chrono::milliseconds pause = std::chrono::milliseconds(0));
    ~EmFakeAudioCapture() override;

    void start(SampleSink samples, StateSink states) override;
    void stop() override;

private:
    std::vector<float> samples;
    int channels;
    int sample_rate;
    std::chrono::milliseconds pause;
    std::atomic<bool> stopping{false};
    std::thread player;
};
