#include "zudata.pb.h"

#include <google/protobuf/io/coded_stream.h>
#include <google/protobuf/wire_format_lite.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using google::protobuf::internal::WireFormatLite;

namespace {

// Replies are built byte by byte from the wire format so that the tests do not depend on the
// generated serialiser they are meant to check.
std::string varint(uint64_t value)
{
    std::string out;
    do {
        auto byte = static_cast<char>(value & 0x7f);
        value >>= 7;
        if (value != 0) {
            byte = static_cast<char>(byte | 0x80);
        }
        out.push_back(byte);
    } while (value != 0);
    return out;
}

std::string key(int field, WireFormatLite::WireType type)
{
    return varint(WireFormatLite::MakeTag(field, type));
}

std::string varint_field(int field, uint64_t value)
{
    return key(field, WireFormatLite::WIRETYPE_VARINT) + varint(value);
}

std::string bytes_field(int field, const std::string& payload)
{
    return key(field, WireFormatLite::WIRETYPE_LENGTH_DELIMITED) + varint(payload.size()) + payload;
}

bool parse(const std::string& body, zudata::ZuRespond& respond)
{
    return respond.ParseFromArray(body.data(), static_cast<int>(body.size()));
}

// Field numbers and raw payloads of a length-delimited message body, in wire order.
std::vector<std::pair<int, std::string>> length_delimited_fields(const std::string& body)
{
    google::protobuf::io::CodedInputStream in(reinterpret_cast<const uint8_t*>(body.data()),
                                              static_cast<int>(body.size()));
    std::vector<std::pair<int, std::string>> fields;
    while (const uint32_t tag = in.ReadTag()) {
        EXPECT_EQ(WireFormatLite::GetTagWireType(tag), WireFormatLite::WIRETYPE_LENGTH_DELIMITED);
        uint32_t size = 0;
        std::string payload;
        if (!in.ReadVarint32(&size) || !in.ReadString(&payload, static_cast<int>(size))) {
            ADD_FAILURE() << "truncated field " << WireFormatLite::GetTagFieldNumber(tag);
            break;
        }
        fields.emplace_back(WireFormatLite::GetTagFieldNumber(tag), payload);
    }
    return fields;
}

// A song title, a singer and a "not found" message in Chinese, as UTF-8 bytes.
const std::string kSongName = "\xE6\x99\xB4\xE5\xA4\xA9";
const std::string kSinger = "\xE5\x91\xA8\xE6\x9D\xB0\xE4\xBC\xA6";
const std::string kNoMatch = "\xE6\x9C\xAA\xE6\x89\xBE\xE5\x88\xB0";

std::string keynote_entry(const std::string& name, const std::string& author, const std::string& keynote)
{
    return bytes_field(3, name) + bytes_field(4, author) + bytes_field(5, keynote) +
           bytes_field(6, "KuGou.exe");
}

} // namespace

TEST(ZuRespondParsing, EmptyBodyReadsAsAllDefaults)
{
    zudata::ZuRespond respond;
    ASSERT_TRUE(parse("", respond));

    EXPECT_EQ(respond.cmd(), zudata::CMD_UNKNOW);
    EXPECT_EQ(respond.err(), zudata::ERROR_UNKNOW);
    EXPECT_TRUE(respond.errmsg().empty());
    EXPECT_FALSE(respond.has_emusic_resp());
    EXPECT_EQ(respond.emusic_resp().emusics_size(), 0);
}

TEST(ZuRespondParsing, MissingLookupAnswerReadsAsEmptyAnswer)
{
    zudata::ZuRespond respond;
    ASSERT_TRUE(parse(varint_field(1, 6003) + varint_field(2, 2) + bytes_field(3, kNoMatch), respond));

    EXPECT_EQ(respond.cmd(), zudata::CMD_EM_GET);
    EXPECT_EQ(respond.err(), zudata::ERROR_FAILED);
    EXPECT_EQ(respond.errmsg(), kNoMatch);
    const zudata::ZuMusicKeynoteSearchResp& answer = respond.emusic_resp();
    EXPECT_EQ(answer.emusics_size(), 0);
    EXPECT_TRUE(answer.music_name().empty());
    EXPECT_TRUE(answer.music_process().empty());
    EXPECT_EQ(answer.emusic_count(), 0);
}

