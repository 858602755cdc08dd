#pragma once

#include <httplib.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A real HTTPS server on 127.0.0.1 and a free port, scripted per test. Its certificate is made
// at test time; ca_file() names a PEM file that trusts it. An untrusted peer presents a
// different certificate, which no CA file of the suite trusts. A system-store peer presents a
// third one, which system_store_file() and system_store_dir() hold for a test to install as a
// system authority: a bundle, and a directory with the certificate under its hashed name.
// The server gzips "application/protobuf" bodies for clients that accept gzip, on top of any
// encoding the handler chose; handlers that script exact bodies use "application/x-protobuf".
class HttpsPeer
{
public:
    struct Request
    {
        std::string method;
        std::string path;
        std::string body;
        std::multimap<std::string, std::string, httplib::detail::ci> headers;

        std::string header(const std::string& name) const;
        bool has_header(const std::string& name) const { return headers.count(name) > 0; }
    };
    using Handler = std::function<void(const Request&, httplib::Response&)>;

    enum class Trust
    {
        Trusted,
        Untrusted,
        SystemStore
    };

    explicit HttpsPeer(Handler handler, Trust trust = Trust::Trusted);
    ~HttpsPeer();
    HttpsPeer(const HttpsPeer&) = delete;
    HttpsPeer& operator=(const HttpsPeer&) = delete;

    int port() const { return bound_port; }
    // The service root the client is configured with: "https://127.0.0.1:PORT/api".
    std::string base_url() const;
    static std::string ca_file();
    static std::string system_store_file();
    static std::string system_store_dir();
    // A body compressed as the service compresses its larger answers (a zlib stream).
    static std::string zlib_compress(const std::string& data);

    std::vector<Request> requests() const;
    void set_handler(Handler handler);

private:
    std::unique_ptr<httplib::SSLServer> server;
    std::thread worker;
    int bound_port = -1;
    mutable std::mutex mutex;
    Handler handler;
    std::vector<Request> received;
};
