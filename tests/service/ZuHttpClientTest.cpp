#include "ZuHttpClient.h"
#include "HttpsPeer.h"
#include "KestruneConfig.h"
#include "QZuHttpCookie.h"
#include "TestEventLoop.h"
#include "ZuCommandReceiver.h"
#include "ZuDataBus.h"
#include "ZuDeviceSerial.h"
#include "ZuLocalDb.h"
#include "ZuLocalTables.h"
#include "zudata.pb.h"

#include <QDateTime>
#include <QFile>
#include <QNetworkCookie>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtEndian>
#include <SQLiteCpp/SQLiteCpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <set>
#include <thread>

namespace {

const std::string network_failure_text = "网络请求失败";

// A receiver that keeps a copy of every answer and leaves the client's books when destroyed.
class RecordingReceiver : public ZuCommandReceiver
{
public:
    ~RecordingReceiver() override { emit ZuDataBus::instance()->remove_http_receiver(this); }
    void on_respond(zudata::ZuRespond* respond) override { answers.push_back(*respond); }
    std::vector<zudata::ZuRespond> answers;
};

zudata::ZuMusicKeynote lookup_record(const std::string& name, const std::string& singer)
{
    zudata::ZuMusicKeynote record;
    record.set_music_name(name);
    record.set_music_author(singer);
    record.set_music_process("KuGou.exe");
    return record;
}

std::string answer_with_keys(const std::vector<std::string>& keys)
{
    zudata::ZuRespond respond;
    respond.set_cmd(zudata::CMD_EM_GET);
    respond.set_err(zudata::ERROR_OK);
    respond.mutable_emusic_resp()->set_music_name("晴天");
    for (const auto& key : keys) {
        auto* entry = respond.mutable_emusic_resp()->add_emusics();
        entry->set_music_name("晴天");
        entry->set_music_keynote(key);
    }
    return respond.SerializeAsString();
}

class ZuHttpClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("KESTRUNE_CA_FILE", QByteArray::fromStdString(HttpsPeer::ca_file()));
        db_path = dir.filePath("em.db").toStdString();
        restart();
    }

    // A new store and client on the same database file, as after a restart of the program.
    void restart()
    {
        client.reset();
        store = std::make_unique<ZuLocalDb>();
        store->set_path(db_path);
        ASSERT_TRUE(store->open());
        client = std::make_unique<ZuHttpClient>(base_url, store.get());
    }

    void use_peer(const HttpsPeer& peer)
    {
        base_url = QString::fromStdString(peer.base_url());
        restart();
    }

    bool lookup(RecordingReceiver& receiver, const std::string& name = "晴天")
    {
        const auto record = lookup_record(name, "周杰伦");
        return client->send(zudata::CMD_EM_GET, &record, &receiver);
    }

    // Waits for the answers, then a little longer to catch a second delivery.
    void await_answers(RecordingReceiver& receiver, size_t count = 1)
    {
        ASSERT_TRUE(spin_until([&] { return receiver.answers.size() >= count; }));
        spin_for(100);
        ASSERT_EQ(receiver.answers.size(), count);
    }

    static void expect_network_failure(const zudata::ZuRespond& answer)
    {
        EXPECT_EQ(answer.err(), zudata::EFFECT_ERR_CLIENT_CONNECT_ERROR);
        EXPECT_EQ(answer.errmsg(), network_failure_text);
        EXPECT_EQ(answer.cmd(), zudata::CMD_UNKNOW);
    }

    QTemporaryDir dir;
    std::string db_path;
    QString base_url = QStringLiteral("https://127.0.0.1:1/api");
    std::unique_ptr<ZuLocalDb> store;
    std::unique_ptr<ZuHttpClient> client;
};

