// Stands in for a music player or a plugin host in the Windows backend tests; copied under the
// players' executable names, so that the process list shows what a real desktop would.
//
// Usage: helper RECORD_FILE NAME
// Opens a message-only window of class "KestruneHelper" titled NAME, which takes the test's
// requests as WM_COPYDATA (see HelperDesktop), then sets the event called NAME to tell the test
// it is ready, and serves its windows until it is ended. Being message-only, that window is in
// no list of top-level windows.
//
// Usage: helper RECORD_FILE -
// For a test outside Windows (the road under Wine): the requests come as lines on standard
// input instead, and each answer is written as a line, the window's handle in hex, "ready" first;
// the end of the input ends the helper.
#include "HelperDesktop.h"

#include <windows.h>

#include <imm.h>
#include <shellapi.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

namespace {

LRESULT CALLBACK control_procedure(HWND window, UINT message, WPARAM first, LPARAM second)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(second);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message == WM_COPYDATA) {
        auto* desktop = reinterpret_cast<HelperDesktop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(second);
        const std::string request(static_cast<const char*>(data->lpData), data->cbData);
        return reinterpret_cast<LRESULT>(desktop->carry_out(request));
    }
    return DefWindowProcW(window, message, first, second);
}

// Hands each line of standard input to the control window, on the window's own thread, and
// writes its answer; ends the helper at the end of the input.
void serve_lines(HWND control, DWORD main_thread)
{
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        COPYDATASTRUCT data{};
        data.cbData = static_cast<DWORD>(line.size());
        data.lpData = line.data();
        const LRESULT window = SendMessageW(control, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
        std::printf("%llx\n", static_cast<unsigned long long>(window));
        std::fflush(stdout);
    }
    PostThreadMessageW(main_thread, WM_QUIT, 0, 0);
}

} // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3) {
        std::fprintf(stderr, "usage: helper RECORD_FILE NAME\n");
        return 2;
    }
    std::FILE* record = _wfopen(argv[1], L"a");
    const bool line_mode = std::wstring(argv[2]) == L"-";
    const HANDLE ready = line_mode ? nullptr : OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (record == nullptr || (!line_mode && ready == nullptr)) {
        std::fprintf(stderr, "helper: cannot open the record or the ready event\n");
        return 2;
    }

    // Otherwise the system gives the thread a top-level "Default IME" window of its own, which
    // a player under test would not be expected to show.
    ImmDisableIME(static_cast<DWORD>(-1));

    HelperDesktop desktop(record);
    WNDCLASSW control_class{};
    control_class.lpfnWndProc = control_procedure;
    control_class.hInstance = GetModuleHandleW(nullptr);
    control_class.lpszClassName = L"KestruneHelper";
    const HWND control = RegisterClassW(&control_class) == 0
                             ? nullptr
                             : CreateWindowExW(0, L"KestruneHelper", argv[2], 0, 0, 0, 0, 0, HWND_MESSAGE,
                                               nullptr, GetModuleHandleW(nullptr), &desktop);
    if (control == nullptr) {
        std::fprintf(stderr, "helper: cannot open its control window (error %lu)\n", GetLastError());
        return 1;
    }
    std::thread reader;
    if (line_mode) {
        reader = std::thread(serve_lines, control, GetCurrentThreadId());
    } else {
        SetEvent(ready);
        CloseHandle(ready);
    }

    // No TranslateMessage: the tests want to see exactly the messages that were posted.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    if (reader.joinable()) {
        reader.join();
    }
    return 0;
}
