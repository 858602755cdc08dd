#include "KeyServer.h"

#include "KeyCommandHandler.h"
#include "RequestLog.h"
#include "RequestRateLimiter.h"
#include "SessionIdentity.h"
#include "TrustedProxies.h"
#include "ZlibCompressor.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <openssl/ssl.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <regex>
#include <set>
#include <stdexcept>
#include <thread>
#include <unordered_map>

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace net = boost::asio;
namespace ssl = boost::asio::ssl;
using tcp = boost::asio::ip::tcp;

namespace {

using Clock = std::chrono::steady_clock;

const char* const too_large_text = "请求过大";
const char* const too_frequent_text = "请求过于频繁";
const char* const internal_error_text = "服务器内部错误";

const std::regex base_path_form("(/[A-Za-z0-9_-]+)*");

// Under load the kernel keeps this many finished handshakes waiting for us instead of refusing them.
constexpr int listen_backlog = 4096;
// Connections taken from the kernel's queue in one turn of the acceptor.
constexpr int accept_batch = 64;
// A TLS record starts with this byte; anything else on the TLS port is a plain HTTP client.
constexpr unsigned char tls_handshake_record = 0x16;
// TLS 1.2 suites that authenticate and encrypt in one step; TLS 1.3 has only such suites.
const char* const aead_suites = "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";
// How long and how much a refused client may go on sending before it is cut off.
constexpr std::chrono::seconds lingering{2};
constexpr std::size_t most_drained = 1024 * 1024;
const char* const plain_http_refusal =
    "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";

std::string percent_decoded(beast::string_view target)
{
    const beast::string_view path = target.substr(0, target.find('?'));
    std::string decoded;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (path[i] == '%' && i + 2 < path.size() && hex(path[i + 1]) >= 0 && hex(path[i + 2]) >= 0) {
            decoded += static_cast<char>(hex(path[i + 1]) * 16 + hex(path[i + 2]));
            i += 2;
        } else {
            decoded += path[i];
        }
    }
    return decoded;
}

} // namespace

class KeyServer::Engine
{
public:
    Engine(CatalogueStore& catalogue, KeyServerConfig server_config);

    class Connection;

    int listen();
    void serve();
    void stop();

    // Which address a connection counts against, and whether it may open.
    bool admit(const std::string& address);
    void release(const std::string& address);
    void forget(Connection* connection);

    KeyAnswer answer(const http::request<http::string_body>& request, const std::string& peer,
                     std::string& set_cookie);

    const KeyServerConfig config;
    KeyCommandHandler handler;
    RequestRateLimiter limiter;
    RequestLog log;
    TrustedProxies proxies;
    const SessionIdentity sessions;
    std::set<std::string> routes;
    std::atomic<bool> stopping{false};

private:
    void accept();
    // Admits a new connection, or closes it when its address or the service is at its limit.
    void take(tcp::socket socket);

    std::atomic<bool> stop_requested{false};
    // Declared before the I/O context: connections still pending when it is destroyed take
    // themselves off these on the way out.
    std::mutex connections_mutex;
    std::unordered_map<std::string, std::size_t> per_address;
    std::size_t open_connections = 0;
    // Weak, since a connection being destroyed must not be revived to be closed.
    std::unordered_map<Connection*, std::weak_ptr<Connection>> connections;

public:
    net::io_context io;
    ssl::context tls{ssl::context::tls_server};

private:
    // The acceptor, its pause and stop() take turns on one strand.
    net::strand<net::io_context::executor_type> accepting{io.get_executor()};
    tcp::acceptor acceptor{accepting};
    net::steady_timer accept_pause{accepting};
};

// One client connection, from the first byte to the close. Its handlers run one at a time on
// the connection's strand; the shared pointer the pending operation holds keeps it alive.
class KeyServer::Engine::Connection : public std::enable_shared_from_this<Connection>
{
public:
    Connection(Engine& engine, tcp::socket socket, std::string address)
        : engine(engine)
        , executor(socket.get_executor())
        , plain(std::move(socket))
        , address(std::move(address))
        , buffer(largest_header + largest_request)
    {
    }

    ~Connection()
    {
        engine.forget(this);
        engine.release(address);
    }

    void start()
    {
        deadline = Clock::now() + engine.config.request_deadline;
        lowest().expires_at(deadline);
        lowest().async_read_some(buffer.prepare(512),
                                 [self = shared_from_this()](beast::error_code ec, std::size_t read) {
                                     self->on_first_bytes(ec, read);
                                 });
    }

    // From any thread: closes the connection if it waits for a request, else lets it finish the
    // one in progress and close then.
    void close_when_idle()
    {
        net::post(executor, [self = shared_from_this()] {
            if (self->idle) {
                self->lowest().cancel();
            }
        });
    }

private:
    beast::tcp_stream& lowest() { return stream ? beast::get_lowest_layer(*stream) : plain; }

