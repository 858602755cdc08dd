#include "KeydTestServer.h"

#include "RequestRateLimiter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <thread>

namespace {

const std::string emusic = "/api/v1/emusic";

std::vector<std::string> singers_of(const zudata::ZuRespond& respond)
{
    std::vector<std::string> singers;
    for (const auto& song : respond.emusic_resp().emusics()) {
        singers.push_back(song.music_author());
    }
    return singers;
}

class KeydServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.catalogue().store({{0, "晚风收音机", "苏禾", "B Minor"},
                                  {0, "晚风收音机", "蓝莓气泡乐团", "Db Major"},
                                  {0, "七号风铃", "许安然", "F Major"},
                                  {0, "Rooftop Semaphore", "Sable Kite", "E Major"},
                                  {0, "Paper Moon Harbor", "Marlo Vennick", "G Major"},
                                  {0, "Paper Moon Harbour", "Ines Dorrow", "A Minor"}});
    }

    zudata::ZuRespond lookup(const std::string& name, const std::string& singer)
    {
        const httplib::Result result =
            server.post(emusic, KeydTestServer::request(zudata::CMD_EM_GET, name, singer));
        EXPECT_TRUE(result);
        EXPECT_EQ(200, result->status);
        const zudata::ZuRespond respond = KeydTestServer::decode(*result);
        EXPECT_EQ(zudata::CMD_EM_GET, respond.cmd());
        EXPECT_EQ(zudata::ERROR_OK, respond.err());
        EXPECT_EQ(name, respond.emusic_resp().music_name());
        EXPECT_EQ(respond.emusic_resp().emusics_size(), respond.emusic_resp().emusic_count());
        return respond;
    }

    KeydTestServer server;
};

TEST_F(KeydServerTest, ExactNameAndSingerComeFirstWithTheOtherSingersAfter)
{
    const zudata::ZuRespond respond = lookup("晚风收音机", "蓝莓气泡乐团");
    EXPECT_EQ((std::vector<std::string>{"蓝莓气泡乐团", "苏禾"}), singers_of(respond));
    const zudata::ZuMusicKeynote& first = respond.emusic_resp().emusics(0);
    EXPECT_EQ("Db Major", first.music_keynote());
    EXPECT_EQ("KuGou.exe", first.music_process());
    EXPECT_EQ("KuGou.exe", respond.emusic_resp().music_process());
    EXPECT_GT(first.id(), 0);
}

TEST_F(KeydServerTest, UnknownSingerFallsBackToTheName)
{
    EXPECT_EQ((std::vector<std::string>{"苏禾", "蓝莓气泡乐团"}), singers_of(lookup("晚风收音机", "无名氏")));
}

TEST_F(KeydServerTest, NamesCompareWithoutCaseWidthOrSurroundingBlanks)
{
    const zudata::ZuRespond respond = lookup(" \xE3\x80\x80ＰＡＰＥＲ moon HARBOR  ", "");
    ASSERT_EQ(1, respond.emusic_resp().emusics_size());
    EXPECT_EQ("Paper Moon Harbor", respond.emusic_resp().emusics(0).music_name());
}

TEST_F(KeydServerTest, SimilarNamesAreFoundWhenNoNameMatches)
{
    const zudata::ZuRespond live = lookup("七号风铃 (Live)", "");
    ASSERT_EQ(1, live.emusic_resp().emusics_size());
    EXPECT_EQ("七号风铃", live.emusic_resp().emusics(0).music_name());

    const zudata::ZuRespond typo = lookup("Roof-top Semafore", "");
    ASSERT_EQ(1, typo.emusic_resp().emusics_size());
    EXPECT_EQ("Rooftop Semaphore", typo.emusic_resp().emusics(0).music_name());
}

TEST_F(KeydServerTest, UnknownSongIsAnsweredOkWithoutRecords)
{
    EXPECT_EQ(0, lookup("完全陌生的歌", "苏禾").emusic_resp().emusics_size());
    EXPECT_EQ(0, lookup("七号风车", "").emusic_resp().emusics_size());
    EXPECT_EQ(0, lookup("zz", "").emusic_resp().emusics_size());
}

TEST_F(KeydServerTest, NamesThatLookLikeQuerySyntaxAreJustNames)
{
    const std::vector<std::string> names = {"\"",
                                            "Rooftop \"Sema",
                                            "Semaphore*",
                                            "NEAR(Rooftop",
                                            "name_key:roo",
                                            std::string("Roof\0top", 8),
                                            "Rooftop' OR 1=1 --"};
    for (const std::string& name : names) {
        lookup(name, "");
    }
}

