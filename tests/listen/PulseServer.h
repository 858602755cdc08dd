#pragma once

#include "ChildProcess.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <string>

// A PulseAudio server of the test's own, in a private runtime directory, with two null sinks,
// "first" the default output; what is played into a sink can be recorded from its monitor.
// Killed when it goes, and when the test process dies, so that a test stopped by a sanitizer or
// its time limit leaves no server holding its output open. Use it from one thread.
class PulseServer
{
public:
    // The directory must exist; the server's socket is `native` in it.
    explicit PulseServer(const QString& directory);
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    QString socket() const { return directory + "/native"; }
    std::string address() const { return ("unix:" + socket()).toStdString(); }

    // Starts the server and waits until it answers; false when it does not.
    bool start();
    void kill();
    // pactl against the server: its exit code (-1 when it crashed) and, if asked, its output.
    int control(const QStringList& arguments, QString* out = nullptr) const;
    // The name of the source our recording stream reads from; empty when there is none.
    QString recorded_source() const;
    // Plays a sound file into the default sink with paplay, without waiting for its end.
    void play(const QString& file);
    void stop_playing();

private:
    QString directory;
    std::unique_ptr<ChildProcess> server;
    std::unique_ptr<ChildProcess> player;
};
