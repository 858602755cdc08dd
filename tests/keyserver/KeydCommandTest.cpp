#include "KeydTestServer.h"

#include <gtest/gtest.h>

namespace {

const std::string emusic = "/api/v1/emusic";
const std::string curator_token = "curator-0123456789abcdef";

KeyServerConfig with_curator()
{
    KeyServerConfig config;
    config.curator_token = curator_token;
    config.rate_window = std::chrono::milliseconds(1);
    return config;
}

// One row of a song list as "name|singer|keynote|music_index|id>0".
std::vector<std::string> rows_of(const zudata::ZuRespond& respond)
{
    std::vector<std::string> rows;
    for (const zudata::ZuMusicKeynote& song : respond.emusic_resp().emusics()) {
        rows.push_back(song.music_name() + "|" + song.music_author() + "|" + song.music_keynote() + "|" +
                       song.music_index() + "|" + (song.id() > 0 ? "id" : "0"));
    }
    return rows;
}

class KeydCommandTest : public ::testing::Test
{
protected:
    void SetUp() override { server.catalogue().store({{0, "晚风收音机", "苏禾", "B Minor"}}); }

    zudata::ZuRespond send(int cmd, const std::string& name, const std::string& singer,
                           const std::string& keynote, const httplib::Headers& headers, int status = 200)
    {
        const httplib::Result result =
            server.post(emusic, KeydTestServer::request(cmd, name, singer, keynote), headers);
        EXPECT_TRUE(result);
        if (!result) {
            return {};
        }
        EXPECT_EQ(status, result->status) << name;
        const zudata::ZuRespond respond = KeydTestServer::decode(*result);
        EXPECT_EQ(cmd, respond.cmd());
        return respond;
    }

    zudata::ZuRespond propose(const std::string& session, const std::string& name, const std::string& keynote,
                              const std::string& singer = "歌手甲")
    {
        return send(zudata::CMD_EM_ADD, name, singer, keynote, {{"Session-Id", session}});
    }

    std::vector<std::string> lookup(const std::string& name, const std::string& singer = "歌手甲")
    {
        return rows_of(send(zudata::CMD_EM_GET, name, singer, "", {}));
    }

    std::vector<std::string> waiting()
    {
        return rows_of(send(zudata::CMD_EM_WAIT_INCLUDE_GET, "", "", "", {}));
    }