TEST_F(KeydServerTest, OnlyAnswersOverOneKibibyteAreCompressed)
{
    std::vector<CatalogueSong> namesakes;
    for (int i = 0; i < 12; ++i) {
        namesakes.push_back({0, "同名歌", "歌手" + std::to_string(i) + std::string(90, 'x'), "C Major"});
    }
    server.catalogue().store(namesakes);
    const httplib::Result large = server.post(emusic, KeydTestServer::request(zudata::CMD_EM_GET, "同名歌"));
    ASSERT_TRUE(large);
    EXPECT_EQ("zlib", large->get_header_value("Content-Encoding"));
    EXPECT_GT(std::stoul(large->get_header_value("Content-unzipLength")), KeyServer::largest_plain_answer);
    EXPECT_EQ(KeyCommandHandler::most_songs, KeydTestServer::decode(*large).emusic_resp().emusics_size());

    const httplib::Result small =
        server.post(emusic, KeydTestServer::request(zudata::CMD_EM_GET, "七号风铃"));
    ASSERT_TRUE(small);
    EXPECT_FALSE(small->has_header("Content-Encoding"));
    EXPECT_EQ(1, KeydTestServer::decode(*small).emusic_resp().emusics_size());
}

TEST_F(KeydServerTest, BadRequestsGetTheirOwnFailureAnswers)
{
    struct Case
    {
        std::string path;
        std::string body;
        int status;
        int cmd;
        std::string message;
    };
    std::string largest;
    for (std::size_t name = KeyServer::largest_request; largest.size() != KeyServer::largest_request;
         --name) {
        largest = KeydTestServer::request(zudata::CMD_EM_DIV, std::string(name, 'x'));
    }
    const Case cases[] = {
        {"/api", std::string("\x08\xd3\x2e\x1a\x05\xff", 6), 400, 0, "请求格式错误"},
        {"/api/v1/user", largest, 200, zudata::CMD_EM_DIV, "不支持的请求"},
        {emusic, std::string(KeyServer::largest_request + 1, '\0'), 413, 0, "请求过大"},
    };
    for (const Case& c : cases) {
        const httplib::Result result = server.post(c.path, c.body);
        ASSERT_TRUE(result) << c.message;
        EXPECT_EQ(c.status, result->status) << c.message;
        const zudata::ZuRespond respond = KeydTestServer::decode(*result);
        EXPECT_EQ(zudata::ERROR_FAILED, respond.err()) << c.message;
        EXPECT_EQ(c.cmd, respond.cmd()) << c.message;
        EXPECT_EQ(c.message, respond.errmsg());
    }
}

TEST_F(KeydServerTest, ReportOfAWrongKeyIsStored)
{
    const httplib::Result result = server.post(
        "/api/v1/emusic", KeydTestServer::request(zudata::CMD_EM_REPORT_ERROR, "七号风铃", "许安然"));
    ASSERT_TRUE(result);
    const zudata::ZuRespond respond = KeydTestServer::decode(*result);
    EXPECT_EQ(zudata::ERROR_OK, respond.err());
    EXPECT_EQ(zudata::CMD_EM_REPORT_ERROR, respond.cmd());
    EXPECT_EQ(1u, server.catalogue().report_count());
}

