#include "HelperDesktop.h"

#include "EmWideText.h"

#include <cwchar>
#include <sstream>

namespace {

constexpr int settle_rounds = 5;
constexpr DWORD settle_pause_ms = 10;

} // namespace

HelperDesktop::HelperDesktop(std::FILE* record)
    : record(record)
{
}

HWND HelperDesktop::carry_out(const std::string& utf8_request)
{
    const HWND window = act(utf8_request);
    settle();
    return window;
}

HWND HelperDesktop::act(const std::string& utf8_request)
{
    std::vector<std::wstring> fields;
    std::istringstream parts(utf8_request);
    std::string field;
    while (std::getline(parts, field, '\t')) {
        fields.push_back(EmWideText::from_utf8(field));
    }
    fields.resize(4);
    const std::wstring& command = fields[0];
    if (command == L"top") {
        const HWND window = create(fields[1], fields[2], WS_OVERLAPPEDWINDOW, to_window(fields[3]));
        if (window != nullptr) {
            ShowWindow(window, SW_SHOWNOACTIVATE);
            SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        return window;
    }
    if (command == L"child") {
        const HWND window = create(fields[1], fields[2], WS_CHILD | WS_VISIBLE, to_window(fields[3]));
        if (window != nullptr) {
            SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        return window;
    }
    const HWND window = to_window(fields[1]);
    if (command == L"raise") {
        return SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE) ? window
                                                                                                    : nullptr;
    }
    if (command == L"title") {
        return SetWindowTextW(window, fields[2].c_str()) ? window : nullptr;
    }
    if (command == L"destroy") {
        return DestroyWindow(window) ? window : nullptr;
    }
    return nullptr;
}

void HelperDesktop::settle()
{
    // Wine learns from the X server what became of a new or changed window a little later,
    // when this thread next looks at its messages, and what it learns may reorder the windows.
    // Taking that in now means the test sees the windows as they stay.
    for (int round = 0; round < settle_rounds; ++round) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&message);
        }
        Sleep(settle_pause_ms);
    }
}

HWND HelperDesktop::create(const std::wstring& class_name, const std::wstring& title, DWORD style,
                           HWND parent)
{
    if (!register_class(class_name)) {
        return nullptr;
    }
    // The desktop travels to WM_NCCREATE so that even the first messages are written down.
    return CreateWindowExW(0, class_name.c_str(), title.c_str(), style, 10, 10, 400, 300, parent, nullptr,
                           GetModuleHandleW(nullptr), this);
}

bool HelperDesktop::register_class(const std::wstring& class_name)
{
    if (registered.count(class_name) != 0) {
        return true;
    }
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = window_procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = class_name.c_str();
    if (RegisterClassW(&window_class) == 0) {
        return false;
    }
    registered.insert(class_name);
    return true;
}

LRESULT CALLBACK HelperDesktop::window_procedure(HWND window, UINT message, WPARAM first, LPARAM second)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(second);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (const auto* desktop =
            reinterpret_cast<const HelperDesktop*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
        // Flushed at once: the test reads the file while this process goes on running.
        std::fprintf(desktop->record, "%llx %x %llx %llx\n",
                     static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(window)), message,
                     static_cast<unsigned long long>(first),
                     static_cast<unsigned long long>(static_cast<ULONG_PTR>(second)));
        std::fflush(desktop->record);
    }
    return DefWindowProcW(window, message, first, second);
}

HWND HelperDesktop::to_window(const std::wstring& hex)
{
    return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(std::wcstoull(hex.c_str(), nullptr, 16)));
}
