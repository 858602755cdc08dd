#pragma once

#include "Catalogue.h"
#include "KeyCommandHandler.h"
#include "KeyServer.h"

#include <QTemporaryDir>
#include <httplib.h>
#include <zudata.pb.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A key service on a free port of 127.0.0.1, with a fresh certificate and an empty catalogue in
// a temporary directory, and a client that trusts exactly that certificate. Its request log is
// kept for log_lines() unless the config brings a log of its own.
class KeydTestServer
{
public:
    explicit KeydTestServer(KeyServerConfig config = {});
    ~KeydTestServer();

    Catalogue& catalogue() { return *songs; }
    int port() const { return bound_port; }
    std::string path(const std::string& file) const;
    // Waits up to five seconds for at least `count` lines, since the log is written on a thread
    // of its own after the answer has gone out.
    std::vector<std::string> log_lines(std::size_t count);

    // One connection per request, as the assistant makes them.
    httplib::Result post(const std::string& url_path, const std::string& body,
                         const httplib::Headers& headers = {}) const;

    // The same to any service on 127.0.0.1 whose certificate is in ca_file.
    static httplib::Result post_to(int port, const std::string& ca_file, const std::string& url_path,
                                   const std::string& body, const httplib::Headers& headers = {});

    static std::string request(int cmd, const std::string& name, const std::string& singer = "",
                               const std::string& keynote = "");
    // Inflates a zlib body first; fails the test when the body is not a ZuRespond.
    static zudata::ZuRespond decode(const httplib::Response& response);

private:
    QTemporaryDir dir;
    std::unique_ptr<Catalogue> songs;
    std::unique_ptr<KeyServer> server;
    std::thread serving;
    int bound_port = 0;
    std::mutex log_mutex;
    std::condition_variable logged;
    std::vector<std::string> lines;
};
