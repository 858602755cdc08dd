#pragma once

#include "EmPluginPlatform.h"

// The plugin's window tree, messages and screen as Windows gives them. Window handles are the
// system's HWND values.
class EmWin32PluginPlatform : public EmPluginPlatform
{
public:
    WindowHandle next_child(WindowHandle parent, WindowHandle after) override;
    std::string class_name(WindowHandle window) override;
    PostResult post_message(WindowHandle window, std::uint32_t message, std::uintptr_t first,
                            std::uintptr_t second) override;
    WindowHandle root_ancestor(WindowHandle window) override;
    void show_restored(WindowHandle window) override;
    void hide(WindowHandle window) override;
    int screen_dpi() override;
};
