#include "RoadKeyService.h"

#include "zudata.pb.h"

#include <gtest/gtest.h>

namespace road {

const Song first_song{"雾中灯塔", "岑小舟", {"F# Minor", "A Minor"}};
const Song second_song{"慢车去海边", "林栖与回声", {"Bb Major", "D Major"}};

// The service's side of a lookup: every key it knows for the song asked about.
std::string answer(const std::string& body)
{
    zudata::ZuRequest request;
    zudata::ZuRespond respond;
    if (!request.ParseFromString(body) || request.cmd() != zudata::CMD_EM_GET) {
        respond.set_err(zudata::ERROR_FAILED);
        respond.set_errmsg("not a key lookup");
        return respond.SerializeAsString();
    }
    respond.set_cmd(zudata::CMD_EM_GET);
    respond.set_err(zudata::ERROR_OK);
    const zudata::ZuMusicKeynote& asked = request.emusic();
    zudata::ZuMusicKeynoteSearchResp* result = respond.mutable_emusic_resp();
    result->set_music_name(asked.music_name());
    result->set_music_process(asked.music_process());
    for (const Song& song : {first_song, second_song}) {
        if (song.name != asked.music_name()) {
            continue;
        }
        for (const std::string& key : song.keys) {
            zudata::ZuMusicKeynote* record = result->add_emusics();
            record->set_id(result->emusics_size());
            record->set_music_name(song.name);
            record->set_music_author(song.singer);
            record->set_music_keynote(key);
            record->set_music_process(asked.music_process());
        }
    }
    result->set_emusic_count(result->emusics_size());
    return respond.SerializeAsString();
}

void expect_lookup(const HttpsPeer::Request& request, const Song& song, const std::string& player_exe)
{
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/v1/emusic");
    zudata::ZuRequest lookup;
    ASSERT_TRUE(lookup.ParseFromString(request.body));
    EXPECT_EQ(lookup.cmd(), zudata::CMD_EM_GET);
    EXPECT_EQ(lookup.emusic().music_name(), song.name);
    EXPECT_EQ(lookup.emusic().music_author(), song.singer);
    EXPECT_EQ(lookup.emusic().music_process(), player_exe);
}

} // namespace road