TEST(ZuRespondParsing, UnlistedErrorCodeKeepsItsNumberAndIsNotSuccess)
{
    for (const int64_t code : {7777LL, 12LL, -3LL}) {
        zudata::ZuRespond respond;
        ASSERT_TRUE(parse(varint_field(2, static_cast<uint64_t>(code)) + bytes_field(3, "later"), respond))
            << code;
        EXPECT_EQ(static_cast<int64_t>(respond.err()), code);
        EXPECT_NE(respond.err(), zudata::ERROR_OK);
        EXPECT_FALSE(zudata::MessageError_IsValid(respond.err()));
        EXPECT_EQ(respond.errmsg(), "later");
    }
}

TEST(ZuRespondParsing, UnknownFieldsAreSkippedAndKnownOnesReadAsSent)
{
    const std::string answer =
        bytes_field(1, kSongName) + bytes_field(9, "newer answer field") +
        bytes_field(2, keynote_entry(kSongName, kSinger, "Gb Major") + varint_field(7, 1)) +
        bytes_field(2, keynote_entry(kSongName, "", "E Minor")) + bytes_field(3, "KuGou.exe") +
        varint_field(4, 2);
    // A newer service: unknown numbers under four wire types, errMsg once under the wrong wire type,
    // and the answer ahead of the header fields.
    const std::string body = bytes_field(600, answer) + varint_field(12, 99) +
                             key(41, WireFormatLite::WIRETYPE_FIXED32) + std::string("\x01\x02\x03\x04", 4) +
                             key(7000, WireFormatLite::WIRETYPE_FIXED64) + std::string(8, '\x7f') +
                             bytes_field(35, "unknown") + varint_field(3, 5) + varint_field(1, 6003) +
                             varint_field(2, 1);

    zudata::ZuRespond respond;
    ASSERT_TRUE(parse(body, respond));

    EXPECT_EQ(respond.cmd(), zudata::CMD_EM_GET);
    EXPECT_EQ(respond.err(), zudata::ERROR_OK);
    EXPECT_TRUE(respond.errmsg().empty());
    const zudata::ZuMusicKeynoteSearchResp& result = respond.emusic_resp();
    EXPECT_EQ(result.music_name(), kSongName);
    EXPECT_EQ(result.music_process(), "KuGou.exe");
    ASSERT_EQ(result.emusics_size(), 2);
    EXPECT_EQ(result.emusics(0).music_author(), kSinger);
    EXPECT_EQ(result.emusics(0).music_keynote(), "Gb Major");
    EXPECT_TRUE(result.emusics(1).music_author().empty());
    EXPECT_EQ(result.emusics(1).music_keynote(), "E Minor");
    EXPECT_EQ(result.emusics(1).music_process(), "KuGou.exe");
}

TEST(ZuRespondParsing, MalformedBodiesFailToParse)
{
    struct Case
    {
        const char* what;
        std::string sound;
        std::string broken;
    };
    const std::string bad_text = "\xC3\x28";
    auto in_entry = [](const std::string& text) {
        return bytes_field(600, bytes_field(2, bytes_field(5, "Gb Major" + text)));
    };
    auto in_map_key = [](const std::string& text) {
        return bytes_field(500, bytes_field(5, bytes_field(1, bytes_field(1, text))));
    };
    const std::string errmsg_field = bytes_field(3, "short");
    const std::string nested = bytes_field(600, bytes_field(1, kSongName));
    // Each broken body is paired with the sound body it was made from, so a failure cannot come
    // from a mistake elsewhere in the bytes.
    const std::vector<Case> cases = {
        {"invalid UTF-8 in errMsg", bytes_field(3, kNoMatch), bytes_field(3, bad_text)},
        {"invalid UTF-8 in an answer entry", in_entry(""), in_entry(bad_text)},
        {"invalid UTF-8 in a map key", in_map_key("reverb"), in_map_key(bad_text)},
        {"length past the end", errmsg_field,
         key(3, WireFormatLite::WIRETYPE_LENGTH_DELIMITED) + varint(40) + "short"},
        {"cut inside a varint", varint_field(1, 6003), varint_field(1, 6003).substr(0, 2)},
        {"cut inside a nested message", nested, nested.substr(0, nested.size() - 1)},
    };
    for (const Case& c : cases) {
        zudata::ZuRespond respond;
        EXPECT_TRUE(parse(c.sound, respond)) << c.what;
        EXPECT_FALSE(parse(c.broken, respond)) << c.what;
    }
}

