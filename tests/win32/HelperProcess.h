#pragma once

#include "MessageRecord.h"

#include <windows.h>

#include <cstdint>
#include <string>

// A copy of the helper program running under a player's executable name, making windows on
// request (see helper/HelperDesktop.h). Every call returns once the helper has done what it was
// asked; a failure throws. The destructor ends the process and removes its copy.
class HelperProcess
{
public:
    explicit HelperProcess(const std::string& exe_name);
    ~HelperProcess();
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    std::uint32_t id() const;

    // A shown top-level window in front of all others; owned by owner unless that is null.
    HWND make_top_level(const std::string& class_name, const std::string& title, HWND owner = nullptr);
    // A shown child window behind parent's other children.
    HWND make_child(HWND parent, const std::string& class_name, const std::string& title = {});
    // Brings a top-level window in front of all others.
    void raise(HWND window);
    void set_title(HWND window, const std::string& title);
    void destroy(HWND window);

    // What the windows of this process received.
    const MessageRecord& record() const;

    // Ends the process now; its windows go with it.
    void stop();

private:
    // A fresh folder under the system's temporary folder, ending in a backslash.
    static std::wstring make_folder();
    HWND ask(const std::string& request);

    const std::wstring folder;
    const std::wstring exe;
    const MessageRecord messages;
    PROCESS_INFORMATION process{};
    HWND control = nullptr;
};
