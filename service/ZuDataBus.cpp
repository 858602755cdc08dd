#include "ZuDataBus.h"

#include <QCoreApplication>
#include <QThread>

ZuDataBus::ZuDataBus()
{
    // Whoever touches the hub first, it must live on the GUI thread, or signals from the
    // watcher thread would be delivered there instead of queued to the windows.
    if (QCoreApplication::instance() && thread() != QCoreApplication::instance()->thread()) {
        moveToThread(QCoreApplication::instance()->thread());
    }
    qRegisterMetaType<EmAppEntry*>("EmAppEntry*");
    qRegisterMetaType<ZuCommandReceiver*>("ZuCommandReceiver*");
}

ZuDataBus* ZuDataBus::instance()
{
    static ZuDataBus* const bus = new ZuDataBus();
    return bus;
}
