#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// What key listening needs from the sound system: the audio the computer plays, as it plays.
// Each system has its own implementation (PulseAudio on Linux, a file or signal in tests),
// chosen when the program is linked.
//
// start() returns at once; samples and state changes then arrive on the capture's own thread,
// never on the caller's. stop() returns when no callback runs any more and none will; call
// start(), stop() and follow_process() from one thread. A capture is dropped only when stopped.
class EmAudioCapture
{
public:
    enum class State
    {
        Capturing,
        // The sound server is missing or failed; the capture keeps trying to reach it.
        Unavailable
    };

    // Interleaved samples in -1..1, frames of `channels` samples at `sample_rate`.
    using SampleSink =
        std::function<void(const float* samples, std::size_t frames, int channels, int sample_rate)>;
    // Told only when the state changes, the first time when it is known.
    using StateSink = std::function<void(State state)>;

    virtual ~EmAudioCapture() = default;

    virtual void start(SampleSink samples, StateSink states) = 0;
    virtual void stop() = 0;
    // The player whose sound is wanted (0: none known). A backend that can record one process
    // alone records that process tree, and moves to another one when told, before or while it
    // runs; the others record everything the computer plays and ignore this.
    virtual void follow_process([[maybe_unused]] std::uint32_t process_id) {}
};