TEST_F(ZuHttpClientTest, LookupPostsRecordWithFixedHeadersAndDeliversAnswer)
{
    HttpsPeer peer([](const HttpsPeer::Request&, httplib::Response& res) {
        res.set_content(answer_with_keys({"Gb Major", "A Minor"}), "application/x-protobuf");
    });
    use_peer(peer);
    RecordingReceiver receiver;
    ASSERT_TRUE(lookup(receiver));
    await_answers(receiver);

    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& sent = requests[0];
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.path, "/api/v1/emusic");
    EXPECT_EQ(sent.header("User-Agent"), "ZuKestrune/emusic/" KESTRUNE_VERSION);
    EXPECT_EQ(sent.header("Accept"), "application/protobuf");
    EXPECT_EQ(sent.header("Content-Type"), "application/protobuf");
    EXPECT_EQ(sent.header("Connection"), "close");
    EXPECT_EQ(sent.header("Session-Id"), device_serial().toStdString());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$"))
                    .match(QString::fromStdString(sent.header("Serial-Num")))
                    .hasMatch())
        << sent.header("Serial-Num");

    zudata::ZuRequest request;
    ASSERT_TRUE(request.ParseFromString(sent.body));
    EXPECT_EQ(request.cmd(), zudata::CMD_EM_GET);
    EXPECT_EQ(request.emusic().music_name(), "晴天");
    EXPECT_EQ(request.emusic().music_author(), "周杰伦");
    EXPECT_EQ(request.emusic().music_process(), "KuGou.exe");

    const auto& answer = receiver.answers[0];
    EXPECT_EQ(answer.err(), zudata::ERROR_OK);
    ASSERT_EQ(answer.emusic_resp().emusics_size(), 2);
    EXPECT_EQ(answer.emusic_resp().emusics(0).music_keynote(), "Gb Major");
}

TEST_F(ZuHttpClientTest, CommandRangesChooseThePath)
{
    const std::vector<std::pair<int, QString>> table = {{0, ""},
                                                        {1, ""},
                                                        {2, "/v1/user"},
                                                        {199, "/v1/user"},
                                                        {200, "/v1/user"},
                                                        {204, "/v1/user"},
                                                        {205, "/v1/user"},
                                                        {498, "/v1/user"},
                                                        {499, ""},
                                                        {4998, ""},
                                                        {4999, "/v1/user"},
                                                        {5998, "/v1/user"},
                                                        {5999, ""},
                                                        {6000, "/v1/emusic"},
                                                        {6999, "/v1/emusic"},
                                                        {7000, ""},
                                                        {-1, ""}};
    for (const auto& [cmd, path] : table) {
        EXPECT_EQ(ZuHttpClient::path_for_command(cmd), path) << cmd;
    }

    HttpsPeer peer([](const HttpsPeer::Request&, httplib::Response& res) {
        res.set_content("", "application/x-protobuf");
    });
    use_peer(peer);
    RecordingReceiver receiver;
    const auto record = lookup_record("a", "b");
    ASSERT_TRUE(client->send(7000, &record, &receiver));
    ASSERT_TRUE(client->send(zudata::CMD_USER_GETINFO, nullptr, &receiver));
    await_answers(receiver, 2);
    std::set<std::string> paths;
    for (const auto& request : peer.requests()) {
        paths.insert(request.path);
    }
    EXPECT_EQ(paths, (std::set<std::string>{"/api", "/api/v1/user"}));
}

TEST_F(ZuHttpClientTest, EnvironmentOverridesConfiguredBaseUrl)
{
    qunsetenv("KESTRUNE_API_URL");
    EXPECT_EQ(ZuHttpClient::base_url_from_environment(), QStringLiteral(KESTRUNE_API_URL));
    qputenv("KESTRUNE_API_URL", "https://keys.example:9443/api");
    EXPECT_EQ(ZuHttpClient::base_url_from_environment(), QStringLiteral("https://keys.example:9443/api"));
    qunsetenv("KESTRUNE_API_URL");
}

TEST_F(ZuHttpClientTest, PayloadWithoutMatchingFieldIsNotSent)
{
    HttpsPeer peer([](const HttpsPeer::Request&, httplib::Response&) {});
    use_peer(peer);
    RecordingReceiver receiver;
    zudata::ZuRespond not_a_request_field;
    EXPECT_FALSE(client->send(zudata::CMD_EM_GET, &not_a_request_field, &receiver));
    spin_for(200);
    EXPECT_TRUE(peer.requests().empty());
    EXPECT_TRUE(receiver.answers.empty());
}

struct ZlibCase
{
    const char* name;
    // The "Content-unzipLength" announced for a body whose real inflated size is given.
    std::function<std::string(size_t real)> announced;
    bool inflated;
};

