#pragma once

#include "EmAudioCapture.h"

#include <chrono>
#include <memory>
#include <string>

// Records what the default output plays, from the monitor source of PulseAudio's default sink
// (PipeWire's PulseAudio server too), and moves to the new default sink's monitor when the user
// changes the default. When the server is missing, goes away or fails, the state turns to
// Unavailable and a new connection is tried every retry_interval; capture resumes by itself
// when the server comes back. PulseAudio's monitor holds every client's sound, so the followed
// process is ignored.
//
// Runs on a PulseAudio threaded main loop of its own; the callbacks come from its thread.
class EmPulseAudioCapture : public EmAudioCapture
{
public:
    // server: a PulseAudio server address ("unix:/run/user/1000/pulse/native"); empty for the
    // user's default server.
    explicit EmPulseAudioCapture(std::string server = {},
                                 std::chrono::milliseconds retry_interval = std::chrono::seconds(2));
    ~EmPulseAudioCapture() override;

    void start(SampleSink samples, StateSink states) override;
    void stop() override;

private:
    struct Session;
    std::unique_ptr<Session> session;
    std::string server;
    std::chrono::milliseconds retry_interval;
};
