#include "EmKeyListener.h"

#include <cmath>

namespace {

bool shown_alike(const std::optional<EmKeyDetector::Estimate>& a, const EmKeyDetector::Estimate& b)
{
    return a && a->key == b.key && std::lround(a->confidence * 100) == std::lround(b.confidence * 100);
}

} // namespace

EmKeyListener::EmKeyListener(std::unique_ptr<EmAudioCapture> capture)
    : capture(std::move(capture))
{
}

EmKeyListener::~EmKeyListener()
{
    stop();
}

void EmKeyListener::start(EmAudioCapture::StateSink states, EstimateSink estimates)
{
    capture->start(
        [this, estimates = std::move(estimates)](const float* samples, std::size_t frames, int channels,
                                                 int sample_rate) {
            std::lock_guard<std::mutex> guard(lock);
            detector.add(samples, frames, channels, sample_rate);
            const std::optional<EmKeyDetector::Estimate> heard = detector.estimate();
            if (heard && estimates && !shown_alike(latest, *heard)) {
                estimates(*heard, song);
            }
            latest = heard;
        },
        std::move(states));
}

void EmKeyListener::stop()
{
    capture->stop();
}

void EmKeyListener::follow_process(std::uint32_t process_id)
{
    capture->follow_process(process_id);
}

std::uint64_t EmKeyListener::reset()
{
    std::lock_guard<std::mutex> guard(lock);
    detector.reset();
    latest.reset();
    return ++song;
}

std::optional<EmKeyDetector::Estimate> EmKeyListener::estimate() const
{
    std::lock_guard<std::mutex> guard(lock);
    return latest;
}
