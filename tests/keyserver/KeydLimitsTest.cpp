#include "KeydRawClient.h"
#include "KeydTestServer.h"
#include "SelfSignedCertificate.h"
#include "ServerCertificate.h"
#include "TrustedProxies.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <condition_variable>
#include <regex>

namespace {

using namespace std::chrono_literals;

KeyServerConfig quick_limits()
{
    KeyServerConfig config;
    config.request_deadline = 1500ms;
    config.idle_timeout = 1000ms;
    config.rate_window = 1ms;
    return config;
}

std::string post_header(const std::string& extra)
{
    return "POST /api/v1/emusic HTTP/1.1\r\nHost: localhost\r\n" + extra + "\r\n";
}

std::string lookup_request(const std::string& connection)
{
    const std::string body = KeydTestServer::request(zudata::CMD_EM_GET, "x");
    return post_header("Content-Type: application/protobuf\r\nConnection: " + connection +
                       "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n") +
           body;
}

std::string chunked(std::size_t chunks, std::size_t size)
{
    std::string text = post_header("Transfer-Encoding: chunked\r\n");
    char length[16];
    std::snprintf(length, sizeof length, "%zx", size);
    for (std::size_t i = 0; i < chunks; ++i) {
        text += length + std::string("\r\n") + std::string(size, 'x') + "\r\n";
    }
    return text + "0\r\n\r\n";
}

TEST(KeydLimitsTest, OversizeAndBrokenRequestsAreAnsweredAndClosed)
{
    KeydTestServer server(quick_limits());
    const struct
    {
        std::string name;
        std::string bytes;
        std::string status;
    } cases[] = {
        {"headers over 16 KiB", post_header("X-Big: " + std::string(KeyServer::largest_header, 'h') + "\r\n"),
         "HTTP/1.1 431"},
        {"Content-Length over 64 KiB",
         post_header("Content-Length: " + std::to_string(KeyServer::largest_request + 1) + "\r\n") + "abc",
         "HTTP/1.1 413"},
        {"chunks adding up to over 64 KiB", chunked(3, 30000), "HTTP/1.1 413"},
        {"a request line that is none", "NOT HTTP AT ALL\r\n\r\n", "HTTP/1.1 400"},
    };
    for (const auto& c : cases) {
        KeydRawClient client(server.port(), true, server.path("cert.pem"));
        ASSERT_TRUE(client.handshake_ok()) << c.name;
        client.send(c.bytes);
        const KeydRawClient::Received answer = client.receive(5s);
        EXPECT_EQ(0u, answer.bytes.rfind(c.status, 0)) << c.name << ": " << answer.bytes.substr(0, 40);
        EXPECT_TRUE(answer.closed) << c.name;
        if (c.status == "HTTP/1.1 413") {
            EXPECT_NE(std::string::npos, answer.bytes.find("请求过大")) << c.name;
        }
    }
}

TEST(KeydLimitsTest, PlainHttpOnTheTlsPortIsToldSo)
{
    KeydTestServer server(quick_limits());
    KeydRawClient client(server.port(), false);
    client.send(lookup_request("close"));
    const KeydRawClient::Received answer = client.receive(5s);
    EXPECT_EQ(0u, answer.bytes.rfind("HTTP/1.1 400 Bad Request\r\n", 0)) << answer.bytes;
    EXPECT_TRUE(answer.closed);
}

TEST(KeydLimitsTest, TricklingOrIdleClientsAreClosedAndStarveNobody)
{
    KeyServerConfig config = quick_limits();
    config.max_connections_per_address = 100;
    KeydTestServer server(config);

    // More silent connections than a pool of threads would have had.
    std::vector<std::unique_ptr<KeydRawClient>> silent;
    for (int i = 0; i < 40; ++i) {
        silent.push_back(std::make_unique<KeydRawClient>(server.port(), false));
    }
    const httplib::Result fresh = server.post("/api", KeydTestServer::request(zudata::CMD_EM_GET, "x"));
    ASSERT_TRUE(fresh);
    EXPECT_EQ(200, fresh->status);

    // One byte every 100 ms would take far longer than the deadline; every byte is progress, yet
    // the connection goes when the deadline does.
    KeydRawClient trickler(server.port(), true, server.path("cert.pem"));
    ASSERT_TRUE(trickler.handshake_ok());
    EXPECT_TRUE(trickler.trickle(lookup_request("keep-alive").substr(0, 60), 100ms, 10s).closed);

    KeydRawClient keeper(server.port(), true, server.path("cert.pem"));
    ASSERT_TRUE(keeper.handshake_ok());
    keeper.send(lookup_request("keep-alive"));
    const KeydRawClient::Received kept = keeper.receive(10s);
    EXPECT_EQ(0u, kept.bytes.rfind("HTTP/1.1 200", 0));
    EXPECT_TRUE(kept.closed) << "an idle keep-alive connection is closed";
    for (const auto& client : silent) {
        EXPECT_TRUE(client->receive(10s).closed);
    }
}

TEST(KeydLimitsTest, ConnectionsAreCappedPerAddress)
{
    KeyServerConfig config;
    config.max_connections_per_address = 2;
    KeydTestServer server(config);
    KeydRawClient first(server.port(), false);
    KeydRawClient second(server.port(), false);
    KeydRawClient third(server.port(), false);
    const KeydRawClient::Received refused = third.receive(5s);
    EXPECT_TRUE(refused.closed);
    EXPECT_TRUE(refused.bytes.empty());
    KeydRawClient elsewhere(server.port(), true, server.path("cert.pem"), "127.0.0.2");
    EXPECT_TRUE(elsewhere.handshake_ok());
}

TEST(KeydLimitsTest, OnlyModernAeadTlsIsSpoken)
{
    KeydTestServer server;
    const struct
    {
        std::string name;
        int max_version;
        const char* suites;
        bool accepted;
    } cases[] = {
        {"TLS 1.3", TLS1_3_VERSION, nullptr, true},
        {"TLS 1.2 with GCM", TLS1_2_VERSION, "ECDHE-ECDSA-AES128-GCM-SHA256", true},
        {"TLS 1.2 with CBC", TLS1_2_VERSION, "ECDHE-ECDSA-AES128-SHA256:ECDHE-ECDSA-AES256-SHA", false},
        {"TLS 1.1", TLS1_1_VERSION, "ALL:@SECLEVEL=0", false},
    };
    for (const auto& c : cases) {
        KeydRawClient client(server.port(), true, server.path("cert.pem"), "127.0.0.1",
                             [&](SSL_CTX* context) {
                                 SSL_CTX_set_min_proto_version(context, 0);
                                 SSL_CTX_set_max_proto_version(context, c.max_version);
                                 if (c.suites) {
                                     SSL_CTX_set_cipher_list(context, c.suites);
                                 }
                             });
        EXPECT_EQ(c.accepted, client.handshake_ok()) << c.name;
    }
}

TEST(KeydLimitsTest, SelfSignedCertificateLastsUnder397DaysAndSignsNothing)
{
    QTemporaryDir dir;
    const std::string data = dir.path().toStdString();
    const auto load = [&] {
        std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file((data + "/keyd-cert.pem").c_str(), "r"),
                                                       &BIO_free);
        return std::unique_ptr<X509, decltype(&X509_free)>(
            PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr), &X509_free);
    };
    // A certificate from an earlier version: may sign others, lives 825 days.
    ASSERT_TRUE(SelfSignedCertificate::make({"localhost"}, {"127.0.0.1"})
                    .write(data + "/keyd-cert.pem", data + "/keyd-key.pem"));
    EXPECT_TRUE(ServerCertificate::locate(data, "", "").made);
    const auto cert = load();
    ASSERT_TRUE(cert);
    int days = 0;
    int seconds = 0;
    ASSERT_EQ(
        1, ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(cert.get()), X509_get0_notAfter(cert.get())));
    EXPECT_LT(days * 86400 + seconds, 397 * 86400);
    EXPECT_EQ(0u, X509_get_key_usage(cert.get()) & KU_KEY_CERT_SIGN);
    EXPECT_FALSE(ServerCertificate::locate(data, "", "").made);
}

