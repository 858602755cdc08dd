#pragma once

#include "EmAudioCapture.h"
#include "EmKeyListener.h"

#include <QObject>
#include <QThread>

#include <cstdint>
#include <memory>

// Listens to what the computer plays, for the window. Starting and stopping the capture happen on
// a thread of this object's own and the detector runs on the capture's thread, so the GUI
// thread never waits for the sound system; what is heard comes back through queued signals.
//
// Lives on the GUI thread: call its functions there. An estimate heard before the last
// new_song() is never handed over.
class EmKeyHearing : public QObject
{
    Q_OBJECT
public:
    explicit EmKeyHearing(std::unique_ptr<EmAudioCapture> capture, QObject* parent = nullptr);
    // Stops the capture and joins the thread.
    ~EmKeyHearing() override;

    // Capture while on; stopping keeps what was heard.
    void set_listening(bool on);
    // Forgets what was heard: the music now playing is another song.
    void new_song();
    // The player to listen to (0: none known), where the capture can hear one process alone.
    void follow_process(quint32 process_id);

signals:
    // The estimate of the current song changed: another key or another whole percent.
    void heard(const EmKey& key, double confidence);
    // The sound server answered (true) or is missing or failed (false); told on changes only.
    // The capture keeps trying to reach it.
    void sound_available(bool available);

    // From the capture's thread; queued to the GUI thread, which drops what belongs to an
    // earlier song or comes in after listening was switched off.
    void heard_on_capture(const EmKey& key, double confidence, quint64 song);
    void state_on_capture(bool available);

private:
    void on_heard(const EmKey& key, double confidence, quint64 song);
    void on_state(bool available);

    EmKeyListener listener;
    QThread thread;
    // Lives on `thread`: the capture is started and stopped by calls queued to it.
    QObject* const control;
    bool listening = false;
    std::uint64_t song = 0;
};

Q_DECLARE_METATYPE(EmKey)
