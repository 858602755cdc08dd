#pragma once

#include "RequestLog.h"

#include <chrono>
#include <cstddef>
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
    // Answers every request with an empty ZuRespond, to measure what the lookups themselves cost.
    bool empty_answers = false;
    RequestLog::Sink log;
};
