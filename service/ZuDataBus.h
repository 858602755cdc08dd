#pragma once

#include <QObject>
#include <QString>

class ZuCommandReceiver;
class EmAppEntry;

Q_DECLARE_OPAQUE_POINTER(EmAppEntry*)
Q_DECLARE_METATYPE(EmAppEntry*)
Q_DECLARE_OPAQUE_POINTER(ZuCommandReceiver*)
Q_DECLARE_METATYPE(ZuCommandReceiver*)

// The application-wide signal hub. It belongs to the GUI thread (its first use is there), so
// a signal emitted from the watcher thread reaches GUI receivers queued.
class ZuDataBus : public QObject
{
    Q_OBJECT
public:
    static ZuDataBus* instance();

signals:
    void remove_http_receiver(ZuCommandReceiver* receiver);
    void emusic_plugin_enable(bool found, QString version);
    // Carries the player entry itself; entries live for the whole run. Null means none.
    void app_change_signal(EmAppEntry* entry);

private:
    ZuDataBus();
};
