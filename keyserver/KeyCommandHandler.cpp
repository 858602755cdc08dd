#include "KeyCommandHandler.h"

namespace {

const char* const malformed_text = "请求格式错误";
const char* const unsupported_text = "不支持的请求";

} // namespace

KeyCommandHandler::KeyCommandHandler(Catalogue& catalogue, bool empty_answers)
    : catalogue(catalogue)
    , empty_answers(empty_answers)
{
}

KeyAnswer KeyCommandHandler::handle(const std::string& body)
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
        return {200, lookup(request)};
    case zudata::CMD_EM_REPORT_ERROR:
        return {200, report(request)};
    default:
        return failure(200, request.cmd(), unsupported_text);
    }
}

KeyAnswer KeyCommandHandler::failure(int status, int cmd, const std::string& message)
{
    KeyAnswer answer;
    answer.status = status;
    answer.respond.set_cmd(static_cast<zudata::MessageType>(cmd));
    answer.respond.set_err(zudata::ERROR_FAILED);
    answer.respond.set_errmsg(message);
    return answer;
}

zudata::ZuRespond KeyCommandHandler::lookup(const zudata::ZuRequest& request)
{
    const zudata::ZuMusicKeynote& asked = request.emusic();
    zudata::ZuRespond respond;
    respond.set_cmd(request.cmd());
    respond.set_err(zudata::ERROR_OK);
    zudata::ZuMusicKeynoteSearchResp* found = respond.mutable_emusic_resp();
    found->set_music_name(asked.music_name());
    found->set_music_process(asked.music_process());
    for (const CatalogueSong& song : catalogue.find(asked.music_name(), asked.music_author(), most_songs)) {
        zudata::ZuMusicKeynote* entry = found->add_emusics();
        entry->set_id(song.id);
        entry->set_music_name(song.name);
        entry->set_music_author(song.singer);
        entry->set_music_keynote(song.keynote);
        entry->set_music_process(asked.music_process());
    }
    found->set_emusic_count(found->emusics_size());
    return respond;
}

zudata::ZuRespond KeyCommandHandler::report(const zudata::ZuRequest& request)
{
    const zudata::ZuMusicKeynote& seen = request.emusic();
    catalogue.add_report(seen.music_name(), seen.music_author(), seen.music_keynote(), seen.music_process());
    zudata::ZuRespond respond;
    respond.set_cmd(request.cmd());
    respond.set_err(zudata::ERROR_OK);
    return respond;
}
