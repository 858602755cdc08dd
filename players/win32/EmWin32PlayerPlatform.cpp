#include "EmWin32PlayerPlatform.h"

#include "EmWideText.h"

#include <windows.h>

#include <tlhelp32.h>

namespace {

// Room for 255 characters and the terminator, so that every desktop cuts texts alike.
constexpr int text_buffer_units = 256;

EmPlayerPlatform::Window describe(HWND hwnd)
{
    EmPlayerPlatform::Window window;
    DWORD process_id = 0;
    GetWindowThreadProcessId(hwnd, &process_id);
    window.process_id = process_id;
    window.has_owner = GetWindow(hwnd, GW_OWNER) != nullptr;

    wchar_t text[text_buffer_units];
    window.class_name = EmWideText::from_filled_buffer(text, GetClassNameW(hwnd, text, text_buffer_units));
    // For a window of this very process GetWindowTextW sends a message and waits for the window's
    // thread, which may never answer: the GUI thread waits for this one when the program ends.
    // The stored title is read instead, which is what GetWindowTextW reads for other processes.
    const int length = process_id == GetCurrentProcessId()
                           ? InternalGetWindowText(hwnd, text, text_buffer_units)
                           : GetWindowTextW(hwnd, text, text_buffer_units);
    window.title = EmWideText::from_filled_buffer(text, length);
    return window;
}

BOOL CALLBACK collect_window(HWND hwnd, LPARAM windows)
{
    // An exception must not unwind through the system's frames; running out of memory ends the
    // enumeration as a failure instead.
    try {
        reinterpret_cast<std::vector<EmPlayerPlatform::Window>*>(windows)->push_back(describe(hwnd));
    } catch (...) {
        return FALSE;
    }
    return TRUE;
}

std::optional<std::vector<EmPlayerPlatform::Process>> walk(HANDLE snapshot)
{
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    // A snapshot always holds at least the calling process, so an empty walk means it failed.
    if (!Process32FirstW(snapshot, &entry)) {
        return std::nullopt;
    }
    std::vector<EmPlayerPlatform::Process> processes;
    do {
        processes.push_back({EmWideText::to_utf8(entry.szExeFile), entry.th32ProcessID});
    } while (Process32NextW(snapshot, &entry));
    return processes;
}

} // namespace

std::optional<std::vector<EmPlayerPlatform::Process>> EmWin32PlayerPlatform::list_processes()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::optional<std::vector<Process>> processes = walk(snapshot);
    CloseHandle(snapshot);
    return processes;
}

std::vector<EmPlayerPlatform::Window> EmWin32PlayerPlatform::list_top_level_windows()
{
    std::vector<Window> windows;
    if (!EnumWindows(collect_window, reinterpret_cast<LPARAM>(&windows))) {
        return {};
    }
    return windows;
}
