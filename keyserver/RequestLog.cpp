#include "RequestLog.h"

#include <cstdio>
#include <ctime>
#include <iomanip>
#include <sstream>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

struct Trace
{
    bool started = false;
    Clock::time_point start;
    int cmd = -1;
    int err = -1;
};

thread_local Trace trace;

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

RequestLog::RequestLog(Sink sink)
    : sink(std::move(sink))
{
}

void RequestLog::begin()
{
    trace = Trace{true, Clock::now(), -1, -1};
}

void RequestLog::note(int cmd, int err)
{
    trace.cmd = cmd;
    trace.err = err;
}

void RequestLog::finish(const std::string& path, int status)
{
    const double latency_ms =
        trace.started ? std::chrono::duration<double, std::milli>(Clock::now() - trace.start).count() : 0.0;
    std::ostringstream line;
    line << utc_now() << ' ' << printable(path) << " cmd=" << number_or_dash(trace.cmd)
         << " status=" << status << " err=" << number_or_dash(trace.err) << " latency_ms=" << std::fixed
         << std::setprecision(3) << latency_ms;
    trace = Trace{};
    write(line.str());
}

void RequestLog::write(const std::string& line)
{
    std::lock_guard<std::mutex> lock(output_mutex);
    if (sink) {
        sink(line);
        return;
    }
    std::fputs((line + '\n').c_str(), stdout);
    std::fflush(stdout);
}
