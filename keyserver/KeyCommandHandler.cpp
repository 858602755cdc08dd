#include "KeyCommandHandler.h"

#include "TextNormaliser.h"

namespace {

const char* const malformed_text = "请求格式错误";
const char* const unsupported_text = "不支持的请求";
const char* const denied_text = "没有权限";
const char* const empty_name_text = "歌名不能为空";
const char* const unprintable_text = "歌名、歌手或调号含有无效字符";
const char* const too_long_text = "歌名或歌手过长";
const char* const unreadable_keynote_text = "无法识别的调号：";
const char* const not_waiting_text = "待收录列表中没有这首歌";

void add_song(zudata::ZuMusicKeynoteSearchResp* list, std::int64_t id, const std::string& name,
              const std::string& singer, const std::string& keynote, const std::string& process)
{
    zudata::ZuMusicKeynote* entry = list->add_emusics();
    entry->set_id(id);
    entry->set_music_name(name);
    entry->set_music_author(singer);
    entry->set_music_keynote(keynote);
    entry->set_music_process(process);
}

} // namespace

KeyCommandHandler::KeyCommandHandler(CatalogueStore& catalogue, bool empty_answers,
                                     std::int64_t promote_after)
    : catalogue(catalogue)
    , empty_answers(empty_answers)
    , promote_after(promote_after)
{
}

KeyAnswer KeyCommandHandler::handle(const std::string& body, const KeyCaller& caller)
{
    if (empty_answers) {
        return {};
    }
    zudata::ZuRequest request;
    if (!request.ParseFromString(body)) {
        return failure(400, zudata::CMD_UNKNOW, malformed_text);
    }
    switch (request.cmd()) {
    case zudata::CMD_EM_GET:
        return lookup(request);
    case zudata::CMD_EM_REPORT_ERROR:
        return report(request);
    case zudata::CMD_EM_ADD:
        return propose(request, caller);
    case zudata::CMD_EM_WAIT_INCLUDE_GET:
        return list_waiting(request);
    case zudata::CMD_EM_UPLOAD:
    case zudata::CMD_EM_DEL_WAIT_INCLUDE:
        if (!caller.curator) {
            return failure(403, request.cmd(), denied_text, zudata::PERMISSION_DENIED);
        }
        return request.cmd() == zudata::CMD_EM_UPLOAD ? upload(request) : drop_waiting(request);
    default:
        return failure(200, request.cmd(), unsupported_text);
    }
}

KeyAnswer KeyCommandHandler::failure(int status, int cmd, const std::string& message,
                                     zudata::MessageError err)
{
    KeyAnswer answer;
    answer.status = status;
    answer.respond.set_cmd(static_cast<zudata::MessageType>(cmd));
    answer.respond.set_err(err);
    answer.respond.set_errmsg(message);
    return answer;
}

KeyAnswer KeyCommandHandler::success(const zudata::ZuRequest& request)
{
    KeyAnswer answer;
    answer.respond.set_cmd(request.cmd());
    answer.respond.set_err(zudata::ERROR_OK);
    return answer;
}

KeyAnswer KeyCommandHandler::lookup(const zudata::ZuRequest& request)
{
    const zudata::ZuMusicKeynote& asked = request.emusic();
    KeyAnswer answer = success(request);
    zudata::ZuMusicKeynoteSearchResp* found = answer.respond.mutable_emusic_resp();
    found->set_music_name(asked.music_name());
    found->set_music_process(asked.music_process());
    for (const CatalogueSong& song : catalogue.find(asked.music_name(), asked.music_author(), most_songs)) {
        add_song(found, song.id, song.name, song.singer, song.keynote, asked.music_process());
    }
    found->set_emusic_count(found->emusics_size());
    if (found->emusics_size() == 0) {
        const std::string name = SongRules::trimmed(asked.music_name());
        const std::string singer = SongRules::trimmed(asked.music_author());
        if (!TextNormaliser::normalise(name).empty() && name.size() <= longest_wanted_field &&
            singer.size() <= longest_wanted_field && SongRules::printable(name) &&
            SongRules::printable(singer)) {
            catalogue.note_miss(name, singer);
        }
    }
    return answer;
}