TEST_F(ZuHttpClientTest, ZlibRepliesInflateOnlyWithATrustworthyLength)
{
    const std::string plain = answer_with_keys({"C Major", "D Minor", "E Major"});
    const std::string packed = HttpsPeer::zlib_compress(plain);
    const std::vector<ZlibCase> cases = {
        {"exact", [](size_t real) { return std::to_string(real); }, true},
        {"larger", [](size_t real) { return std::to_string(real + 4096); }, true},
        {"smaller", [](size_t real) { return std::to_string(real / 2); }, false},
        {"not a number", [](size_t) { return std::string("many"); }, false},
        {"over the cap", [](size_t) { return std::to_string(16ul * 1024 * 1024 + 1); }, false},
    };
    for (const auto& c : cases) {
        HttpsPeer peer([&](const HttpsPeer::Request&, httplib::Response& res) {
            res.set_header("Content-Encoding", "zlib");
            res.set_header("Content-unzipLength", c.announced(plain.size()));
            res.set_content(packed, "application/x-protobuf");
        });
        use_peer(peer);
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver);
        const auto& answer = receiver.answers[0];
        if (c.inflated) {
            EXPECT_EQ(answer.err(), zudata::ERROR_OK) << c.name;
            EXPECT_EQ(answer.emusic_resp().emusics_size(), 3) << c.name;
        } else {
            EXPECT_NE(answer.err(), zudata::ERROR_OK) << c.name;
            EXPECT_EQ(answer.emusic_resp().emusics_size(), 0) << c.name;
        }
    }
}

TEST_F(ZuHttpClientTest, PlainAndHttpCompressedRepliesDecode)
{
    const std::string plain = answer_with_keys({"F# Minor"});
    // The peer gzips "application/protobuf" for a client that accepts gzip; the length header
    // without "Content-Encoding: zlib" must not make a plain body inflate.
    const std::vector<std::pair<const char*, std::string>> cases = {{"plain", "application/x-protobuf"},
                                                                    {"gzip", "application/protobuf"}};
    for (const auto& [name, content_type] : cases) {
        SCOPED_TRACE(name);
        HttpsPeer peer([&](const HttpsPeer::Request&, httplib::Response& res) {
            res.set_header("Content-unzipLength", std::to_string(plain.size() * 4));
            res.set_content(plain, content_type);
        });
        use_peer(peer);
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver);
        ASSERT_EQ(receiver.answers[0].emusic_resp().emusics_size(), 1);
        EXPECT_EQ(receiver.answers[0].emusic_resp().emusics(0).music_keynote(), "F# Minor");
        EXPECT_EQ(peer.requests().at(0).header("Accept-Encoding"), "gzip, deflate");
    }
}

TEST_F(ZuHttpClientTest, UndecodableRepliesGetExactlyOneFailureAnswer)
{
    struct Case
    {
        const char* name;
        int status;
        std::string body;
        std::string content_encoding;
    };
    // Redirects lead back to the same peer, which would see a second request if one were followed.
    const std::vector<Case> cases = {
        {"html error page", 500, "<html><body>Internal Server Error</body></html>", ""},
        {"empty server error", 500, "", ""},
        {"empty not found", 404, "", ""},
        {"empty redirect", 302, "", ""},
        {"redirect carrying an answer", 301, answer_with_keys({"C Major"}), ""},
        {"corrupt gzip", 200, std::string(40, '\xff'), "gzip"},
        {"corrupt zlib", 200, std::string(40, '\xff'), "zlib"},
        {"truncated answer", 200, answer_with_keys({"C Major"}).substr(0, 9), ""},
    };
    for (const auto& c : cases) {
        HttpsPeer peer([&](const HttpsPeer::Request&, httplib::Response& res) {
            res.status = c.status;
            res.set_header("Location", "/api/v1/emusic");
            if (!c.content_encoding.empty()) {
                res.set_header("Content-Encoding", c.content_encoding);
                res.set_header("Content-unzipLength", "1000");
            }
            res.set_content(c.body, "text/html");
        });
        use_peer(peer);
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver);
        SCOPED_TRACE(c.name);
        expect_network_failure(receiver.answers[0]);
        EXPECT_EQ(peer.requests().size(), 1u);
    }
}

TEST_F(ZuHttpClientTest, ServiceErrorWithAnAnswerIsDeliveredAsSent)
{
    zudata::ZuRespond refusal;
    refusal.set_cmd(zudata::CMD_EM_GET);
    refusal.set_err(zudata::ERROR_FAILED);
    refusal.set_errmsg("请求过于频繁");
    HttpsPeer peer([&](const HttpsPeer::Request&, httplib::Response& res) {
        res.status = 400;
        res.set_content(refusal.SerializeAsString(), "application/x-protobuf");
    });
    use_peer(peer);
    RecordingReceiver receiver;
    ASSERT_TRUE(lookup(receiver));
    await_answers(receiver);
    EXPECT_EQ(receiver.answers[0].err(), zudata::ERROR_FAILED);
    EXPECT_EQ(receiver.answers[0].errmsg(), "请求过于频繁");
}

