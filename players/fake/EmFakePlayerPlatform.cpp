#include "EmFakePlayerPlatform.h"

#include <algorithm>
#include <stdexcept>

void EmFakePlayerPlatform::start_process(const std::string& exe_name, std::uint32_t id)
{
    std::lock_guard<std::mutex> lock(mutex);
    processes.push_back({exe_name, id});
}

void EmFakePlayerPlatform::stop_process(std::uint32_t id)
{
    std::lock_guard<std::mutex> lock(mutex);
    processes.erase(std::remove_if(processes.begin(), processes.end(),
                                   [id](const Process& process) { return process.id == id; }),
                    processes.end());
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [id](const FakeWindow& fake) { return fake.window.process_id == id; }),
                  windows.end());
}

void EmFakePlayerPlatform::set_process_list_fails(bool fails)
{
    std::lock_guard<std::mutex> lock(mutex);
    process_list_fails = fails;
}

int EmFakePlayerPlatform::add_window(std::uint32_t process_id, const std::string& class_name,
                                     const std::string& title, bool has_owner)
{
    std::lock_guard<std::mutex> lock(mutex);
    const int handle = next_handle++;
    windows.push_back({handle, {process_id, has_owner, class_name, title}});
    return handle;
}

void EmFakePlayerPlatform::set_title(int window, const std::string& title)
{
    std::lock_guard<std::mutex> lock(mutex);
    find_window(window)->window.title = title;
}

void EmFakePlayerPlatform::close_window(int window)
{
    std::lock_guard<std::mutex> lock(mutex);
    windows.erase(find_window(window));
}

void EmFakePlayerPlatform::raise_window(int window)
{
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = find_window(window);
    std::rotate(windows.begin(), found, found + 1);
}

int EmFakePlayerPlatform::process_list_count() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return process_lists;
}

int EmFakePlayerPlatform::window_enumeration_count() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return window_enumerations;
}

std::optional<std::vector<EmPlayerPlatform::Process>> EmFakePlayerPlatform::list_processes()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++process_lists;
    if (process_list_fails) {
        return std::nullopt;
    }
    return processes;
}

std::vector<EmPlayerPlatform::Window> EmFakePlayerPlatform::list_top_level_windows()
{
    std::lock_guard<std::mutex> lock(mutex);
    ++window_enumerations;
    std::vector<Window> listed;
    listed.reserve(windows.size());
    for (const FakeWindow& fake : windows) {
        listed.push_back({fake.window.process_id, fake.window.has_owner, cut_text(fake.window.class_name),
                          cut_text(fake.window.title)});
    }
    return listed;
}

std::vector<EmFakePlayerPlatform::FakeWindow>::iterator EmFakePlayerPlatform::find_window(int handle)
{
    const auto found = std::find_if(windows.begin(), windows.end(),
                                    [handle](const FakeWindow& fake) { return fake.handle == handle; });
    if (found == windows.end()) {
        throw std::invalid_argument("no such window");
    }
    return found;
}