    void on_first_bytes(beast::error_code ec, std::size_t read)
    {
        if (ec) {
            return;
        }
        buffer.commit(read);
        if (static_cast<unsigned char>(*static_cast<const char*>(buffer.data().data())) !=
            tls_handshake_record) {
            lowest().expires_at(deadline);
            net::async_write(lowest(), net::buffer(plain_http_refusal, std::strlen(plain_http_refusal)),
                             [self = shared_from_this()](beast::error_code, std::size_t) {
                                 self->lowest().socket().shutdown(tcp::socket::shutdown_send, self->ignored);
                             });
            return;
        }
        // Made only now, since making it costs more than everything else about a connection, and
        // silent clients would otherwise make every newcomer wait for theirs after a burst.
        stream.emplace(std::move(plain), engine.tls);
        lowest().expires_at(deadline);
        stream->async_handshake(ssl::stream_base::server, buffer.data(),
                                [self = shared_from_this()](beast::error_code ec, std::size_t used) {
                                    if (ec) {
                                        return;
                                    }
                                    self->buffer.consume(used);
                                    self->read_header();
                                });
    }

    void read_header()
    {
        parser.emplace();
        parser->header_limit(static_cast<std::uint32_t>(largest_header));
        parser->body_limit(largest_request);
        lowest().expires_at(deadline);
        http::async_read_header(
            *stream, buffer, *parser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_header(ec); });
    }

    // A request that breaks the syntax gets an answer; a client that went away or timed out does not.
    static bool malformed(beast::error_code ec)
    {
        return ec.category() == make_error_code(http::error::end_of_stream).category() &&
               ec != http::error::end_of_stream && ec != http::error::partial_message;
    }

    void on_header(beast::error_code ec)
    {
        if (ec == http::error::header_limit) {
            refuse(http::status::request_header_fields_too_large, nullptr);
            return;
        }
        headers_done = Clock::now();
        if (ended_by(ec)) {
            return;
        }
        path = percent_decoded(parser->get().target());
        lowest().expires_at(deadline);
        http::async_read(
            *stream, buffer, *parser,
            [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_body(ec); });
    }

    // True when the read failed and the connection has been answered or given up on: a body
    // over the limit, a request that does not parse, or a closed or timed-out connection.
    bool ended_by(beast::error_code ec)
    {
        if (ec == http::error::body_limit) {
            too_large();
            return true;
        }
        if (ec && malformed(ec)) {
            refuse(http::status::bad_request, nullptr);
        }
        return static_cast<bool>(ec);
    }

    // Both framings end here: a Content-Length over the limit as soon as the headers are read,
    // chunks once they add up to more than the limit.
    void too_large()
    {
        path = percent_decoded(parser->get().target());
        const KeyAnswer answer = KeyCommandHandler::failure(413, zudata::CMD_UNKNOW, too_large_text);
        refuse(http::status::payload_too_large, &answer);
    }

    void on_body(beast::error_code ec)
    {
        if (ended_by(ec)) {
            return;
        }
        const http::request<http::string_body>& request = parser->get();
        response = {};
        response.version(11);
        if (request.method() != http::verb::post || engine.routes.count(path) == 0) {
            response.result(http::status::not_found);
            cmd = err = -1;
        } else {
            std::string set_cookie;
            const KeyAnswer answer = engine.answer(request, address, set_cookie);
            if (!set_cookie.empty()) {
                response.set(http::field::set_cookie, set_cookie);
            }
            put(answer);
        }
        response.keep_alive(request.keep_alive() && !engine.stopping);
        write();
    }

    void put(const KeyAnswer& answer)
    {
        cmd = answer.respond.cmd();
        err = answer.respond.err();
        if (answer.status == 429) {
            response.set(http::field::retry_after, "1");
        }
        response.result(static_cast<unsigned>(answer.status));
        const std::string body = answer.respond.SerializeAsString();
        response.set(http::field::content_type, "application/x-protobuf");
        if (body.size() > largest_plain_answer) {
            response.set(http::field::content_encoding, "zlib");
            response.set("Content-unzipLength", std::to_string(body.size()));
            response.body() = ZlibCompressor::compress(body);
        } else {
            response.body() = body;
        }
    }

    // Answers a request that is not read to its end, and closes the connection after.
    void refuse(http::status status, const KeyAnswer* answer)
    {
        response = {};
        response.version(11);
        if (answer) {
            put(*answer);
        }
        response.result(status);
        response.keep_alive(false);
        unread_request = true;
        write();
    }

    // Closing while the client is still sending would make the kernel reset the connection, and
    // the client could lose the answer before reading it. So what it still sends is read and
    // thrown away until it closes, for a bounded time and amount.
    void drain_then_close(std::size_t left)
    {
        buffer.clear();
        const std::size_t chunk = std::min<std::size_t>(left, 16 * 1024);
        if (chunk == 0) {
            return;
        }
        stream->async_read_some(buffer.prepare(chunk),
                                [self = shared_from_this(), left](beast::error_code ec, std::size_t read) {
                                    if (!ec) {
                                        self->drain_then_close(left - std::min(left, read));
                                    }
                                });
    }

    void write()
    {
        response.prepare_payload();
        lowest().expires_after(engine.config.request_deadline);
        http::async_write(*stream, response, [self = shared_from_this()](beast::error_code ec, std::size_t) {
            self->on_written(ec);
        });
    }

    void on_written(beast::error_code ec)
    {
        const double latency_ms =
            path.empty() ? 0.0
                         : std::chrono::duration<double, std::milli>(Clock::now() - headers_done).count();
        engine.log.record(path, cmd, response.result_int(), err, latency_ms);
        path.clear();
        cmd = err = -1;
        if (!ec && unread_request) {
            lowest().expires_after(lingering);
            drain_then_close(most_drained);
            return;
        }
        if (ec || !response.keep_alive() || engine.stopping) {
            lowest().expires_after(std::chrono::seconds(1));
            stream->async_shutdown([self = shared_from_this()](beast::error_code) {});
            return;
        }
        if (buffer.size() > 0) {
            deadline = Clock::now() + engine.config.request_deadline;
            read_header();
            return;
        }
        idle = true;
        lowest().expires_after(engine.config.idle_timeout);
        stream->async_read_some(buffer.prepare(1024),
                                [self = shared_from_this()](beast::error_code ec, std::size_t read) {
                                    self->idle = false;
                                    if (ec || self->engine.stopping) {
                                        return;
                                    }
                                    self->buffer.commit(read);
                                    self->deadline = Clock::now() + self->engine.config.request_deadline;
                                    self->read_header();
                                });
    }

    Engine& engine;
    const net::any_io_executor executor;
    // The connection until its first bytes show a TLS handshake; then `stream` takes it over.
    beast::tcp_stream plain;
    std::optional<beast::ssl_stream<beast::tcp_stream>> stream;
    const std::string address;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    http::response<http::string_body> response;
    Clock::time_point deadline;
    Clock::time_point headers_done;
    std::string path;
    int cmd = -1;
    int err = -1;
    bool idle = false;
    bool unread_request = false;
    beast::error_code ignored;
};