TEST_F(ZuHttpClientTest, RefusedConnectionIsANetworkFailureAndTouchesNoCookies)
{
    // A port that was free a moment ago and has nobody listening now.
    quint16 closed_port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        closed_port = probe.serverPort();
    }
    store->get()->save_cookie(QNetworkCookie("before", "1"));
    base_url = QStringLiteral("https://127.0.0.1:%1/api").arg(closed_port);
    restart();
    client->set_request_deadline(5000);
    RecordingReceiver receiver;
    ASSERT_TRUE(lookup(receiver));
    await_answers(receiver);
    expect_network_failure(receiver.answers[0]);
    EXPECT_EQ(store->get()->load_cookies().size(), 1);
}

TEST_F(ZuHttpClientTest, DeadlineEndsSilentAndTricklingRepliesAsNetworkFailures)
{
    // Each peer would take far longer than the deadline and then send an answer and a cookie.
    const std::vector<std::pair<const char*, HttpsPeer::Handler>> cases = {
        {"silent",
         [](const HttpsPeer::Request&, httplib::Response& res) {
             res.set_header("Set-Cookie", "late=1; Path=/");
             std::this_thread::sleep_for(std::chrono::milliseconds(1500));
             res.set_content(answer_with_keys({"C Major"}), "application/x-protobuf");
         }},
        {"trickling",
         [](const HttpsPeer::Request&, httplib::Response& res) {
             res.set_header("Set-Cookie", "late=1; Path=/");
             // One byte of a valid answer far more often than the deadline, for much longer.
             const std::string answer = answer_with_keys(std::vector<std::string>(60, "C Major"));
             res.set_content_provider(answer.size(), "application/x-protobuf",
                                      [answer](size_t offset, size_t, httplib::DataSink& sink) {
                                          std::this_thread::sleep_for(std::chrono::milliseconds(50));
                                          return sink.write(answer.data() + offset, 1);
                                      });
         }},
    };
    for (const auto& [name, handler] : cases) {
        SCOPED_TRACE(name);
        HttpsPeer peer(handler);
        use_peer(peer);
        client->set_request_deadline(400);
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        ASSERT_TRUE(spin_until([&] { return !receiver.answers.empty(); }, 5000));
        expect_network_failure(receiver.answers[0]);
        spin_for(1500);
        EXPECT_EQ(receiver.answers.size(), 1u);
        EXPECT_TRUE(store->get()->load_cookies().isEmpty());
    }
}