TEST_F(KeydServerTest, ConcurrentClientsEachGetTheirOwnAnswer)
{
    const std::vector<std::pair<std::string, std::string>> songs = {
        {"晚风收音机", "B Minor"}, {"七号风铃", "F Major"}, {"Rooftop Semaphore", "E Major"}};
    std::atomic<int> right{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 3; ++t) {
        clients.emplace_back([&, t] {
            for (int i = 0; i < 5; ++i) {
                const auto& [name, keynote] = songs[(t + i) % songs.size()];
                const httplib::Headers session = {{"Session-Id", "client" + std::to_string(t)}};
                const httplib::Result result =
                    server.post(emusic, KeydTestServer::request(zudata::CMD_EM_GET, name), session);
                zudata::ZuRespond respond;
                if (result && respond.ParseFromString(result->body) &&
                    respond.emusic_resp().emusics_size() > 0 &&
                    respond.emusic_resp().emusics(0).music_keynote() == keynote) {
                    ++right;
                }
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(15, right.load());
}

TEST_F(KeydServerTest, EveryRequestIsLoggedOnceWithPathCommandStatusAndLatency)
{
    server.post(emusic, KeydTestServer::request(zudata::CMD_EM_GET, "七号风铃"));
    server.post("/api", std::string(KeyServer::largest_request + 1, 'x'));
    server.post("/elsewhere", "");
    const std::vector<std::string> lines = server.log_lines(3);
    ASSERT_EQ(3u, lines.size());
    const std::regex form(
        R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (\S+) cmd=(\S+) status=(\d+) err=(\S+) latency_ms=\d+\.\d{3})");
    // A line is written once its answer has gone out, and the client may send the next request
    // before then, so the order of the lines is not the order of the requests.
    std::multiset<std::vector<std::string>> logged;
    for (const std::string& line : lines) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(line, parts, form)) << line;
        logged.insert({parts[1], parts[2], parts[3], parts[4]});
    }
    const std::multiset<std::vector<std::string>> expected = {
        {"/api/v1/emusic", "6003", "200", "1"}, {"/api", "0", "413", "2"}, {"/elsewhere", "-", "404", "-"}};
    EXPECT_EQ(expected, logged);
}

TEST(RequestRateLimiterTest, WindowSlidesPerSession)
{
    using namespace std::chrono_literals;
    RequestRateLimiter limiter(20, 1s);
    const auto start = RequestRateLimiter::Clock::now();
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(limiter.admit("a", start + i * 10ms));
    }
    EXPECT_FALSE(limiter.admit("a", start + 999ms));
    EXPECT_TRUE(limiter.admit("b", start + 999ms));
    EXPECT_TRUE(limiter.admit("a", start + 1s));
    EXPECT_FALSE(limiter.admit("a", start + 1s + 5ms));
    EXPECT_TRUE(limiter.admit("a", start + 1s + 10ms));
}

TEST(KeydRateLimitTest, LimitFollowsTheClientAddressWhateverItSends)
{
    KeyServerConfig config;
    config.rate_window = std::chrono::minutes(10);
    KeydTestServer server(config);
    const std::string body = KeydTestServer::request(zudata::CMD_EM_GET, "x");
    for (int i = 0; i < 20; ++i) {
        const httplib::Headers changing = {{"Session-Id", "device-" + std::to_string(i)},
                                           {"X-Forwarded-For", "10.0.0." + std::to_string(i)}};
        ASSERT_EQ(200, server.post("/api/v1/emusic", body, changing)->status);
    }
    const httplib::Result refused = server.post("/api/v1/emusic", body, {{"Session-Id", "device-new"}});
    EXPECT_EQ(429, refused->status);
    EXPECT_EQ("1", refused->get_header_value("Retry-After"));
    EXPECT_EQ("请求过于频繁", KeydTestServer::decode(*refused).errmsg());
}

TEST(KeydRateLimitTest, BehindATrustedProxyEachForwardedClientHasItsOwnLimit)
{
    KeyServerConfig config;
    config.rate_limit = 2;
    config.rate_window = std::chrono::minutes(10);
    config.trusted_proxies = {"127.0.0.0/8"};
    KeydTestServer server(config);
    const std::string body = KeydTestServer::request(zudata::CMD_EM_GET, "x");
    const std::pair<std::string, int> steps[] = {
        {"198.51.100.1, 203.0.113.9", 200},
        {"203.0.113.9", 200},
        {"10.9.9.9, 203.0.113.9", 429},
        {"203.0.113.10", 200},
        {"garbage", 200},
        {"", 200},
        {"", 429},
    };
    for (const auto& [forwarded_for, status] : steps) {
        httplib::Headers headers;
        if (!forwarded_for.empty()) {
            headers.emplace("X-Forwarded-For", forwarded_for);
        }
        EXPECT_EQ(status, server.post("/api", body, headers)->status) << forwarded_for;
    }
}

TEST(KeydRateLimitTest, SessionCookieIsKnownToEveryServerSharingTheSecret)
{
    KeyServerConfig config;
    config.session_secret = std::string(40, 's');
    KeydTestServer issuer(config);
    KeydTestServer sharing(config);
    config.session_secret = std::string(40, 't');
    KeydTestServer stranger(config);
    const std::string body = KeydTestServer::request(zudata::CMD_EM_GET, "x");
    const std::string set_cookie =
        issuer.post("/api", body, {{"Session-Id", "device-a"}})->get_header_value("Set-Cookie");
    std::smatch cookie;
    ASSERT_TRUE(std::regex_match(
        set_cookie, cookie,
        std::regex("kestrune_session=(([0-9a-f]{32})\\.([0-9a-f]{32})); Path=/api; Secure; HttpOnly")));
    const std::string session = cookie[2];
    std::string forged = cookie[3];
    forged[0] = forged[0] == '0' ? '1' : '0';
    const struct
    {
        const KeydTestServer& server;
        std::string value;
        bool known;
    } cases[] = {
        {issuer, cookie[1], true},
        {sharing, cookie[1], true},
        {stranger, cookie[1], false},
        {issuer, session, false},
        {issuer, session + "." + forged, false},
        {issuer, session + "." + cookie[3].str() + "0", false},
    };
    for (const auto& c : cases) {
        const httplib::Result again =
            c.server.post("/api", body, {{"Cookie", "a=1; kestrune_session=" + c.value}});
        ASSERT_TRUE(again) << c.value;
        EXPECT_EQ(200, again->status);
        EXPECT_EQ(!c.known, again->has_header("Set-Cookie")) << c.value;
    }
}

} // namespace