KeyServer::Engine::Engine(CatalogueStore& catalogue, KeyServerConfig server_config)
    : config(std::move(server_config))
    , handler(catalogue, config.empty_answers, config.promote_after)
    , limiter(config.rate_limit, config.rate_window)
    , log(config.log, config.log_queue)
    , proxies(config.trusted_proxies)
    , sessions(config.session_secret)
{
    if (!std::regex_match(config.base_path, base_path_form)) {
        throw std::runtime_error("the base path must look like /api, not " + config.base_path);
    }
    routes = {config.base_path.empty() ? "/" : config.base_path, config.base_path + "/v1/emusic",
              config.base_path + "/v1/user"};

    SSL_CTX* context = tls.native_handle();
    SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
    SSL_CTX_set_options(context,
                        SSL_OP_CIPHER_SERVER_PREFERENCE | SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_cipher_list(context, aead_suites);
    beast::error_code failed;
    tls.use_certificate_chain_file(config.certificate_path, failed);
    if (!failed) {
        tls.use_private_key_file(config.private_key_path, ssl::context::pem, failed);
    }
    if (failed || SSL_CTX_check_private_key(context) != 1) {
        throw std::runtime_error("cannot load the certificate " + config.certificate_path + " with the key " +
                                 config.private_key_path);
    }
}

int KeyServer::Engine::listen()
{
    beast::error_code failed;
    const net::ip::address address = net::ip::make_address(config.address, failed);
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(config.port));
    if (!failed) {
        acceptor.open(endpoint.protocol(), failed);
    }
    if (!failed) {
        acceptor.set_option(net::socket_base::reuse_address(true), failed);
    }
    if (!failed) {
        acceptor.bind(endpoint, failed);
    }
    if (!failed) {
        acceptor.listen(listen_backlog, failed);
    }
    if (!failed) {
        acceptor.non_blocking(true, failed);
    }
    if (failed) {
        throw std::runtime_error("cannot listen on " + config.address + " port " +
                                 std::to_string(config.port) + ": " + failed.message());
    }
    return acceptor.local_endpoint().port();
}

void KeyServer::Engine::serve()
{
    if (stop_requested) {
        return;
    }
    accept();
    const unsigned count =
        config.threads > 0 ? config.threads : std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < count; ++i) {
        helpers.emplace_back([this] { io.run(); });
    }
    io.run();
    for (std::thread& helper : helpers) {
        helper.join();
    }
}

