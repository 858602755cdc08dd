#include "XvfbServer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

namespace {

// Xvfb writes the display number to the descriptor once it listens.
std::string read_display_number(int descriptor)
{
    std::string number;
    char byte = 0;
    pollfd ready{descriptor, POLLIN, 0};
    while (poll(&ready, 1, 10000) == 1 && read(descriptor, &byte, 1) == 1 && byte != '\n') {
        number += byte;
    }
    if (number.empty() || byte != '\n') {
        throw std::runtime_error("Xvfb did not start");
    }
    return number;
}

} // namespace

XvfbServer::XvfbServer(std::vector<std::string> arguments)
    : arguments(std::move(arguments))
{
}

void XvfbServer::start(const std::string& display_name_wanted)
{
    int ready_pipe[2];
    if (pipe2(ready_pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("no pipe");
    }
    SpawnedProcess::Options options;
    options.path = "/usr/bin/Xvfb";
    options.arguments = {"Xvfb"};
    if (!display_name_wanted.empty()) {
        options.arguments.push_back(display_name_wanted);
    }
    options.arguments.insert(options.arguments.end(), {"-displayfd", "3", "-nolisten", "tcp", "-screen", "0",
                                                       "1280x1024x24", "-noreset"});
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.descriptor_3 = ready_pipe[1];
    std::unique_ptr<SpawnedProcess> started;
    try {
        started = std::make_unique<SpawnedProcess>(options);
    } catch (...) {
        close(ready_pipe[0]);
        close(ready_pipe[1]);
        throw;
    }
    // Only the server may hold the writing end, or a server that dies early would go unnoticed.
    close(ready_pipe[1]);
    try {
        display_name = ":" + read_display_number(ready_pipe[0]);
    } catch (...) {
        close(ready_pipe[0]);
        throw;
    }
    close(ready_pipe[0]);
    server = std::move(started);
}

void XvfbServer::stop()
{
    server.reset();
}