TEST_F(ZuHttpClientTest, RepliesAreTakenUpToTheSizeCapAndRefusedEarlyPastIt)
{
    constexpr size_t cap = ZuHttpClient::max_reply_size;
    // A refusal whose error text makes it exactly `size` bytes long.
    const auto refusal_of_size = [](size_t size) {
        zudata::ZuRespond refusal;
        refusal.set_cmd(zudata::CMD_EM_GET);
        refusal.set_err(zudata::ERROR_FAILED);
        refusal.set_errmsg(std::string(size - 64, 'x'));
        const size_t framing = refusal.ByteSizeLong() - refusal.errmsg().size();
        refusal.set_errmsg(std::string(size - framing, 'x'));
        return refusal.SerializeAsString();
    };
    const std::string largest_answer = refusal_of_size(cap);
    ASSERT_EQ(largest_answer.size(), cap);
    // Would all be delivered as an answer without the cap.
    const std::string huge_answer = refusal_of_size(cap + 1);
    struct Case
    {
        const char* name;
        const std::string* answer; // Followed by filler up to the length.
        std::string content_type;  // The peer gzips "application/protobuf" on its own.
        bool announce_length;
        size_t length;
        bool delivered;
        // The GUI thread, which takes the reply in, is held up this long once the body flows.
        int gui_stall_ms = 0;
    };
    const std::vector<Case> cases = {
        {"answer of the cap's size", &largest_answer, "application/x-protobuf", false, cap, true},
        {"huge error text, announced", &huge_answer, "application/x-protobuf", true, cap + 1, false},
        {"huge error text, unannounced", &huge_answer, "application/x-protobuf", false, cap + 1, false},
        {"gzip bomb", &huge_answer, "application/protobuf", false, cap + 1, false},
        {"endless stream", &huge_answer, "application/octet-stream", false, 64 * cap, false},
        {"endless stream to a busy client", &huge_answer, "application/octet-stream", false, 64 * cap, false,
         1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<size_t> sent{0};
        QObject gui_thread;
        HttpsPeer peer([&](const HttpsPeer::Request&, httplib::Response& res) {
            if (c.content_type == "application/protobuf") {
                res.set_content(*c.answer, c.content_type);
                return;
            }
            auto provide = [&](size_t offset, size_t, httplib::DataSink& sink) {
                const size_t piece = std::min<size_t>(64 * 1024, c.length - offset);
                std::string data =
                    offset < c.answer->size() ? c.answer->substr(offset, piece) : std::string();
                data.resize(piece, 'x');
                if (offset == 0 && c.gui_stall_ms > 0) {
                    QMetaObject::invokeMethod(
                        &gui_thread,
                        [&] { std::this_thread::sleep_for(std::chrono::milliseconds(c.gui_stall_ms)); },
                        Qt::QueuedConnection);
                }
                if (!sink.write(data.data(), data.size())) {
                    return false;
                }
                sent += piece;
                if (sent >= c.length) {
                    sink.done();
                }
                return true;
            };
            if (c.announce_length) {
                res.set_content_provider(c.length, c.content_type, provide);
            } else {
                res.set_chunked_content_provider(
                    c.content_type,
                    [provide](size_t offset, httplib::DataSink& sink) { return provide(offset, 0, sink); });
            }
        });
        use_peer(peer);
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver);
        const auto& answer = receiver.answers[0];
        if (c.delivered) {
            ASSERT_EQ(answer.err(), zudata::ERROR_FAILED);
            // Not EXPECT_EQ, which would print 16 MiB.
            EXPECT_TRUE(answer.SerializeAsString() == *c.answer);
            continue;
        }
        // Checked first, so that a delivered error text is not printed.
        ASSERT_EQ(answer.err(), zudata::EFFECT_ERR_CLIENT_CONNECT_ERROR);
        expect_network_failure(answer);
        if (c.length > 2 * cap) {
            // Refused for its size, not its deadline, busy or not. The peer gets ahead of the
            // client by the client's read buffer and the two sockets' kernel buffers only (3 to
            // 9 MiB measured on loopback, which Linux sizes on its own), not by what Qt's network
            // thread could read while the client was held up.
            EXPECT_GT(sent.load(), cap);
            EXPECT_LT(sent.load(), cap + 12 * 1024 * 1024) << sent.load();
        }
    }
}

TEST_F(ZuHttpClientTest, CertificatesTheClientCannotVerifyAreRefusedBeforeAnythingIsSent)
{
    struct Case
    {
        const char* name;
        HttpsPeer::Trust trust;
        bool ca_file_set;
    };
    const Case cases[] = {{"unknown authority", HttpsPeer::Trust::Untrusted, true},
                          {"self-signed without its CA file", HttpsPeer::Trust::Trusted, false}};
    for (const Case& c : cases) {
        if (!c.ca_file_set) {
            qunsetenv("KESTRUNE_CA_FILE");
        }
        HttpsPeer peer(
            [](const HttpsPeer::Request&, httplib::Response& res) {
                res.set_content(answer_with_keys({"C Major"}), "application/x-protobuf");
            },
            c.trust);
        use_peer(peer);
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver);
        SCOPED_TRACE(c.name);
        expect_network_failure(receiver.answers[0]);
        EXPECT_TRUE(peer.requests().empty());
    }
}

