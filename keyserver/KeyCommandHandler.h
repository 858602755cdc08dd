#pragma once

#include "Catalogue.h"

#include <zudata.pb.h>

#include <string>

// The HTTP status and the envelope that answer one request.
struct KeyAnswer
{
    int status = 200;
    zudata::ZuRespond respond;
};

// Decodes a ZuRequest and carries out its command: key lookups and reports of wrong keys.
class KeyCommandHandler
{
public:
    static constexpr int most_songs = 10;

    KeyCommandHandler(Catalogue& catalogue, bool empty_answers);

    KeyAnswer handle(const std::string& body);

    static KeyAnswer failure(int status, int cmd, const std::string& message);

private:
    zudata::ZuRespond lookup(const zudata::ZuRequest& request);
    zudata::ZuRespond report(const zudata::ZuRequest& request);

    Catalogue& catalogue;
    const bool empty_answers;
};
