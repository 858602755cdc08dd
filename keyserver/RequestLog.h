#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>

// One line per request, written when its answer has gone out:
//   2024-05-01T12:00:00.123Z /api/v1/emusic cmd=6003 status=200 err=1 latency_ms=0.412
// The HTTP layer answers some requests without our handlers (too large, unknown path), so what a
// handler learns about its request is kept per thread until the line is written; the HTTP
// layer handles one request per thread at a time.
class RequestLog
{
public:
    using Sink = std::function<void(const std::string& line)>;

    // Lines go to the sink, one call at a time, or to standard output when it is empty.
    explicit RequestLog(Sink sink);

    void begin();
    void note(int cmd, int err);
    void finish(const std::string& path, int status);

private:
    void write(const std::string& line);

    Sink sink;
    std::mutex output_mutex;
};
