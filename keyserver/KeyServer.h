#pragma once

#include "CatalogueStore.h"
#include "KeyServerConfig.h"

#include <cstddef>
#include <memory>

// The HTTPS face of the service: the assistant's exchange of one ZuRequest and one ZuRespond
// per request, with the session cookie, the rate limit, compression of large answers and the
// request log around the command handler. Event-driven: a few threads serve every connection,
// so slow or idle clients hold a little memory and a descriptor each, never a thread, and each
// connection is bounded in time (a deadline for handshake, headers and body together, another
// for idling between keep-alive requests) and in size (headers, body, connections per address
// and in all).
class KeyServer
{
public:
    static constexpr std::size_t largest_request = 64 * 1024;
    static constexpr std::size_t largest_header = 16 * 1024;
    static constexpr std::size_t largest_plain_answer = 1024;

    // Throws std::runtime_error when the certificate or key cannot be loaded, the base path is
    // not of the form "/word/word", or a trusted proxy range does not parse.
    KeyServer(CatalogueStore& catalogue, KeyServerConfig config);
    ~KeyServer();

    // Binds the listening socket and returns its port. Throws std::runtime_error.
    int listen();

    // Answers requests until stop(); call after listen(), from one thread.
    void serve();

    // Any thread, any time, also before serve() has started. Requests being answered are
    // finished; idle connections are closed.
    void stop();

private:
    class Engine;
    std::unique_ptr<Engine> engine;
};
