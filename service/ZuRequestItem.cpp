#include "ZuRequestItem.h"

#include "ZuCommandReceiver.h"

#include <QUuid>

ZuRequestItem::ZuRequestItem(ZuCommandReceiver* receiver)
    : receiver(receiver)
    , serial(QUuid::createUuid().toString().toStdString())
{
}

void ZuRequestItem::notify(zudata::ZuRespond* respond) const
{
    if (receiver != nullptr) {
        receiver->on_respond(respond);
    }
}
