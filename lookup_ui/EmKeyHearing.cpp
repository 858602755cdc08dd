#include "EmKeyHearing.h"

EmKeyHearing::EmKeyHearing(std::unique_ptr<EmAudioCapture> capture, QObject* parent)
    : QObject(parent)
    , listener(std::move(capture))
    , control(new QObject)
{
    qRegisterMetaType<EmKey>();
    control->moveToThread(&thread);
    connect(&thread, &QThread::finished, control, &QObject::deleteLater);
    connect(this, &EmKeyHearing::heard_on_capture, this, &EmKeyHearing::on_heard, Qt::QueuedConnection);
    connect(this, &EmKeyHearing::state_on_capture, this, &EmKeyHearing::on_state, Qt::QueuedConnection);
    thread.start();
    song = listener.reset();
}

EmKeyHearing::~EmKeyHearing()
{
    QMetaObject::invokeMethod(
        control, [this] { listener.stop(); }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

void EmKeyHearing::set_listening(bool on)
{
    if (on == listening) {
        return;
    }
    listening = on;
    if (!on) {
        QMetaObject::invokeMethod(control, [this] { listener.stop(); });
        return;
    }
    QMetaObject::invokeMethod(control, [this] {
        listener.start(
            [this](EmAudioCapture::State state) {
                emit state_on_capture(state == EmAudioCapture::State::Capturing);
            },
            [this](const EmKeyDetector::Estimate& estimate, std::uint64_t number) {
                emit heard_on_capture(estimate.key, estimate.confidence, number);
            });
    });
}

void EmKeyHearing::new_song()
{
    song = listener.reset();
}

void EmKeyHearing::follow_process(quint32 process_id)
{
    QMetaObject::invokeMethod(control, [this, process_id] { listener.follow_process(process_id); });
}

void EmKeyHearing::on_heard(const EmKey& key, double confidence, quint64 number)
{
    if (number == song) {
        emit heard(key, confidence);
    }
}

void EmKeyHearing::on_state(bool available)
{
    if (listening) {
        emit sound_available(available);
    }
}