// Sets (or, given nothing, removes) an environment variable for the lifetime of the guard.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const std::string& value)
        : name(name)
        , had_value(qEnvironmentVariableIsSet(name))
        , old_value(qgetenv(name))
    {
        if (value.empty()) {
            qunsetenv(name);
        } else {
            qputenv(name, QByteArray::fromStdString(value));
        }
    }
    ~ScopedEnvironment()
    {
        if (had_value) {
            qputenv(name, old_value);
        } else {
            qunsetenv(name);
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name;
    bool had_value;
    QByteArray old_value;
};

TEST_F(ZuHttpClientTest, SystemAuthoritiesAndTheCaFileAreTrustedTogether)
{
    // A system store moved where OpenSSL programs look for it, as a bundle or as a directory.
    struct Case
    {
        const char* name;
        std::string cert_file;
        std::string cert_dir;
        bool system_peer_trusted;
    };
    const std::vector<Case> cases = {
        {"store file", HttpsPeer::system_store_file(), "", true},
        {"store directory", "", "/nonexistent:" + HttpsPeer::system_store_dir(), true},
        {"not in the store", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedEnvironment cert_file("SSL_CERT_FILE", c.cert_file);
        const ScopedEnvironment cert_dir("SSL_CERT_DIR", c.cert_dir);
        HttpsPeer file_peer([](const HttpsPeer::Request&, httplib::Response& res) {
            res.set_content(answer_with_keys({"C Major"}), "application/x-protobuf");
        });
        HttpsPeer system_peer(
            [](const HttpsPeer::Request&, httplib::Response& res) {
                res.set_content(answer_with_keys({"D Minor"}), "application/x-protobuf");
            },
            HttpsPeer::Trust::SystemStore);
        for (const HttpsPeer* peer : {&file_peer, &system_peer}) {
            SCOPED_TRACE(peer == &file_peer ? "peer trusted by the CA file" : "peer trusted by the store");
            ZuHttpClient asking(QString::fromStdString(peer->base_url()), store.get());
            RecordingReceiver receiver;
            const auto record = lookup_record("晴天", "周杰伦");
            ASSERT_TRUE(asking.send(zudata::CMD_EM_GET, &record, &receiver));
            await_answers(receiver);
            const auto& answer = receiver.answers[0];
            if (peer == &system_peer && !c.system_peer_trusted) {
                expect_network_failure(answer);
                continue;
            }
            ASSERT_EQ(answer.emusic_resp().emusics_size(), 1) << answer.errmsg();
            EXPECT_EQ(answer.emusic_resp().emusics(0).music_keynote(),
                      peer == &file_peer ? "C Major" : "D Minor");
        }
    }
}

TEST_F(ZuHttpClientTest, CookiesAreSentBackAndSurviveARestart)
{
    HttpsPeer peer([](const HttpsPeer::Request& req, httplib::Response& res) {
        if (!req.has_header("Cookie")) {
            res.set_header("Set-Cookie", "sid=0123; Path=/api; HttpOnly; Secure");
            res.headers.emplace("Set-Cookie",
                                "big=9007199254740993; Path=/; Expires=Wed, 01 Jan 2099 00:00:00 GMT");
        }
        res.set_content(answer_with_keys({"C Major"}), "application/x-protobuf");
    });
    use_peer(peer);
    {
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver);
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver, 2);
    }
    restart();
    {
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver));
        await_answers(receiver);
    }
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_FALSE(requests[0].has_header("Cookie"));
    for (size_t i = 1; i < requests.size(); ++i) {
        const std::string cookie = requests[i].header("Cookie");
        EXPECT_NE(cookie.find("sid=0123"), std::string::npos) << i << ": " << cookie;
        EXPECT_NE(cookie.find("big=9007199254740993"), std::string::npos) << i << ": " << cookie;
    }
}

TEST_F(ZuHttpClientTest, CookiesAreStoredBeforeTheReceiverSeesTheAnswer)
{
    HttpsPeer peer([](const HttpsPeer::Request&, httplib::Response& res) {
        res.set_header("Set-Cookie", "sid=abc; Path=/");
        res.set_content(answer_with_keys({"C Major"}), "application/x-protobuf");
    });
    use_peer(peer);
    struct CheckingReceiver : RecordingReceiver
    {
        ZuLocalDb* store = nullptr;
        int stored_when_answered = -1;
        void on_respond(zudata::ZuRespond* respond) override
        {
            stored_when_answered = store->get()->load_cookies().size();
            RecordingReceiver::on_respond(respond);
        }
    } receiver;
    receiver.store = store.get();
    ASSERT_TRUE(lookup(receiver));
    await_answers(receiver);
    EXPECT_EQ(receiver.stored_when_answered, 1);
}

