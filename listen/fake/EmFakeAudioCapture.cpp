#include "EmFakeAudioCapture.h"

#include <algorithm>

EmFakeAudioCapture::EmFakeAudioCapture(std::vector<float> samples, int channels, int sample_rate,
                                       std::chrono::milliseconds pause)
    : samples(std::move(samples))
    , channels(channels)
    , sample_rate(sample_rate)
    , pause(pause)
{
}

EmFakeAudioCapture::~EmFakeAudioCapture()
{
    stop();
}

void EmFakeAudioCapture::start(SampleSink sink, StateSink states)
{
    stop();
    stopping = false;
    player = std::thread([this, sink = std::move(sink), states = std::move(states)] {
        states(State::Capturing);
        const auto width = static_cast<std::size_t>(channels);
        const std::size_t frames = samples.size() / width;
        const auto block = static_cast<std::size_t>(sample_rate / 10);
        for (std::size_t at = 0; at < frames && !stopping; at += block) {
            sink(samples.data() + at * width, std::min(block, frames - at), channels, sample_rate);
            std::this_thread::sleep_for(pause);
        }
    });
}

void EmFakeAudioCapture::stop()
{
    stopping = true;
    if (player.joinable()) {
        player.join();
    }
}

void EmFakeAudioCapture::follow_process(std::uint32_t process_id)
{
    std::lock_guard<std::mutex> guard(followed_lock);
    followed.push_back(process_id);
}

std::vector<std::uint32_t> EmFakeAudioCapture::followed_processes() const
{
    std::lock_guard<std::mutex> guard(followed_lock);
    return followed;
}
