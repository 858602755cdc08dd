#pragma once

#include "EmPlayerPlatform.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// A desktop held in memory, for tests and benchmarks: processes and top-level windows are
// added, changed and removed at will, from any thread, and the watcher sees them at its next
// refresh. Titles and class names are cut as the real desktops cut them.
class EmFakePlayerPlatform : public EmPlayerPlatform
{
public:
    // Appended to the end of the process list.
    void start_process(const std::string& exe_name, std::uint32_t id);
    // Removes the process and, as a real desktop would, its windows.
    void stop_process(std::uint32_t id);
    // While set, the process list cannot be taken.
    void set_process_list_fails(bool fails);

    // Adds a window behind all others and returns its handle.
    int add_window(std::uint32_t process_id, const std::string& class_name, const std::string& title,
                   bool has_owner = false);
    void set_title(int window, const std::string& title);
    void close_window(int window);
    // Brings the window in front of all others.
    void raise_window(int window);

    int process_list_count() const;
    int window_enumeration_count() const;

    std::optional<std::vector<Process>> list_processes() override;
    std::vector<Window> list_top_level_windows() override;

private:
    struct FakeWindow
    {
        int handle;
        Window window;
    };

    std::vector<FakeWindow>::iterator find_window(int handle);

    mutable std::mutex mutex;
    std::vector<Process> processes;
    std::vector<FakeWindow> windows; // front to back
    bool process_list_fails = false;
    int next_handle = 1;
    int process_lists = 0;
    int window_enumerations = 0;
};
