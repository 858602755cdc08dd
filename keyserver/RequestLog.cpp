#include "RequestLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <iomanip>
#include <sstream>
#include <utility>

namespace {

std::string utc_now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    std::ostringstream text;
    text << std::put_time(&utc, "%Y-%m-%dT%H:%M:%S") << '.' << std::setfill('0') << std::setw(3) << millis
         << 'Z';
    return text.str();
}

// The path arrives percent-decoded; a decoded line break must not be able to forge a log line.
// A request line that did not parse leaves no path at all.
std::string printable(const std::string& path)
{
    if (path.empty()) {
        return "-";
    }
    std::ostringstream text;
    for (unsigned char c : path) {
        if (c <= 0x20 || c == 0x7F || c == '%') {
            text << '%' << std::uppercase << std::hex << std::setw(2) << std::setfill('0') << int(c)
                 << std::dec;
        } else {
            text << c;
        }
    }
    return text.str();
}

std::string number_or_dash(int value)
{
    return value < 0 ? "-" : std::to_string(value);
}

} // namespace

RequestLog::RequestLog(Sink sink, std::size_t capacity)
    : sink(std::move(sink))
    , capacity(capacity)
    , writer([this] { write_lines(); })
{
}

RequestLog::~RequestLog()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        leaving = true;
    }
    queued.notify_one();
    writer.join();
}

void RequestLog::record(const std::string& path, int cmd, int status, int err, double latency_ms)
{
    std::ostringstream line;
    line << utc_now() << ' ' << printable(path) << " cmd=" << number_or_dash(cmd) << " status=" << status
         << " err=" << number_or_dash(err) << " latency_ms=" << std::fixed << std::setprecision(3)
         << latency_ms;
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (lines.size() >= capacity) {
            ++dropped;
            return;
        }
        lines.push_back(line.str());
    }
    queued.notify_one();
}

void RequestLog::write_lines()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        queued.wait(lock, [this] { return !lines.empty() || dropped > 0 || leaving; });
        if (lines.empty() && dropped == 0) {
            return;
        }
        std::deque<std::string> batch;
        batch.swap(lines);
        const std::size_t lost = std::exchange(dropped, 0);
        lock.unlock();
        for (const std::string& line : batch) {
            write(line);
        }
        if (lost > 0) {
            write(utc_now() + " request log dropped " + std::to_string(lost) + " lines");
        }
        lock.lock();
    }
}

void RequestLog::write(const std::string& line)
{
    if (sink) {
        sink(line);
        return;
    }
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}
