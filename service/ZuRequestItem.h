#pragma once

#include <string>

class ZuCommandReceiver;
namespace zudata {
class ZuRespond;
}

// One request sent and not yet answered. The serial travels in the "Serial-Num" header and
// finds the item again when the reply comes back.
class ZuRequestItem
{
public:
    explicit ZuRequestItem(ZuCommandReceiver* receiver);

    void notify(zudata::ZuRespond* respond) const;

    ZuCommandReceiver* const receiver;
    const std::string serial;
};
