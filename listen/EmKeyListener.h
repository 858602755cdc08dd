#pragma once

#include "EmAudioCapture.h"
#include "EmKeyDetector.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

// Hears the key of what the computer plays: feeds a capture's samples to a key detector on the
// capture's thread. estimate() and reset() may be called from any thread, start(), stop() and
// follow_process() from the one that owns the listener; the capture is stopped before the
// listener goes.
class EmKeyListener
{
public:
    // An estimate that changed as shown to a user (another key, or another whole percent of
    // confidence), with the number of the song it belongs to (see reset()). Called on the
    // capture's thread, while the listener holds its lock: it must not call back into the
    // listener.
    using EstimateSink = std::function<void(const EmKeyDetector::Estimate& estimate, std::uint64_t song)>;

    explicit EmKeyListener(std::unique_ptr<EmAudioCapture> capture);
    ~EmKeyListener();
    EmKeyListener(const EmKeyListener&) = delete;
    EmKeyListener& operator=(const EmKeyListener&) = delete;

    // states is called on the capture's thread when the capture starts or loses the sound
    // server.
    void start(EmAudioCapture::StateSink states, EstimateSink estimates = {});
    void stop();
    // The player to listen to, where the capture can single one out (EmAudioCapture).
    void follow_process(std::uint32_t process_id);

    // A new song: what was heard so far no longer counts. Returns the new song's number; an
    // estimate handed over with an older number was heard before the reset.
    std::uint64_t reset();
    std::optional<EmKeyDetector::Estimate> estimate() const;

private:
    std::unique_ptr<EmAudioCapture> capture;
    mutable std::mutex lock;
    EmKeyDetector detector;
    std::optional<EmKeyDetector::Estimate> latest;
    std::uint64_t song = 0;
};