KeyAnswer KeyCommandHandler::report(const zudata::ZuRequest& request)
{
    const zudata::ZuMusicKeynote& seen = request.emusic();
    catalogue.add_report(seen.music_name(), seen.music_author(), seen.music_keynote(), seen.music_process());
    return success(request);
}

bool KeyCommandHandler::checked_song(const zudata::ZuRequest& request, CatalogueSong& song,
                                     KeyAnswer& refusal)
{
    song = {0, request.emusic().music_name(), request.emusic().music_author(),
            request.emusic().music_keynote()};
    switch (rules.check(song)) {
    case SongRules::Problem::none:
        if (song.name.size() <= longest_wanted_field && song.singer.size() <= longest_wanted_field) {
            return true;
        }
        refusal = failure(200, request.cmd(), too_long_text);
        return false;
    case SongRules::Problem::invalid_utf8:
    case SongRules::Problem::control_character:
        refusal = failure(200, request.cmd(), unprintable_text);
        return false;
    case SongRules::Problem::empty_name:
        refusal = failure(200, request.cmd(), empty_name_text);
        return false;
    case SongRules::Problem::unreadable_keynote:
        refusal = failure(200, request.cmd(), unreadable_keynote_text + song.keynote);
        return false;
    }
    return false;
}

KeyAnswer KeyCommandHandler::propose(const zudata::ZuRequest& request, const KeyCaller& caller)
{
    CatalogueSong song;
    KeyAnswer answer;
    if (!checked_song(request, song, answer)) {
        return answer;
    }
    const ProposalOutcome outcome =
        catalogue.propose(song, request.emusic().music_process(), caller.session, promote_after);
    answer = success(request);
    zudata::ZuMusicKeynoteSearchResp* echo = answer.respond.mutable_emusic_resp();
    echo->set_music_name(song.name);
    echo->set_music_process(request.emusic().music_process());
    add_song(echo, outcome.song_id, song.name, song.singer, song.keynote, request.emusic().music_process());
    echo->mutable_emusics(0)->set_music_index(std::to_string(outcome.agreeing));
    echo->set_emusic_count(1);
    return answer;
}

KeyAnswer KeyCommandHandler::list_waiting(const zudata::ZuRequest& request)
{
    KeyAnswer answer = success(request);
    zudata::ZuMusicKeynoteSearchResp* list = answer.respond.mutable_emusic_resp();
    for (const WaitingSong& song : catalogue.waiting(most_waiting)) {
        add_song(list, song.id, song.name, song.singer, song.keynote, {});
        list->mutable_emusics(list->emusics_size() - 1)->set_music_index(std::to_string(song.asked()));
    }
    list->set_emusic_count(list->emusics_size());
    return answer;
}

KeyAnswer KeyCommandHandler::upload(const zudata::ZuRequest& request)
{
    CatalogueSong song;
    KeyAnswer answer;
    if (!checked_song(request, song, answer)) {
        return answer;
    }
    song.id = catalogue.upload(song);
    answer = success(request);
    zudata::ZuMusicKeynoteSearchResp* stored = answer.respond.mutable_emusic_resp();
    stored->set_music_name(song.name);
    add_song(stored, song.id, song.name, song.singer, song.keynote, {});
    stored->set_emusic_count(1);
    return answer;
}

KeyAnswer KeyCommandHandler::drop_waiting(const zudata::ZuRequest& request)
{
    const zudata::ZuMusicKeynote& named = request.emusic();
    const std::int64_t id =
        named.id() > 0 ? named.id() : catalogue.waiting_id(named.music_name(), named.music_author());
    if (id <= 0 || !catalogue.forget_waiting(id)) {
        return failure(200, request.cmd(), not_waiting_text);
    }
    return success(request);
}