    KeydTestServer server{with_curator()};
};

TEST_F(KeydCommandTest, ProposalsPromoteASongOnceEnoughSessionsAgree)
{
    struct Step
    {
        std::string session;
        std::string keynote;
        std::string agreeing;
        bool promoted;
    };
    const Step steps[] = {
        {"a", "D Major", "1", false}, {"a", "D Major", "1", false}, // a session counts once
        {"b", "D Major", "2", false}, {"c", "E Minor", "1", false},
        {"c", "D Major", "3", true}, // c changed its mind, and now three agree
    };
    for (const Step& step : steps) {
        EXPECT_TRUE(lookup("雾港来信").empty()) << "a proposal is never a catalogue row";
        const zudata::ZuRespond respond = propose(step.session, " 雾港来信 ", step.keynote);
        EXPECT_EQ(zudata::ERROR_OK, respond.err());
        ASSERT_EQ(1, respond.emusic_resp().emusic_count());
        EXPECT_EQ("雾港来信|歌手甲|" + step.keynote + "|" + step.agreeing + "|" +
                      (step.promoted ? "id" : "0"),
                  rows_of(respond)[0]);
    }
    EXPECT_EQ((std::vector<std::string>{"雾港来信|歌手甲|D Major||id"}), lookup("雾港来信"));
    EXPECT_TRUE(waiting().empty()) << "a promoted song leaves the waiting list";
}

TEST_F(KeydCommandTest, TheCrowdCannotOverwriteACataloguedSong)
{
    for (const char* session : {"a", "b", "c", "d"}) {
        EXPECT_EQ(zudata::ERROR_OK, propose(session, "晚风收音机", "C Major", "苏禾").err());
    }
    EXPECT_EQ((std::vector<std::string>{"晚风收音机|苏禾|B Minor||id"}), lookup("晚风收音机", "苏禾"));
    EXPECT_EQ((std::vector<std::string>{"晚风收音机|苏禾|C Major|4|id"}), waiting());
}

TEST_F(KeydCommandTest, UnusableProposalsAreRefusedWithTheReason)
{
    const struct
    {
        std::string name;
        std::string keynote;
        std::string message;
    } cases[] = {
        {"新歌", "H Major", "无法识别的调号：H Major"},
        {"新歌", "", "无法识别的调号："},
        {" \xE3\x80\x80 ", "C Major", "歌名不能为空"},
        {"两\n行", "C Major", "歌名、歌手或调号含有无效字符"},
        {std::string(KeyCommandHandler::longest_wanted_field + 1, 'x'), "C Major", "歌名或歌手过长"},
    };
    for (const auto& c : cases) {
        const zudata::ZuRespond respond = propose("a", c.name, c.keynote);
        EXPECT_EQ(zudata::ERROR_FAILED, respond.err());
        EXPECT_EQ(c.message, respond.errmsg());
    }
    EXPECT_TRUE(waiting().empty());
}

TEST_F(KeydCommandTest, WaitingListPutsTheMostAskedFirstWithCounts)
{
    for (int i = 0; i < 3; ++i) {
        lookup("没找到的歌");
    }
    lookup("  ");
    lookup(std::string(KeyCommandHandler::longest_wanted_field + 1, 'y'));
    propose("a", "提议的歌", "F Major");
    propose("b", "提议的歌", "F Major");
    propose("c", "提议的歌", "G Major");
    propose("a", "少人问的歌", "A Minor");
    EXPECT_EQ((std::vector<std::string>{"没找到的歌|歌手甲||3|id", "提议的歌|歌手甲|F Major|3|id",
                                        "少人问的歌|歌手甲|A Minor|1|id"}),
              waiting());
}

TEST_F(KeydCommandTest, OnlyCuratorsMayUploadOrDropWaitingSongs)
{
    lookup("等着的歌");
    const httplib::Headers nobody = {};
    const httplib::Headers wrong = {{"Authorization", "Bearer " + curator_token + "x"}};
    const httplib::Headers curator = {{"Authorization", "Bearer " + curator_token}};
    for (const httplib::Headers& headers : {nobody, wrong}) {
        for (int cmd : {zudata::CMD_EM_UPLOAD, zudata::CMD_EM_DEL_WAIT_INCLUDE}) {
            const zudata::ZuRespond refused = send(cmd, "等着的歌", "歌手甲", "C Major", headers, 403);
            EXPECT_EQ(zudata::PERMISSION_DENIED, refused.err());
            EXPECT_EQ("没有权限", refused.errmsg());
        }
    }
    EXPECT_EQ(1u, waiting().size());

    const zudata::ZuRespond corrected =
        send(zudata::CMD_EM_UPLOAD, "晚风收音机", "苏禾", "Db Major", curator);
    EXPECT_EQ(zudata::ERROR_OK, corrected.err());
    EXPECT_EQ((std::vector<std::string>{"晚风收音机|苏禾|Db Major||id"}), rows_of(corrected));
    EXPECT_EQ((std::vector<std::string>{"晚风收音机|苏禾|Db Major||id"}), lookup("晚风收音机", "苏禾"));
    EXPECT_EQ("无法识别的调号：Db",
              send(zudata::CMD_EM_UPLOAD, "晚风收音机", "苏禾", "Db", curator).errmsg());

    EXPECT_EQ(zudata::ERROR_OK,
              send(zudata::CMD_EM_DEL_WAIT_INCLUDE, "等着的歌", "歌手甲", "", curator).err());
    EXPECT_TRUE(waiting().empty());
    const zudata::ZuRespond gone = send(zudata::CMD_EM_DEL_WAIT_INCLUDE, "等着的歌", "歌手甲", "", curator);
    EXPECT_EQ(zudata::ERROR_FAILED, gone.err());
    EXPECT_EQ("待收录列表中没有这首歌", gone.errmsg());
}

TEST(KeydCuratorTest, WithoutATokenNobodyIsACurator)
{
    KeydTestServer server;
    const httplib::Result result =
        server.post(emusic, KeydTestServer::request(zudata::CMD_EM_UPLOAD, "歌", "", "C Major"),
                    {{"Authorization", "Bearer "}});
    ASSERT_TRUE(result);
    EXPECT_EQ(403, result->status);
    EXPECT_EQ(0u, server.catalogue().song_count());
}

} // namespace