void KeyServer::Engine::stop()
{
    stop_requested = true;
    net::post(accepting, [this] {
        if (stopping.exchange(true)) {
            return;
        }
        beast::error_code ignored;
        acceptor.close(ignored);
        accept_pause.cancel();
        // Collected first and closed outside the lock: dropping the last reference to a
        // connection destroys it, and its destructor takes the lock.
        std::vector<std::shared_ptr<Connection>> open;
        {
            std::lock_guard<std::mutex> lock(connections_mutex);
            for (const auto& [key, connection] : connections) {
                if (std::shared_ptr<Connection> alive = connection.lock()) {
                    open.push_back(std::move(alive));
                }
            }
        }
        // Every other wait of a connection is bounded by its deadlines, so serve() returns once
        // the requests in progress are answered.
        for (const std::shared_ptr<Connection>& connection : open) {
            connection->close_when_idle();
        }
    });
}

void KeyServer::Engine::accept()
{
    acceptor.async_accept(net::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || stopping) {
            return;
        }
        if (ec) {
            // Out of descriptors, most likely: try again shortly instead of spinning.
            accept_pause.expires_after(std::chrono::milliseconds(50));
            accept_pause.async_wait([this](beast::error_code ec) {
                if (!ec && !stopping) {
                    accept();
                }
            });
            return;
        }
        take(std::move(socket));
        // After a burst of connections the kernel holds many ready ones; taking them here, rather
        // than one per trip through the event loop, keeps a new client from waiting behind them
        // all. The batch is bounded so that the connections already open get their turns.
        for (int i = 0; i < accept_batch; ++i) {
            tcp::socket next = acceptor.accept(net::make_strand(io), ec);
            if (ec) {
                break;
            }
            take(std::move(next));
        }
        accept();
    });
}

void KeyServer::Engine::take(tcp::socket socket)
{
    beast::error_code failed;
    const std::string address = socket.remote_endpoint(failed).address().to_string();
    if (failed || !admit(address)) {
        return;
    }
    socket.set_option(tcp::no_delay(true), failed);
    auto connection = std::make_shared<Connection>(*this, std::move(socket), address);
    {
        std::lock_guard<std::mutex> lock(connections_mutex);
        connections.emplace(connection.get(), connection);
    }
    connection->start();
}

bool KeyServer::Engine::admit(const std::string& address)
{
    std::lock_guard<std::mutex> lock(connections_mutex);
    std::size_t& mine = per_address[address];
    if (open_connections >= config.max_connections || mine >= config.max_connections_per_address) {
        if (mine == 0) {
            per_address.erase(address);
        }
        return false;
    }
    ++mine;
    ++open_connections;
    return true;
}

void KeyServer::Engine::release(const std::string& address)
{
    std::lock_guard<std::mutex> lock(connections_mutex);
    --open_connections;
    if (--per_address[address] == 0) {
        per_address.erase(address);
    }
}

void KeyServer::Engine::forget(Connection* connection)
{
    std::lock_guard<std::mutex> lock(connections_mutex);
    connections.erase(connection);
}

KeyAnswer KeyServer::Engine::answer(const http::request<http::string_body>& request, const std::string& peer,
                                    std::string& set_cookie)
{
    const std::string client = proxies.client_address(peer, std::string(request["X-Forwarded-For"]));
    std::vector<std::string> cookies;
    for (auto [field, end] = request.equal_range(http::field::cookie); field != end; ++field) {
        cookies.emplace_back(field->value());
    }
    const Session session = sessions.of(cookies, std::string(request["Session-Id"]), client);
    if (!session.has_cookie) {
        set_cookie = sessions.new_cookie(config.base_path.empty() ? "/" : config.base_path);
    }
    if (!limiter.admit(client)) {
        return KeyCommandHandler::failure(429, zudata::CMD_UNKNOW, too_frequent_text);
    }
    try {
        return handler.handle(
            request.body(),
            {session.key, SessionIdentity::is_curator(std::string(request[http::field::authorization]),
                                                      config.curator_token)});
    } catch (const std::exception& e) {
        std::cerr << "error answering " << request.target() << ": " << e.what() << std::endl;
        return KeyCommandHandler::failure(500, zudata::CMD_UNKNOW, internal_error_text);
    }
}

KeyServer::KeyServer(CatalogueStore& catalogue, KeyServerConfig config)
    : engine(std::make_unique<Engine>(catalogue, std::move(config)))
{
}

KeyServer::~KeyServer() = default;

int KeyServer::listen()
{
    return engine->listen();
}

void KeyServer::serve()
{
    engine->serve();
}

void KeyServer::stop()
{
    engine->stop();
}