TEST_F(ZuHttpClientTest, ReceiverDestroyedInFlightGetsNothingButCookiesAreKept)
{
    HttpsPeer peer([](const HttpsPeer::Request&, httplib::Response& res) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        res.set_header("Set-Cookie", "sid=kept; Path=/");
        res.set_content(answer_with_keys({"C Major"}), "application/x-protobuf");
    });
    use_peer(peer);
    bool answered_after_destruction = false;
    {
        struct FlaggingReceiver : RecordingReceiver
        {
            bool* flag = nullptr;
            void on_respond(zudata::ZuRespond*) override { *flag = true; }
        };
        auto receiver = std::make_unique<FlaggingReceiver>();
        receiver->flag = &answered_after_destruction;
        ASSERT_TRUE(lookup(*receiver));
    }
    ASSERT_TRUE(spin_until([&] { return store->get()->load_cookies().size() == 1; }));
    spin_for(100);
    EXPECT_FALSE(answered_after_destruction);
    EXPECT_EQ(store->get()->load_cookies().front().value(), QByteArray("kept"));
}

// The file's change counter (header bytes 24 to 27) goes up once per write transaction.
quint32 change_counter(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray header = file.read(28);
    return header.size() < 28 ? 0 : qFromBigEndian<quint32>(header.constData() + 24);
}

TEST_F(ZuHttpClientTest, CookieFloodIsBoundedAndEachReplyWritesOnlyWhatChanged)
{
    HttpsPeer peer([](const HttpsPeer::Request& req, httplib::Response& res) {
        zudata::ZuRequest request;
        request.ParseFromString(req.body);
        const std::string step = request.emusic().music_name();
        if (step == "flood") {
            res.headers.emplace("Set-Cookie", "huge=" + std::string(5000, 'x') + "; Path=/");
            for (int i = 0; i < 1000; ++i) {
                res.headers.emplace("Set-Cookie", "flood" + std::to_string(1000 + i) + "=v; Path=/");
            }
        } else if (step == "change") {
            res.set_header("Set-Cookie", "flood1999=changed; Path=/");
        } else if (step == "big") {
            for (int i = 0; i < 20; ++i) {
                res.headers.emplace("Set-Cookie",
                                    "big" + std::to_string(i) + "=" + std::string(1000, 'b') + "; Path=/");
            }
        } else if (step == "expire") {
            res.set_header("Set-Cookie", "flood1998=; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT");
        }
        res.set_content(answer_with_keys({"C Major"}), "application/x-protobuf");
    });
    use_peer(peer);
    const auto rows = [&](const std::string& query) {
        return SQLite::Database(db_path).execAndGet(query).getString();
    };
    const auto step = [&](const std::string& name) {
        RecordingReceiver receiver;
        ASSERT_TRUE(lookup(receiver, name));
        ASSERT_TRUE(spin_until([&] { return !receiver.answers.empty(); }));
        EXPECT_EQ(receiver.answers[0].err(), zudata::ERROR_OK) << name;
    };

    step("flood");
    // The last 50 set stay; the huge one never entered.
    EXPECT_EQ(rows("select group_concat(cookie_key) from (select cookie_key from cookies order by pk_id)"),
              [] {
                  std::string names;
                  for (int i = 1950; i < 2000; ++i) {
                      names += (names.empty() ? "" : ",") + std::string("flood") + std::to_string(i);
                  }
                  return names;
              }());

    {
        SQLite::Database raw(db_path, SQLite::OPEN_READWRITE);
        raw.exec("CREATE TABLE written(n INTEGER); INSERT INTO written VALUES (0);"
                 "CREATE TRIGGER count_inserts AFTER INSERT ON cookies BEGIN UPDATE written SET n=n+1; END;"
                 "CREATE TRIGGER count_deletes AFTER DELETE ON cookies BEGIN UPDATE written SET n=n+1; END;");
    }
    struct Case
    {
        const char* step;
        quint32 transactions;
        const char* rows_written;
        const char* stored;
    };
    const Case cases[] = {
        {"change", 1, "1", "50"},
        {"nothing", 0, "1", "50"},
        {"expire", 1, "2", "49"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        const quint32 before = change_counter(db_path);
        step(c.step);
        EXPECT_EQ(change_counter(db_path) - before, c.transactions);
        EXPECT_EQ(rows("select n from written"), c.rows_written);
        EXPECT_EQ(rows("select count(*) from cookies"), c.stored);
    }

    restart();
    step("after restart");
    step("big");
    step("after big");
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 7u);
    for (size_t i = 1; i < requests.size(); ++i) {
        const std::string line = requests[i].header("Cookie");
        // The key service is built on the same server, which refuses longer header lines.
        EXPECT_LT(line.size() + std::strlen("Cookie: \r\n"), size_t(CPPHTTPLIB_HEADER_MAX_LENGTH)) << i;
        EXPECT_EQ(line.find("huge="), std::string::npos) << i;
        EXPECT_EQ(line.find("flood1949="), std::string::npos) << i;
    }
    EXPECT_NE(requests.back().header("Cookie").find("big0="), std::string::npos);
    const std::string last = requests[4].header("Cookie");
    EXPECT_NE(last.find("flood1999=changed"), std::string::npos) << last;
    EXPECT_NE(last.find("flood1950=v"), std::string::npos) << last;
    EXPECT_EQ(last.find("flood1998="), std::string::npos) << last;
    EXPECT_EQ(rows("select count(*) from cookies where cookie_key='flood1998'"), "0");
}

