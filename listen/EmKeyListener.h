#pragma once

#include "EmAudioCapture.h"
#include "EmKeyDetector.h"

#include <memory>
#include <mutex>
#include <optional>

// Hears the key of what the computer plays: feeds a capture's samples to a key detector on the
// capture's thread. estimate() and reset() may be called from any thread, start() and stop()
// from the one that owns the listener; the capture is stopped before the listener goes.
class EmKeyListener
{
public:
    explicit EmKeyListener(std::unique_ptr<EmAudioCapture> capture);
    ~EmKeyListener();
    EmKeyListener(const EmKeyListener&) = delete;
    EmKeyListener& operator=(const EmKeyListener&) = delete;

    // states is called on the capture's thread when the capture starts or loses the sound
    // server.
    void start(EmAudioCapture::StateSink states);
    void stop();

    // A new song: what was heard so far no longer counts.
    void reset();
    std::optional<EmKeyDetector::Estimate> estimate() const;

private:
    std::unique_ptr<EmAudioCapture> capture;
    mutable std::mutex lock;
    EmKeyDetector detector;
    std::optional<EmKeyDetector::Estimate> latest;
};
