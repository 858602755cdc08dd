#include "EmKeyListener.h"

EmKeyListener::EmKeyListener(std::unique_ptr<EmAudioCapture> capture)
    : capture(std::move(capture))
{
}

EmKeyListener::~EmKeyListener()
{
    stop();
}

void EmKeyListener::start(EmAudioCapture::StateSink states)
{
    capture->start(
        [this](const float* samples, std::size_t frames, int channels, int sample_rate) {
            std::lock_guard<std::mutex> guard(lock);
            detector.add(samples, frames, channels, sample_rate);
            latest = detector.estimate();
        },
        std::move(states));
}

void EmKeyListener::stop()
{
    capture->stop();
}

void EmKeyListener::reset()
{
    std::lock_guard<std::mutex> guard(lock);
    detector.reset();
    latest.reset();
}

std::optional<EmKeyDetector::Estimate> EmKeyListener::estimate() const
{
    std::lock_guard<std::mutex> guard(lock);
    return latest;
}
