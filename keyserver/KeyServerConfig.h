#pragma once

#include "RequestLog.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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
    // Signs the session cookies; services that share it take each other's cookies. Empty, a
    // random one for this server alone.
    std::string session_secret;
    // Handshake, headers and body of one request together; a client that trickles bytes cannot
    // stretch it.
    std::chrono::milliseconds request_deadline{10000};
    // How long a keep-alive connection may wait for its next request.
    std::chrono::milliseconds idle_timeout{15000};
    std::size_t max_connections = 4096;
    std::size_t max_connections_per_address = 32;
    // Address ranges of proxies of ours whose "X-Forwarded-For" names the client.
    std::vector<std::string> trusted_proxies;
    // Request log lines waiting for the writer; more are dropped and counted.
    std::size_t log_queue = 4096;
    // Serving threads; 0 for one per processor.
    unsigned threads = 0;
    // Answers every request with an empty ZuRespond, to measure what the lookups themselves cost.
    bool empty_answers = false;
    RequestLog::Sink log;
};
