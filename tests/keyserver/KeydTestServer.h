#pragma once

#include "Catalogue.h"
#include "KeyServer.h"

#include <QTemporaryDir>
#include <httplib.h>
#include <zudata.pb.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A key service on a free port of 127.0.0.1, with a fresh certificate and an empty catalogue in
// a temporary directory, and a client that trusts exactly that certificate.
class KeydTestServer
{
public:
    explicit KeydTestServer(KeyServerConfig config = {});
    ~KeydTestServer();

    Catalogue& catalogue() { return *songs; }
    int port() const { return bound_port; }
    std::string path(const std::string& file) const;
    std::vector<std::string> log_lines();

    // One connection per request, as the assistant makes them.
    httplib::Result post(const std::string& url_path, const std::string& body,
                         const httplib::Headers& headers = {}) const;

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
    std::vector<std::string> lines;
};
