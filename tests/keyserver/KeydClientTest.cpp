#include "KeydTestServer.h"
#include "TestEventLoop.h"
#include "ZuCommandReceiver.h"
#include "ZuDataBus.h"
#include "ZuHttpClient.h"
#include "ZuLocalDb.h"
#include "ZuLocalTables.h"

#include <QNetworkCookie>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

class Receiver : public ZuCommandReceiver
{
public:
    ~Receiver() override { emit ZuDataBus::instance()->remove_http_receiver(this); }
    void on_respond(zudata::ZuRespond* respond) override { answers.push_back(*respond); }
    std::vector<zudata::ZuRespond> answers;
};

// The assistant's own client, with its cookie store, talking to a real key service.
class KeydClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qputenv("KESTRUNE_CA_FILE", QByteArray::fromStdString(server.path("cert.pem")));
        store.set_path(dir.filePath("em.db").toStdString());
        ASSERT_TRUE(store.open());
        client = std::make_unique<ZuHttpClient>(QStringLiteral("https://127.0.0.1:%1/api").arg(server.port()),
                                                &store);
    }

    zudata::ZuRespond lookup(const std::string& name, const std::string& singer)
    {
        zudata::ZuMusicKeynote record;
        record.set_music_name(name);
        record.set_music_author(singer);
        record.set_music_process("KuGou.exe");
        Receiver receiver;
        EXPECT_TRUE(client->send(zudata::CMD_EM_GET, &record, &receiver));
        EXPECT_TRUE(spin_until([&] { return !receiver.answers.empty(); }));
        return receiver.answers.empty() ? zudata::ZuRespond() : receiver.answers.front();
    }

    KeydTestServer server;
    QTemporaryDir dir;
    ZuLocalDb store;
    std::unique_ptr<ZuHttpClient> client;
};

TEST_F(KeydClientTest, LookupReturnsTheCataloguedKeysToTheAssistant)
{
    server.catalogue().store(
        {{0, "晚风收音机", "苏禾", "B Minor"}, {0, "晚风收音机", "蓝莓气泡乐团", "Db Major"}});
    const auto answer = lookup("晚风收音机", "蓝莓气泡乐团");
    ASSERT_EQ(answer.err(), zudata::ERROR_OK) << answer.errmsg();
    EXPECT_EQ(answer.cmd(), zudata::CMD_EM_GET);
    EXPECT_EQ(answer.emusic_resp().music_process(), "KuGou.exe");
    ASSERT_EQ(answer.emusic_resp().emusics_size(), 2);
    EXPECT_EQ(answer.emusic_resp().emusics(0).music_keynote(), "Db Major");
    EXPECT_EQ(answer.emusic_resp().emusics(1).music_keynote(), "B Minor");
}

TEST_F(KeydClientTest, CompressedAnswerInflatesInTheClient)
{
    std::vector<CatalogueSong> songs;
    // Ten records of about 150 bytes each: well over the 1 KiB above which answers are compressed.
    for (int i = 0; i < 10; ++i) {
        songs.push_back({0, "Paper Moon Harbor", std::string(120, 'x') + std::to_string(i), "G Major"});
    }
    server.catalogue().store(songs);
    const auto answer = lookup("Paper Moon Harbor", "");
    ASSERT_EQ(answer.err(), zudata::ERROR_OK) << answer.errmsg();
    EXPECT_EQ(answer.emusic_resp().emusics_size(), 10);
}

TEST_F(KeydClientTest, SessionCookieIsStoredAndSentBack)
{
    EXPECT_EQ(lookup("nothing", "").err(), zudata::ERROR_OK);
    const auto cookies = store.get()->load_cookies();
    ASSERT_EQ(cookies.size(), 1);
    EXPECT_EQ(lookup("nothing", "").err(), zudata::ERROR_OK);
    EXPECT_EQ(store.get()->load_cookies().size(), 1);
    EXPECT_EQ(store.get()->load_cookies().front().value(), cookies.front().value());
}

} // namespace
