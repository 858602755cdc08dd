// Stands in for a music player or a plugin host in the Windows backend tests; copied under the
// players' executable names, so that the process list shows what a real desktop would.
//
// Usage: helper RECORD_FILE NAME
// Opens a message-only window of class "KestruneHelper" titled NAME, which takes the test's
// requests as WM_COPYDATA (see HelperDesktop), then sets the event called NAME to tell the test
// it is ready, and serves its windows until it is ended. Being message-only, that window is in
// no list of top-level windows.
#include "HelperDesktop.h"

#include <windows.h>

#include <imm.h>
#include <shellapi.h>

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
    const HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]);
    if (record == nullptr || ready == nullptr) {
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
    if (RegisterClassW(&control_class) == 0 ||
        CreateWindowExW(0, L"KestruneHelper", argv[2], 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                        GetModuleHandleW(nullptr), &desktop) == nullptr) {
        std::fprintf(stderr, "helper: cannot open its control window (error %lu)\n", GetLastError());
        return 1;
    }
    SetEvent(ready);
    CloseHandle(ready);

    // No TranslateMessage: the tests want to see exactly the messages that were posted.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