TEST_F(ZuHttpClientTest, JarKeepsOneRowPerNameInStepWithItsCookies)
{
    QNetworkCookie alive("alive", "1");
    alive.setDomain("other.example");
    alive.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(30));
    QNetworkCookie stale("stale", "1");
    stale.setExpirationDate(QDateTime(QDate(2001, 1, 2), QTime(3, 4, 5), Qt::UTC));
    ASSERT_TRUE(
        store->get()->save_cookies({alive, stale, QNetworkCookie("huge", QByteArray(5000, 'x'))}, {}));
    QZuHttpCookie jar(store->get(), nullptr);

    QList<QByteArray> flood;
    for (int i = 0; i < 60; ++i) {
        flood.append("h" + QByteArray::number(i) + "=1; Path=/");
        flood.append("p" + QByteArray::number(i) + "=1; Domain=kestrune.example; Path=/");
    }
    struct Step
    {
        const char* what;
        QList<QByteArray> set_cookie;
        quint32 transactions;
        const char* rows;
        const char* sid;
    };
    const Step steps[] = {
        {"loading dropped the expired and the oversized row", {}, 1, "1", ""},
        {"first cookie", {"sid=host; Path=/"}, 1, "2", "host"},
        {"the same cookie again", {"sid=host; Path=/"}, 0, "2", "host"},
        {"same name for the parent domain",
         {"sid=parent; Domain=kestrune.example; Path=/"},
         1,
         "2",
         "parent"},
        {"the parent's one expires, the host's one is stored again",
         {"sid=; Domain=kestrune.example; Path=/; Expires=Thu, 01 Jan 1970 00:00:00 GMT"},
         1,
         "2",
         "host"},
        {"each domain keeps its 50 newest", flood, 1, "101", ""},
    };
    const QUrl url(QStringLiteral("https://a.kestrune.example/api"));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        for (const QByteArray& line : step.set_cookie) {
            jar.setCookiesFromUrl(QNetworkCookie::parseCookies(line), url);
        }
        const quint32 before = change_counter(db_path);
        jar.save_all();
        EXPECT_EQ(change_counter(db_path) - before, step.transactions);
        SQLite::Database raw(db_path);
        EXPECT_EQ(raw.execAndGet("select count(*) from cookies").getString(), step.rows);
        EXPECT_EQ(raw.execAndGet("select ifnull(max(cookie_val),'') from cookies where cookie_key='sid'")
                      .getString(),
                  step.sid);
    }
    EXPECT_EQ(jar.cookiesForUrl(url).size(), 100);
    SQLite::Database raw(db_path);
    EXPECT_EQ(
        raw.execAndGet("select count(*) from cookies where cookie_key in ('alive','h10','h59','p10','p59')")
            .getInt(),
        5);
}

TEST_F(ZuHttpClientTest, AnswersArriveInFinishingOrderWithDistinctSerials)
{
    HttpsPeer peer([](const HttpsPeer::Request& req, httplib::Response& res) {
        zudata::ZuRequest request;
        request.ParseFromString(req.body);
        if (request.emusic().music_name() == "slow") {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
        }
        zudata::ZuRespond respond;
        respond.set_err(zudata::ERROR_OK);
        respond.mutable_emusic_resp()->set_music_name(request.emusic().music_name());
        res.set_content(respond.SerializeAsString(), "application/x-protobuf");
    });
    use_peer(peer);
    RecordingReceiver receiver;
    ASSERT_TRUE(lookup(receiver, "slow"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(lookup(receiver, "fast"));
    await_answers(receiver, 2);
    EXPECT_EQ(receiver.answers[0].emusic_resp().music_name(), "fast");
    EXPECT_EQ(receiver.answers[1].emusic_resp().music_name(), "slow");
    const auto requests = peer.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[0].header("Serial-Num"), requests[1].header("Serial-Num"));
}

} // namespace
