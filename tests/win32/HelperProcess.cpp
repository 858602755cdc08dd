#include "HelperProcess.h"

#include "EmWideText.h"

#include <cstdio>
#include <stdexcept>

namespace {

constexpr DWORD answer_timeout_ms = 20000;

std::runtime_error failure(const std::string& what)
{
    return std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

std::wstring own_folder()
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

std::string hex(HWND window)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%llx",
                  static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)));
    return text;
}

} // namespace

HelperProcess::HelperProcess(const std::string& exe_name)
    : folder(make_folder())
    , exe(folder + EmWideText::from_utf8(exe_name))
    , messages(folder + L"record.txt")
{
    if (!CopyFileW((own_folder() + L"kestrune_win32_helper.exe").c_str(), exe.c_str(), TRUE)) {
        throw failure("cannot copy the helper");
    }
    static unsigned started = 0;
    const std::wstring name =
        L"kestrune-helper-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++started);
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    if (ready == nullptr) {
        throw failure("cannot create the ready event");
    }
    std::wstring command_line = L"\"" + exe + L"\" \"" + messages.path() + L"\" " + name;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        CloseHandle(ready);
        throw failure("cannot start the helper");
    }
    const HANDLE waits[] = {ready, process.hProcess};
    const DWORD outcome = WaitForMultipleObjects(2, waits, FALSE, answer_timeout_ms);
    CloseHandle(ready);
    control = FindWindowExW(HWND_MESSAGE, nullptr, L"KestruneHelper", name.c_str());
    if (outcome != WAIT_OBJECT_0 || control == nullptr) {
        stop();
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        throw std::runtime_error("the helper did not get ready");
    }
}

HelperProcess::~HelperProcess()
{
    stop();
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    DeleteFileW(exe.c_str());
    DeleteFileW(messages.path().c_str());
    RemoveDirectoryW(folder.c_str());
}

std::uint32_t HelperProcess::id() const
{
    return process.dwProcessId;
}

HWND HelperProcess::make_top_level(const std::string& class_name, const std::string& title, HWND owner)
{
    return ask("top\t" + class_name + "\t" + title + "\t" + hex(owner));
}

HWND HelperProcess::make_child(HWND parent, const std::string& class_name, const std::string& title)
{
    return ask("child\t" + class_name + "\t" + title + "\t" + hex(parent));
}

void HelperProcess::raise(HWND window)
{
    ask("raise\t" + hex(window));
}

void HelperProcess::set_title(HWND window, const std::string& title)
{
    ask("title\t" + hex(window) + "\t" + title);
}

void HelperProcess::destroy(HWND window)
{
    ask("destroy\t" + hex(window));
}

const MessageRecord& HelperProcess::record() const
{
    return messages;
}

void HelperProcess::stop()
{
    if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 0);
        WaitForSingleObject(process.hProcess, answer_timeout_ms);
    }
}

std::wstring HelperProcess::make_folder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned made = 0;
    const std::wstring folder = std::wstring(temp) + L"kestrune-" + std::to_wstring(GetCurrentProcessId()) +
                                L"-" + std::to_wstring(++made) + L"\\";
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        throw failure("cannot create a folder for the helper");
    }
    return folder;
}

HWND HelperProcess::ask(const std::string& request)
{
    COPYDATASTRUCT data{};
    data.cbData = static_cast<DWORD>(request.size());
    data.lpData = const_cast<char*>(request.data());
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                             answer_timeout_ms, &answer) ||
        answer == 0) {
        throw failure("the helper could not carry out \"" + request + "\"");
    }
    return reinterpret_cast<HWND>(answer);
}
