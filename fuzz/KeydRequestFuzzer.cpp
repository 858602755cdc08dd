// The key service's handling of one request body, against the demo catalogue, and the way back:
// the answer packed as the server sends it and decoded as the assistant decodes it.
//
// Input: the request body. A body that reads as a ZuRequest in protobuf text form is sent
// serialised, so that seeds stay readable.

#include "Catalogue.h"
#include "CatalogueImporter.h"
#include "EmKeynoteRule.h"
#include "FuzzSupport.h"
#include "KeyCommandHandler.h"
#include "KeyServer.h"
#include "ZlibCompressor.h"
#include "ZuHttpClient.h"

#include <google/protobuf/stubs/logging.h>
#include <google/protobuf/text_format.h>

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <set>
#include <string>

namespace {

std::unique_ptr<Catalogue> catalogue;

void ignore_log(google::protobuf::LogLevel, const char*, int, const std::string&) {}

QString describe(const zudata::ZuRespond& respond)
{
    std::string text;
    google::protobuf::TextFormat::PrintToString(respond, &text);
    return QString::fromStdString(text);
}

void check_lookup(const zudata::ZuRequest& request, const zudata::ZuRespond& respond)
{
    const zudata::ZuMusicKeynoteSearchResp& found = respond.emusic_resp();
    if (respond.err() != zudata::ERROR_OK || found.music_name() != request.emusic().music_name() ||
        found.emusics_size() > KeyCommandHandler::most_songs ||
        found.emusic_count() != found.emusics_size()) {
        fuzz::fail("a lookup answers with at most ten songs, counted, under the name asked for",
                   describe(respond));
    }
    static const EmKeynoteRule rule;
    std::set<std::int64_t> ids;
    for (const zudata::ZuMusicKeynote& song : found.emusics()) {
        if (!rule.understands(QString::fromStdString(song.music_keynote())) ||
            song.music_process() != request.emusic().music_process() || !ids.insert(song.id()).second) {
            fuzz::fail("every song found is a different one, with a key the plugin can be set to",
                       describe(respond));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    google::protobuf::SetLogHandler(ignore_log);
    catalogue = std::make_unique<Catalogue>(":memory:");
    QFile demo(QStringLiteral(KESTRUNE_DEMO_CATALOGUE));
    if (!demo.open(QIODevice::ReadOnly)) {
        fuzz::fail("the demo catalogue can be read", demo.fileName());
    }
    const ImportReport report = CatalogueImporter(*catalogue).import(demo.readAll().toStdString());
    if (report.imported == 0 || !report.problems.empty()) {
        fuzz::fail("the demo catalogue imports whole");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string body = fuzz::bytes_of(data, size);
    zudata::ZuRequest written;
    if (google::protobuf::TextFormat::ParseFromString(body, &written)) {
        body = written.SerializeAsString();
    }
    zudata::ZuRequest request;
    const bool well_formed = request.ParseFromString(body);

    KeyCommandHandler handler(*catalogue, false);
    const std::size_t reports_before = catalogue->report_count();
    KeyAnswer answer;
    try {
        answer = handler.handle(body);
    } catch (const std::exception& e) {
        fuzz::fail("a request is answered without an exception", QString::fromUtf8(e.what()));
    }

    const zudata::ZuRespond& respond = answer.respond;
    if (answer.status != (well_formed ? 200 : 400) ||
        (respond.err() != zudata::ERROR_OK && respond.err() != zudata::ERROR_FAILED) ||
        (respond.err() == zudata::ERROR_FAILED && respond.errmsg().empty())) {
        fuzz::fail("a request is answered with 200, or 400 when it is malformed, and a failure says why",
                   QString::number(answer.status) + " " + describe(respond));
    }
    if (well_formed && request.cmd() == zudata::CMD_EM_GET) {
        check_lookup(request, respond);
    }
    const std::size_t reports_expected =
        reports_before + (well_formed && request.cmd() == zudata::CMD_EM_REPORT_ERROR ? 1 : 0);
    if (catalogue->report_count() != reports_expected) {
        fuzz::fail("a report of a wrong key is kept once");
    }

    // The way back, packed as the server packs large answers.
    const std::string sent = respond.SerializeAsString();
    const bool packed = sent.size() > KeyServer::largest_plain_answer;
    const std::string on_the_wire = packed ? ZlibCompressor::compress(sent) : sent;
    zudata::ZuRespond read;
    if (!ZuHttpClient::decode_reply(packed ? "zlib" : "",
                                    QByteArray::number(static_cast<qulonglong>(sent.size())),
                                    QByteArray::fromStdString(on_the_wire), answer.status, read) ||
        read.SerializeAsString() != sent) {
        fuzz::fail("the assistant reads every answer the service gives", describe(respond));
    }
    return 0;
}
