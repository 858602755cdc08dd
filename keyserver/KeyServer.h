#pragma once

#include "Catalogue.h"
#include "KeyCommandHandler.h"
#include "KeyServerConfig.h"
#include "RequestLog.h"
#include "RequestRateLimiter.h"

#include <httplib.h>

#include <atomic>

// The HTTPS face of the service: the assistant's exchange of one ZuRequest and one ZuRespond
// per connection, with the session cookie, the rate limit, compression of large answers and the
// request log around the command handler.
class KeyServer
{
public:
    static constexpr std::size_t largest_request = 64 * 1024;
    static constexpr std::size_t largest_plain_answer = 1024;

    // Throws std::runtime_error when the certificate or key cannot be loaded or the base path
    // is not of the form "/word/word".
    KeyServer(Catalogue& catalogue, KeyServerConfig config);

    // Binds the listening socket and returns its port. Throws std::runtime_error.
    int listen();

    // Answers requests until stop(); call after listen().
    void serve();

    // Any thread, any time, also before serve() has started.
    void stop();

private:
    void answer(const httplib::Request& request, httplib::Response& response);
    void send(httplib::Response& response, const KeyAnswer& answer);

    const KeyServerConfig config;
    KeyCommandHandler handler;
    RequestRateLimiter limiter;
    RequestLog log;
    httplib::SSLServer http;
    std::atomic<bool> stop_requested{false};
    std::atomic<bool> serving{false};
};
