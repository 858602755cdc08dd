#include "XvfbServer.h"

#include "WaitUntil.h"
#include "X11ManagerCheck.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
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
    ChildProcess::Options options;
    options.path = "/usr/bin/Xvfb";
    options.arguments = {"Xvfb"};
    if (!display_name_wanted.empty()) {
        options.arguments.push_back(display_name_wanted);
    }
    options.arguments.insert(options.arguments.end(), {"-displayfd", "3", "-nolisten", "tcp", "-screen", "0",
                                                       "1280x1024x24", "-noreset"});
    options.arguments.insert(options.arguments.end(), arguments.begin(), arguments.end());
    options.descriptor_3 = ready_pipe[1];
    std::unique_ptr<ChildProcess> started;
    try {
        started = std::make_unique<ChildProcess>(options);
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
    if (const char* program = std::getenv("KESTRUNE_TEST_WINDOW_MANAGER"); program && *program) {
        start_window_manager(program);
    }
}

void XvfbServer::stop()
{
    window_manager.reset();
    server.reset();
}

void XvfbServer::start_window_manager(const std::string& program)
{
    ChildProcess::Options options;
    options.path = program;
    options.environment = {"DISPLAY=" + display_name};
    window_manager = std::make_unique<ChildProcess>(options);
    xcb_connection_t* const connection = xcb_connect(display_name.c_str(), nullptr);
    const bool managing = !xcb_connection_has_error(connection) && manages_windows(connection);
    xcb_disconnect(connection);
    if (!managing) {
        throw std::runtime_error(program + " did not take over " + display_name);
    }
}

bool XvfbServer::manages_windows(xcb_connection_t* connection)
{
    using namespace std::chrono_literals;
    if (!wait_until([&] { return x11_manager_runs(connection) || !window_manager->running(); }, 20s) ||
        !window_manager->running()) {
        return false;
    }
    // A manager announces itself before it is done starting, and may pass over a window mapped in
    // that time; a window of our own shows when it has started. It is mapped again every second
    // until the manager has framed it.
    const xcb_screen_t* const screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t probe = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, probe, screen->root, 0, 0, 10, 10, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    bool framed = false;
    for (int attempt = 0; attempt < 20 && !framed; ++attempt) {
        xcb_unmap_window(connection, probe);
        xcb_map_window(connection, probe);
        xcb_flush(connection);
        framed = wait_until(
            [&] {
                xcb_query_tree_reply_t* const tree =
                    xcb_query_tree_reply(connection, xcb_query_tree(connection, probe), nullptr);
                const bool inside_frame = tree && tree->parent != screen->root;
                std::free(tree);
                return inside_frame;
            },
            1s);
    }
    xcb_destroy_window(connection, probe);
    xcb_flush(connection);
    return framed;
}
