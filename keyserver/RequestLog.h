#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// One line per request, written when its answer has gone out:
//   2024-05-01T12:00:00.123Z /api/v1/emusic cmd=6003 status=200 err=1 latency_ms=0.412
// Serving threads only queue the line; a writer thread of its own writes it, so that a standard
// output nobody reads stalls the log, never a request. When the queue is full, lines are dropped
// and counted, and the count is written as a line of its own once the writer has caught up.
// record() may be called from any thread; the destructor writes what is queued and stops.
class RequestLog
{
public:
    using Sink = std::function<void(const std::string& line)>;

    // Lines go to the sink, one call at a time on the writer thread, or to standard output when
    // it is empty.
    RequestLog(Sink sink, std::size_t capacity);
    ~RequestLog();

    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    // `cmd` and `err` below 0 are written as "-", as is an empty path.
    void record(const std::string& path, int cmd, int status, int err, double latency_ms);

private:
    void write_lines();
    void write(const std::string& line);

    const Sink sink;
    const std::size_t capacity;
    std::mutex mutex;
    std::condition_variable queued;
    std::deque<std::string> lines;
    std::size_t dropped = 0;
    bool leaving = false;
    std::thread writer;
};
