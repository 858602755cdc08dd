#pragma once

#include "RequestLog.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

struct KeyServerConfig
{
    std::string address = "127.0.0.1";
    // 0 picks a free port.
    int port = 8443;
    // The API root the assistant is configured with; the paths "/v1/emusic" and "/v1/user" follow it.
    std::string base_path = "/api";
    std::string certificate_path;
    std::string private_key_path;
    std::size_t rate_limit = 20;
    std::chrono::milliseconds rate_window{1000};
    // Proposals from this many sessions that agree on a song's keynote put it into the catalogue.
    std::int64_t promote_after = 3;
    // Sessions sending "Authorization: Bearer <token>" with this token may correct the catalogue;
    // empty, nobody may.
    std::string curator_token;
    // Answers every request with an empty ZuRespond, to measure what the lookups themselves cost.
    bool empty_answers = false;
    RequestLog::Sink log;
};
