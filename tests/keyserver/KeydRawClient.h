#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

struct ssl_ctx_st;

// A client that sends exactly the bytes it is given, over TCP or TLS, to reach the corners of the
// HTTP exchange that well-behaved clients never visit: oversize headers, trickled bytes, plain
// HTTP on the TLS port, old protocol versions. Every wait is bounded. One thread at a time.
class KeydRawClient
{
public:
    struct Received
    {
        std::string bytes;
        // The server closed the connection (or broke it off) within the time given.
        bool closed = false;
    };

    // Connects to 127.0.0.1:port from `from` (a loopback address, so that many clients can count as
    // different addresses). With `tls`, makes the handshake trusting `ca_file`; `configure` may
    // narrow the client's versions or suites first. handshake_ok() tells how it went.
    KeydRawClient(int port, bool tls, const std::string& ca_file = {}, const std::string& from = "127.0.0.1",
                  const std::function<void(ssl_ctx_st*)>& configure = {});
    ~KeydRawClient();

    bool connected() const;
    bool handshake_ok() const;

    bool send(const std::string& bytes);
    // Sends one byte every `interval` until all are sent or the server closes the connection;
    // then reads as receive() does.
    Received trickle(const std::string& bytes, std::chrono::milliseconds interval,
                     std::chrono::milliseconds timeout);
    // Reads until the server closes the connection or `timeout` has passed.
    Received receive(std::chrono::milliseconds timeout);

private:
    class Link;
    std::unique_ptr<Link> link;
};
