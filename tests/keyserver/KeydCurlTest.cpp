#include "KeydTestServer.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>

namespace {

struct CurlAnswer
{
    int exit_code = -1;
    std::string headers;
    std::string body;
};

std::string read_all(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// curl as an outside client would run it: the service's certificate trusted, nothing else.
CurlAnswer curl(KeydTestServer& server, const std::string& url_path, const std::string& body)
{
    QFile request(QString::fromStdString(server.path("request.bin")));
    EXPECT_TRUE(request.open(QIODevice::WriteOnly | QIODevice::Truncate));
    request.write(body.data(), static_cast<qint64>(body.size()));
    request.close();

    const QString url =
        QString("https://localhost:%1%2").arg(server.port()).arg(QString::fromStdString(url_path));
    QProcess process;
    process.start("curl", {"--silent", "--show-error", "--max-time", "20", "--cacert",
                           QString::fromStdString(server.path("cert.pem")), "--resolve",
                           QString("localhost:%1:127.0.0.1").arg(server.port()), "-H",
                           "Content-Type: application/protobuf", "-H", "Connection: close", "--data-binary",
                           "@" + request.fileName(), "--dump-header",
                           QString::fromStdString(server.path("headers.txt")), "--output",
                           QString::fromStdString(server.path("body.bin")), url});
    EXPECT_TRUE(process.waitForFinished(30000));
    return {process.exitCode(), read_all(server.path("headers.txt")), read_all(server.path("body.bin"))};
}

zudata::ZuRespond parsed(const std::string& body)
{
    zudata::ZuRespond respond;
    EXPECT_TRUE(respond.ParseFromString(body));
    return respond;
}

TEST(KeydCurlTest, LookupAnswersOverVerifiedTls)
{
    KeydTestServer server;
    server.catalogue().store({{0, "银杏信笺", "顾北辰", "Gb Major"}});
    const CurlAnswer answer =
        curl(server, "/api/v1/emusic", KeydTestServer::request(zudata::CMD_EM_GET, "银杏信笺", "顾北辰"));
    ASSERT_EQ(0, answer.exit_code);
    EXPECT_NE(std::string::npos, answer.headers.find("HTTP/1.1 200"));
    EXPECT_NE(std::string::npos, answer.headers.find("Set-Cookie: kestrune_session="));
    const zudata::ZuRespond respond = parsed(answer.body);
    EXPECT_EQ(zudata::ERROR_OK, respond.err());
    ASSERT_EQ(1, respond.emusic_resp().emusics_size());
    EXPECT_EQ("Gb Major", respond.emusic_resp().emusics(0).music_keynote());
}

TEST(KeydCurlTest, ErrorsComeAsStatusAndZuRespond)
{
    KeydTestServer server;
    const CurlAnswer malformed = curl(server, "/api", "\xff\xff\xff");
    ASSERT_EQ(0, malformed.exit_code);
    EXPECT_NE(std::string::npos, malformed.headers.find("HTTP/1.1 400"));
    EXPECT_EQ("请求格式错误", parsed(malformed.body).errmsg());

    const CurlAnswer large = curl(server, "/api/v1/user", std::string(KeyServer::largest_request + 1, 'x'));
    ASSERT_EQ(0, large.exit_code);
    EXPECT_NE(std::string::npos, large.headers.find("HTTP/1.1 413"));
    EXPECT_EQ("请求过大", parsed(large.body).errmsg());
}

} // namespace
