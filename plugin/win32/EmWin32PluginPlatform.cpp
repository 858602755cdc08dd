#include "EmWin32PluginPlatform.h"

#include "EmWideText.h"

#include <windows.h>

namespace {

// Class names are at most 256 characters, so this never cuts one.
constexpr int class_buffer_units = 260;

// The resolution every layout was designed at, and what Windows reports without scaling.
constexpr int design_dpi = 96;

HWND to_hwnd(EmPluginPlatform::WindowHandle window)
{
    return reinterpret_cast<HWND>(window);
}

EmPluginPlatform::WindowHandle to_handle(HWND hwnd)
{
    return reinterpret_cast<EmPluginPlatform::WindowHandle>(hwnd);
}

} // namespace

EmPluginPlatform::WindowHandle EmWin32PluginPlatform::next_child(WindowHandle parent, WindowHandle after)
{
    return to_handle(FindWindowExW(to_hwnd(parent), to_hwnd(after), nullptr, nullptr));
}

std::string EmWin32PluginPlatform::class_name(WindowHandle window)
{
    wchar_t name[class_buffer_units];
    return EmWideText::from_filled_buffer(name, GetClassNameW(to_hwnd(window), name, class_buffer_units));
}

EmPluginPlatform::PostResult EmWin32PluginPlatform::post_message(WindowHandle window, std::uint32_t message,
                                                                 std::uintptr_t first, std::uintptr_t second)
{
    if (PostMessageW(to_hwnd(window), message, static_cast<WPARAM>(first), static_cast<LPARAM>(second))) {
        return {true, 0};
    }
    return {false, GetLastError()};
}

EmPluginPlatform::WindowHandle EmWin32PluginPlatform::root_ancestor(WindowHandle window)
{
    return to_handle(GetAncestor(to_hwnd(window), GA_ROOT));
}

void EmWin32PluginPlatform::show_restored(WindowHandle window)
{
    ShowWindow(to_hwnd(window), SW_RESTORE);
}

void EmWin32PluginPlatform::hide(WindowHandle window)
{
    ShowWindow(to_hwnd(window), SW_HIDE);
}

int EmWin32PluginPlatform::screen_dpi()
{
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return design_dpi;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}
