// The service client's reply path without a network: headers and body of a finished reply
// through decode_reply, which inflates and parses them as the client does.
//
// Input: four lines and the body. Line 1 is the "Content-Encoding" header, line 2 the
// "Content-unzipLength" header or "=" for the true length of the body that line 4 packs, line 3
// the HTTP status (200 when it is not a number), line 4 "pack" to have the body zlib-packed
// first, as the service packs large answers. A body that reads as a ZuRespond in protobuf text
// form is sent serialised, so that seeds stay readable.

#include "FuzzSupport.h"
#include "ZuHttpClient.h"
#include "zudata.pb.h"

#include <google/protobuf/stubs/logging.h>
#include <google/protobuf/text_format.h>
#include <zlib.h>

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::vector<std::string> split_head(const std::string& input, std::size_t lines, std::string& rest)
{
    std::vector<std::string> head;
    std::size_t start = 0;
    while (head.size() < lines) {
        const std::size_t end = input.find('\n', start);
        if (end == std::string::npos) {
            head.push_back(input.substr(std::min(start, input.size())));
            start = input.size();
            continue;
        }
        head.push_back(input.substr(start, end - start));
        start = end + 1;
    }
    rest = input.substr(std::min(start, input.size()));
    return head;
}

std::string zlib_packed(const std::string& plain)
{
    uLongf length = compressBound(static_cast<uLong>(plain.size()));
    std::string packed(length, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &length,
                  reinterpret_cast<const Bytef*>(plain.data()), static_cast<uLong>(plain.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK) {
        fuzz::fail("zlib packs any body");
    }
    packed.resize(length);
    return packed;
}

QByteArray bytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<int>(text.size()));
}

void ignore_log(google::protobuf::LogLevel, const char*, int, const std::string&) {}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Parsing a body with broken UTF-8 logs a line each time.
    google::protobuf::SetLogHandler(ignore_log);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string plain;
    const std::vector<std::string> head = split_head(fuzz::bytes_of(data, size), 4, plain);
    const std::string& encoding = head[0];
    bool status_ok = false;
    int status = QByteArray::fromStdString(head[2]).toInt(&status_ok);
    if (!status_ok) {
        status = 200;
    }
    const bool pack = head[3] == "pack";

    zudata::ZuRespond written;
    if (google::protobuf::TextFormat::ParseFromString(plain, &written)) {
        plain = written.SerializeAsString();
    }
    const std::string body = pack ? zlib_packed(plain) : plain;
    const std::string unzip_length = head[1] == "=" ? std::to_string(plain.size()) : head[1];

    zudata::ZuRespond decoded;
    const bool answered =
        ZuHttpClient::decode_reply(bytes(encoding), bytes(unzip_length), bytes(body), status, decoded);
    // Only a success, or a refusal that says why, is the service's answer.
    const bool may_answer =
        (status >= 200 && status <= 299) || (status >= 400 && status <= 599 && !plain.empty());
    if (answered && !may_answer) {
        fuzz::fail("a redirect, or an error status without a body, is answered as a network failure",
                   QString::number(status));
    }

    // A packed body whose true length is announced, within the limit, reads as the body itself.
    bool announced_ok = false;
    const unsigned long long announced = QByteArray::fromStdString(unzip_length).toULongLong(&announced_ok);
    if (pack && encoding == "zlib" && announced_ok && announced >= plain.size() &&
        announced <= ZuHttpClient::max_unzip_length) {
        zudata::ZuRespond direct;
        const bool direct_ok = direct.ParseFromString(plain) && may_answer;
        if (answered != direct_ok) {
            fuzz::fail("a packed reply is answered as its unpacked body would be",
                       QStringLiteral("packed: %1, unpacked: %2").arg(answered).arg(direct_ok));
        }
        if (answered && decoded.SerializeAsString() != direct.SerializeAsString()) {
            fuzz::fail("a packed reply decodes to the answer it holds");
        }
    }
    return 0;
}