TEST(KeydLimitsTest, StalledLogNeverHoldsUpRequestsAndCountsWhatItDrops)
{
    std::mutex mutex;
    std::condition_variable released;
    bool stalled = true;
    std::vector<std::string> written;
    KeyServerConfig config = quick_limits();
    config.log_queue = 2;
    config.log = [&](const std::string& line) {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&] { return !stalled; });
        written.push_back(line);
    };
    {
        KeydTestServer server(config);
        for (int i = 0; i < 6; ++i) {
            const httplib::Result result =
                server.post("/api", KeydTestServer::request(zudata::CMD_EM_GET, "x"));
            ASSERT_TRUE(result);
            EXPECT_EQ(200, result->status);
        }
        {
            std::lock_guard<std::mutex> lock(mutex);
            stalled = false;
        }
        released.notify_all();
    }
    std::size_t requests = 0;
    std::size_t dropped = 0;
    const std::regex drop_line(R"(\S+ request log dropped (\d+) lines)");
    for (const std::string& line : written) {
        std::smatch count;
        if (std::regex_match(line, count, drop_line)) {
            dropped += std::stoul(count[1]);
        } else {
            ++requests;
        }
    }
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(6u, requests + dropped);
}

TEST(TrustedProxiesTest, OnlyATrustedPeerNamesTheClient)
{
    const TrustedProxies proxies({"10.0.0.0/8", "::1", "192.168.1.7/32"});
    const struct
    {
        std::string peer;
        std::string forwarded_for;
        std::string client;
    } cases[] = {
        {"10.1.2.3", "203.0.113.9", "203.0.113.9"},
        {"10.1.2.3", "198.51.100.1, 203.0.113.9", "203.0.113.9"},
        {"::1", "2001:db8::1", "2001:db8::1"},
        {"192.168.1.7", "not an address", "192.168.1.7"},
        {"192.168.1.8", "203.0.113.9", "192.168.1.8"},
        {"11.0.0.1", "203.0.113.9", "11.0.0.1"},
        {"10.1.2.3", "", "10.1.2.3"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.client, proxies.client_address(c.peer, c.forwarded_for))
            << c.peer << " " << c.forwarded_for;
    }
    for (const char* bad : {"10.0.0.0/33", "10.0.0.0/", "nonsense", "::1/129"}) {
        EXPECT_THROW(TrustedProxies({bad}), std::invalid_argument) << bad;
    }
}

} // namespace
