#include "WineHelper.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <ios>
#include <ostream>
#include <sstream>
#include <stdexcept>

namespace {

std::string make_folder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrune-wine-helper-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for the helper");
    }
    return pattern;
}

ChildProcess::Options helper_options(const std::string& arch, const std::string& helper_exe,
                                     const std::string& folder, const std::string& exe_name)
{
    const std::string copy = folder + "/" + exe_name;
    std::filesystem::copy_file(helper_exe, copy);
    ChildProcess::Options options;
    options.path = KESTRUNE_SOURCE_DIR "/scripts/wine-windows";
    // Wine maps the host's root to drive Z:.
    options.arguments = {options.path, "--arch", arch, copy, "Z:" + folder + "/record.txt", "-"};
    options.working_directory = folder;
    options.piped = true;
    return options;
}

} // namespace

bool WineHelper::Message::operator==(const Message& other) const
{
    return window == other.window && message == other.message && first == other.first &&
           second == other.second;
}

std::ostream& operator<<(std::ostream& out, const WineHelper::Message& message)
{
    return out << std::hex << "{window 0x" << message.window << ", message 0x" << message.message << ", 0x"
               << message.first << ", 0x" << message.second << "}" << std::dec;
}

WineHelper::WineHelper(const std::string& arch, const std::string& helper_exe, const std::string& exe_name)
    : folder(make_folder())
    , process(helper_options(arch, helper_exe, folder, exe_name))
{
    // A helper that died must fail the test with a message, not end it by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    if (read_line() != "ready") {
        throw std::runtime_error("the helper " + exe_name + " did not start under Wine");
    }
}

WineHelper::~WineHelper()
{
    process.wait_for_exit();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

WineHelper::Window WineHelper::make_top_level(const std::string& class_name, const std::string& title,
                                              Window owner)
{
    std::ostringstream request;
    request << "top\t" << class_name << "\t" << title << "\t" << std::hex << owner;
    return ask(request.str());
}

WineHelper::Window WineHelper::make_child(Window parent, const std::string& class_name)
{
    std::ostringstream request;
    request << "child\t" << class_name << "\t\t" << std::hex << parent;
    return ask(request.str());
}

void WineHelper::set_title(Window window, const std::string& title)
{
    std::ostringstream request;
    request << "title\t" << std::hex << window << "\t" << title;
    ask(request.str());
}

std::vector<WineHelper::Message> WineHelper::messages() const
{
    std::vector<Message> messages;
    std::ifstream record(folder + "/record.txt");
    Message message{};
    while (record >> std::hex >> message.window >> message.message >> message.first >> message.second) {
        messages.push_back(message);
    }
    return messages;
}

WineHelper::Window WineHelper::ask(const std::string& request)
{
    const std::string sent = request + "\n";
    if (write(process.input(), sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) {
        throw std::runtime_error("the helper is gone");
    }
    const Window window = std::stoull(read_line(), nullptr, 16);
    if (window == 0) {
        throw std::runtime_error("the helper could not do: " + request);
    }
    return window;
}

std::string WineHelper::read_line()
{
    for (std::size_t end = pending.find('\n'); end == std::string::npos; end = pending.find('\n')) {
        pollfd ready{process.output(), POLLIN, 0};
        char buffer[4096];
        // Starting Wine in a prefix that is in use takes a few seconds on a busy machine.
        const ssize_t got = poll(&ready, 1, 60000) == 1 ? read(process.output(), buffer, sizeof buffer) : -1;
        if (got <= 0) {
            throw std::runtime_error("the helper does not answer");
        }
        pending.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t end = pending.find('\n');
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    // Wine's console ends lines with CR LF.
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}
