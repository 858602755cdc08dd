#include "KeydRawClient.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>

#include <optional>

namespace net = boost::asio;
using tcp = boost::asio::ip::tcp;

class KeydRawClient::Link
{
public:
    net::io_context io;
    net::ssl::context tls{net::ssl::context::tls_client};
    tcp::socket socket{io};
    std::optional<net::ssl::stream<tcp::socket&>> secure;
    bool is_connected = false;
    bool handshake_done = false;

    template <typename Operation>
    void async_read(net::mutable_buffer buffer, Operation done)
    {
        if (secure) {
            secure->async_read_some(buffer, done);
        } else {
            socket.async_read_some(buffer, done);
        }
    }

    bool write(const std::string& bytes)
    {
        boost::system::error_code failed;
        if (secure) {
            net::write(*secure, net::buffer(bytes), failed);
        } else {
            net::write(socket, net::buffer(bytes), failed);
        }
        return !failed;
    }
};

KeydRawClient::KeydRawClient(int port, bool tls, const std::string& ca_file, const std::string& from,
                             const std::function<void(ssl_ctx_st*)>& configure)
    : link(std::make_unique<Link>())
{
    boost::system::error_code failed;
    link->socket.open(tcp::v4(), failed);
    link->socket.bind(tcp::endpoint(net::ip::make_address(from), 0), failed);
    link->socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)),
                         failed);
    link->is_connected = !failed;
    if (!tls || failed) {
        return;
    }
    if (!ca_file.empty()) {
        link->tls.load_verify_file(ca_file, failed);
        link->tls.set_verify_mode(net::ssl::verify_peer);
    }
    if (configure) {
        configure(link->tls.native_handle());
    }
    link->secure.emplace(link->socket, link->tls);
    // The handshake is bounded like every other wait, so that a server that never answers fails
    // the test instead of hanging it.
    link->secure->async_handshake(net::ssl::stream_base::client,
                                  [this](boost::system::error_code ec) { link->handshake_done = !ec; });
    link->io.run_for(std::chrono::seconds(10));
    link->io.restart();
}

KeydRawClient::~KeydRawClient() = default;

bool KeydRawClient::connected() const
{
    return link->is_connected;
}

bool KeydRawClient::handshake_ok() const
{
    return link->handshake_done;
}

bool KeydRawClient::send(const std::string& bytes)
{
    return link->write(bytes);
}

KeydRawClient::Received KeydRawClient::trickle(const std::string& bytes, std::chrono::milliseconds interval,
                                               std::chrono::milliseconds timeout)
{
    std::string early;
    for (char byte : bytes) {
        if (!link->write(std::string(1, byte))) {
            break;
        }
        Received meanwhile = receive(interval);
        early += meanwhile.bytes;
        if (meanwhile.closed) {
            return {early, true};
        }
    }
    Received rest = receive(timeout);
    return {early + rest.bytes, rest.closed};
}

KeydRawClient::Received KeydRawClient::receive(std::chrono::milliseconds timeout)
{
    Received received;
    char chunk[4096];
    std::function<void(boost::system::error_code, std::size_t)> on_read = [&](boost::system::error_code ec,
                                                                              std::size_t read) {
        received.bytes.append(chunk, read);
        if (ec) {
            received.closed = true;
            return;
        }
        link->async_read(net::buffer(chunk), on_read);
    };
    link->async_read(net::buffer(chunk), on_read);
    link->io.run_for(timeout);
    if (!received.closed) {
        // Leaves no read pending that would write into `chunk` after it is gone.
        link->socket.cancel();
        link->io.run();
        received.closed = false;
    }
    link->io.restart();
    return received;
}
