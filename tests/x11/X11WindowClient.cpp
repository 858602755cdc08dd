#include "X11WindowClient.h"

#include "HexText.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

namespace {

ChildProcess::Options client_options(const std::string& argv0, const std::string& display)
{
    ChildProcess::Options options;
    options.path = KESTRUNE_X11_WINDOW_CLIENT;
    options.arguments = {argv0};
    options.environment = {"DISPLAY=" + display};
    options.piped = true;
    return options;
}

} // namespace

X11WindowClient::X11WindowClient(const std::string& argv0, const std::string& display)
    : process(client_options(argv0, display))
{
    // A client that died must fail the test with a message, not end it by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    // Until it says so, its command line may not be set up yet.
    if (read_line() != "ok") {
        throw std::runtime_error("the window client did not start");
    }
}

X11WindowClient::~X11WindowClient()
{
    try {
        command("quit");
    } catch (const std::exception&) {
        // Already gone: its windows went with it.
    }
    process.wait_for_exit();
}

std::uint32_t X11WindowClient::pid() const
{
    return static_cast<std::uint32_t>(process.pid());
}

X11WindowClient::WindowId X11WindowClient::make_top_level(const std::string& class_name,
                                                          const std::string& title, WindowId owner)
{
    return std::stoul(
        command("top " + to_hex(class_name) + " " + to_hex(title) + " " + std::to_string(owner)));
}

X11WindowClient::WindowId X11WindowClient::make_child(WindowId parent, const std::string& class_name)
{
    return std::stoul(command("child " + std::to_string(parent) + " " + to_hex(class_name)));
}

void X11WindowClient::set_title(WindowId window, const std::string& title)
{
    command("title " + std::to_string(window) + " " + to_hex(title));
}

void X11WindowClient::hide(WindowId window)
{
    command("hide " + std::to_string(window));
}

void X11WindowClient::destroy(WindowId window)
{
    command("destroy " + std::to_string(window));
}

void X11WindowClient::churn(const std::string& class_name)
{
    command("churn " + to_hex(class_name));
}

std::vector<X11WindowClient::Event> X11WindowClient::take_events()
{
    command("sync");
    return std::exchange(events, {});
}

std::string X11WindowClient::command(const std::string& line)
{
    const std::string sent = line + "\n";
    if (write(process.input(), sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) {
        throw std::runtime_error("the window client is gone");
    }
    for (;;) {
        const std::string answer = read_line();
        if (answer.rfind("event ", 0) == 0) {
            const std::size_t window_end = answer.find(' ', 6);
            events.push_back({static_cast<WindowId>(std::stoul(answer.substr(6, window_end - 6))),
                              answer.substr(window_end + 1)});
        } else if (answer == "ok" || answer.rfind("ok ", 0) == 0) {
            return answer.size() > 3 ? answer.substr(3) : std::string();
        } else {
            throw std::runtime_error("window client: " + answer);
        }
    }
}

std::string X11WindowClient::read_line()
{
    for (std::size_t end = pending.find('\n'); end == std::string::npos; end = pending.find('\n')) {
        pollfd ready{process.output(), POLLIN, 0};
        char buffer[4096];
        const ssize_t got = poll(&ready, 1, 10000) == 1 ? read(process.output(), buffer, sizeof buffer) : -1;
        if (got <= 0) {
            throw std::runtime_error("the window client does not answer");
        }
        pending.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t end = pending.find('\n');
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    return line;
}
