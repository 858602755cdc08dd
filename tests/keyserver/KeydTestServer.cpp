#include "KeydTestServer.h"

#include "SelfSignedCertificate.h"
#include "ServerCertificate.h"

#include <csignal>
#include <gtest/gtest.h>
#include <zlib.h>

KeydTestServer::KeydTestServer(KeyServerConfig config)
{
    // The service closes a connection after refusing a request the client may still be sending;
    // the client's write must then fail, not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    EXPECT_TRUE(SelfSignedCertificate::make({"localhost"}, {"127.0.0.1"},
                                            ServerCertificate::longest_validity_days, false)
                    .write(path("cert.pem"), path("key.pem")));
    songs = std::make_unique<Catalogue>(path("catalogue.db"));
    config.address = "127.0.0.1";
    config.port = 0;
    config.certificate_path = path("cert.pem");
    config.private_key_path = path("key.pem");
    if (!config.log) {
        config.log = [this](const std::string& line) {
            {
                std::lock_guard<std::mutex> lock(log_mutex);
                lines.push_back(line);
            }
            logged.notify_all();
        };
    }
    server = std::make_unique<KeyServer>(*songs, config);
    bound_port = server->listen();
    serving = std::thread([this] { server->serve(); });
}

KeydTestServer::~KeydTestServer()
{
    server->stop();
    serving.join();
    // Its log writer still hands over lines to the members below, so it goes before them.
    server.reset();
}

std::string KeydTestServer::path(const std::string& file) const
{
    return dir.filePath(QString::fromStdString(file)).toStdString();
}

std::vector<std::string> KeydTestServer::log_lines(std::size_t count)
{
    std::unique_lock<std::mutex> lock(log_mutex);
    logged.wait_for(lock, std::chrono::seconds(5), [&] { return lines.size() >= count; });
    return lines;
}

httplib::Result KeydTestServer::post(const std::string& url_path, const std::string& body,
                                     const httplib::Headers& headers) const
{
    return post_to(bound_port, path("cert.pem"), url_path, body, headers);
}

httplib::Result KeydTestServer::post_to(int port, const std::string& ca_file, const std::string& url_path,
                                        const std::string& body, const httplib::Headers& headers)
{
    httplib::SSLClient client("127.0.0.1", port);
    client.set_ca_cert_path(ca_file.c_str());
    client.enable_server_certificate_verification(true);
    client.set_connection_timeout(5);
    client.set_read_timeout(10);
    return client.Post(url_path.c_str(), headers, body, "application/protobuf");
}

std::string KeydTestServer::request(int cmd, const std::string& name, const std::string& singer,
                                    const std::string& keynote)
{
    zudata::ZuRequest request;
    request.set_cmd(static_cast<zudata::MessageType>(cmd));
    request.mutable_emusic()->set_music_name(name);
    request.mutable_emusic()->set_music_author(singer);
    request.mutable_emusic()->set_music_keynote(keynote);
    request.mutable_emusic()->set_music_process("KuGou.exe");
    return request.SerializeAsString();
}

zudata::ZuRespond KeydTestServer::decode(const httplib::Response& response)
{
    std::string body = response.body;
    if (response.get_header_value("Content-Encoding") == "zlib") {
        uLongf size = std::stoul(response.get_header_value("Content-unzipLength"));
        std::string inflated(size, '\0');
        EXPECT_EQ(Z_OK,
                  uncompress(reinterpret_cast<Bytef*>(inflated.data()), &size,
                             reinterpret_cast<const Bytef*>(body.data()), static_cast<uLong>(body.size())));
        EXPECT_EQ(inflated.size(), size);
        body = inflated;
    }
    zudata::ZuRespond respond;
    EXPECT_TRUE(respond.ParseFromString(body));
    return respond;
}
