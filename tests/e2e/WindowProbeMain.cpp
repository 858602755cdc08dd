// Kestrune's main window seen from outside, for scripts such as scripts/demo. Works on the display
// named by $DISPLAY; PID is the program's process id; every wait has a time limit.
//
//   kestrune_window_probe wait-window PID             until the program shows its main window
//   kestrune_window_probe wait-plugin-light PID       until its status light is green, i.e. until
//                                                     it has found the plugin
//   kestrune_window_probe switch-auto-apply PID       once the light is green, clicks the
//                                                     auto-apply box, which must be off, then
//                                                     waits until the box is ticked
//   kestrune_window_probe screenshot PID FILE.png     writes a picture of the main window
//
// Exit code 0 when done, 1 when a wait ran out or the screen could not be read (with a line on
// standard error), 2 for a wrong command line.

#include "MainWindowProbe.h"
#include "WaitUntil.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

int fail(const std::string& message)
{
    std::fprintf(stderr, "kestrune_window_probe: %s\n", message.c_str());
    return 1;
}

int run(const std::vector<std::string>& arguments)
{
    const std::string& command = arguments[0];
    const char* display = std::getenv("DISPLAY");
    MainWindowProbe probe(display ? display : "");
    const auto pid = static_cast<std::uint32_t>(std::strtoul(arguments[1].c_str(), nullptr, 10));
    xcb_window_t window = XCB_WINDOW_NONE;
    if (!wait_until([&] { return (window = probe.find_main_window(pid)) != XCB_WINDOW_NONE; }, 20s)) {
        return fail("process " + arguments[1] + " shows no Kestrune main window");
    }
    if (command == "wait-plugin-light" &&
        !wait_until([&] { return probe.plugin_light(window) == MainWindowProbe::Light::green; }, 8s)) {
        return fail("the plugin status light did not turn green");
    }
    if (command == "switch-auto-apply") {
        const std::string failure = probe.switch_auto_apply_on(window, 8s);
        if (!failure.empty()) {
            return fail(failure);
        }
    }
    if (command == "screenshot" && !probe.grab_main_window(window).write_png(arguments[2])) {
        return fail("cannot write " + arguments[2]);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const bool waits =
        arguments.size() == 2 && (arguments[0] == "wait-window" || arguments[0] == "wait-plugin-light" ||
                                  arguments[0] == "switch-auto-apply");
    const bool shoots = arguments.size() == 3 && arguments[0] == "screenshot";
    if (!waits && !shoots) {
        std::fprintf(stderr,
                     "usage: kestrune_window_probe wait-window|wait-plugin-light|switch-auto-apply PID\n"
                     "       kestrune_window_probe screenshot PID FILE.png\n");
        return 2;
    }
    try {
        return run(arguments);
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}