TEST(ZuRespondParsing, ReplyWithRemainingMessagesParses)
{
    const std::string member = bytes_field(1, "u-7") + bytes_field(2, kSinger) + bytes_field(4, "t-1");
    const std::string teams =
        bytes_field(400, bytes_field(1, "t-1") + bytes_field(2, "choir") + bytes_field(6, member)) +
        bytes_field(400, bytes_field(1, "t-2"));
    auto conf_entry = [](const std::string& k, const std::string& v) {
        return bytes_field(1, bytes_field(1, k) + bytes_field(2, v));
    };
    const std::string scene =
        bytes_field(500, bytes_field(1, "s-1") + bytes_field(3, "stage") +
                             bytes_field(5, conf_entry("reverb", "hall") + conf_entry("gain", "3") +
                                                conf_entry("reverb", "plate")));
    const std::string versions =
        bytes_field(301, bytes_field(1, "1.1.2") + varint_field(4, 3) + varint_field(6, 1)) +
        bytes_field(301, bytes_field(1, "1.2.0") + varint_field(4, 42));
    const std::string body = varint_field(1, 5000) + varint_field(2, 1) + teams + scene + versions +
                             bytes_field(600, bytes_field(1, kSongName));

    zudata::ZuRespond respond;
    ASSERT_TRUE(parse(body, respond));

    EXPECT_EQ(respond.cmd(), zudata::CMD_TEAM_LIST);
    EXPECT_EQ(respond.err(), zudata::ERROR_OK);
    EXPECT_EQ(respond.emusic_resp().music_name(), kSongName);

    ASSERT_EQ(respond.teams_size(), 2);
    EXPECT_EQ(respond.teams(0).teamname(), "choir");
    ASSERT_EQ(respond.teams(0).teammembers_size(), 1);
    EXPECT_EQ(respond.teams(0).teammembers(0).username(), kSinger);
    EXPECT_EQ(respond.teams(1).teamid(), "t-2");
    EXPECT_FALSE(respond.has_team());

    EXPECT_EQ(respond.scene().name(), "stage");
    const auto& conf = respond.scene().sc_conf().conf();
    EXPECT_EQ(conf.size(), 2u);
    EXPECT_EQ(conf.at("reverb"), "plate");
    EXPECT_EQ(conf.at("gain"), "3");
    EXPECT_EQ(respond.scenes_size(), 0);

    ASSERT_EQ(respond.softversionlist_size(), 2);
    EXPECT_EQ(respond.softversionlist(0).versionnum(), "1.1.2");
    EXPECT_EQ(respond.softversionlist(0).versionmust(), zudata::VERSION_MUST);
    EXPECT_TRUE(respond.softversionlist(0).versiondefault());
    EXPECT_EQ(respond.softversionlist(1).versionmust(), 42);
    EXPECT_FALSE(respond.has_softversion());
}

TEST(ZuRequestEncoding, LookupWithoutSingerCarriesOnlyCommandAndSong)
{
    zudata::ZuMusicKeynote song;
    song.set_music_name(kSongName);
    song.set_music_author("");
    song.set_music_process("KuGou.exe");
    zudata::ZuRequest request;
    request.set_cmd(zudata::CMD_EM_GET);
    request.mutable_emusic()->CopyFrom(song);

    std::string wire;
    ASSERT_TRUE(request.SerializeToString(&wire));

    // 08 F3 2E: field 1, varint 6003. C2 25 13: field 600, 19 bytes. 1A 06: field 3, the song name.
    // 32 09: field 6, the executable name. No 22 (field 4) anywhere.
    const std::string expected = std::string("\x08\xF3\x2E"
                                             "\xC2\x25\x13"
                                             "\x1A\x06",
                                             8) +
                                 kSongName + "\x32\x09" + "KuGou.exe";
    EXPECT_EQ(wire, expected);
}

TEST(ZuRequestEncoding, LookupWithSingerWritesSongFieldsInNumberOrder)
{
    zudata::ZuRequest request;
    request.set_cmd(zudata::CMD_EM_GET);
    zudata::ZuMusicKeynote* song = request.mutable_emusic();
    song->set_music_process("QQMusic.exe");
    song->set_music_author(kSinger);
    song->set_music_name(kSongName);

    std::string wire;
    ASSERT_TRUE(request.SerializeToString(&wire));
    const std::string header = varint_field(1, 6003);
    ASSERT_EQ(wire.compare(0, header.size(), header), 0);

    const auto envelope = length_delimited_fields(wire.substr(header.size()));
    ASSERT_EQ(envelope.size(), 1u);
    EXPECT_EQ(envelope[0].first, 600);
    const std::vector<std::pair<int, std::string>> expected = {
        {3, kSongName}, {4, kSinger}, {6, "QQMusic.exe"}};
    EXPECT_EQ(length_delimited_fields(envelope[0].second), expected);
}
