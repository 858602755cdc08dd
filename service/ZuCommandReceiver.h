#pragma once

namespace zudata {
class ZuRespond;
}

// Implemented by whoever sends requests through ZuHttpClient. An implementation must emit
// ZuDataBus::remove_http_receiver(this) first thing in its destructor, so that no reply is
// delivered to an object that is going away.
class ZuCommandReceiver
{
public:
    virtual ~ZuCommandReceiver() = default;

    // The answer belongs to the client and lives only for the duration of the call.
    virtual void on_respond(zudata::ZuRespond* respond) = 0;
};
