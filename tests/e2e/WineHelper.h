#pragma once

#include "ChildProcess.h"

#include <cstdint>
#include <string>
#include <vector>

// A copy of the Windows helper program (tests/win32/helper) under a player's or a plugin host's
// executable name, run under Wine (scripts/wine-windows, with the WINEPREFIX, WINEPATH and
// DISPLAY of the test's environment) and driven through its standard input; the messages its
// windows receive are read from its record file. The copy and the record live in a folder of the
// object's own, removed with it; destroying it ends the process. One thread uses it.
class WineHelper
{
public:
    using Window = std::uint64_t;

    struct Message
    {
        Window window;
        std::uint32_t message;
        std::uint64_t first;
        std::uint64_t second;

        bool operator==(const Message& other) const;
    };

    // arch: "i686" or "x86_64"; helper_exe: the built helper program.
    WineHelper(const std::string& arch, const std::string& helper_exe, const std::string& exe_name);
    ~WineHelper();
    WineHelper(const WineHelper&) = delete;
    WineHelper& operator=(const WineHelper&) = delete;

    // A shown top-level window in front of the others (owner 0: none).
    Window make_top_level(const std::string& class_name, const std::string& title, Window owner = 0);
    Window make_child(Window parent, const std::string& class_name);
    void set_title(Window window, const std::string& title);
    // Every message the windows have written down so far, in order.
    std::vector<Message> messages() const;

private:
    // Sends one request (tab-separated fields) and returns the window it names; throws on 0.
    Window ask(const std::string& request);
    std::string read_line();

    std::string folder;
    ChildProcess process;
    std::string pending;
};

std::ostream& operator<<(std::ostream& out, const WineHelper::Message& message);
