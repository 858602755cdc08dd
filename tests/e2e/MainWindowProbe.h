#pragma once

#include "ScreenImage.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Kestrune's main window as its user sees it on an X server, for checks made from outside the
// program: found by the program's process id, its bottom panel read from the screen's pixels,
// its boxes clicked through XTest. The places come from the window's design
// (lookup_ui/EmSearchWidget.ui, lookup_ui/EmAutoContrlWidget.ui): the panel is the 50-pixel
// strip along the bottom edge, with the auto-apply box's 16-pixel indicator 14 pixels from the
// left edge, the plugin's 16-pixel status light 14 pixels from the right edge and the hide box
// 10 pixels left of the light.
class MainWindowProbe
{
public:
    enum class Light
    {
        unknown,
        red,
        green
    };

    // Connects to the display (":N"); throws when it cannot.
    explicit MainWindowProbe(const std::string& display);
    ~MainWindowProbe();
    MainWindowProbe(const MainWindowProbe&) = delete;
    MainWindowProbe& operator=(const MainWindowProbe&) = delete;

    // A mapped window of the program titled so, known by its _NET_WM_PID and its title, also
    // inside a window manager's frame; 0 while there is none.
    xcb_window_t find_window(std::uint32_t pid, const std::string& title);
    xcb_window_t find_main_window(std::uint32_t pid);
    // These raise the window first, so that no other window covers what they read or click.
    Light plugin_light(xcb_window_t window);
    bool auto_apply_checked(xcb_window_t window);
    void click_auto_apply(xcb_window_t window);
    // Clicks the text of the hide-plugin box, the last thing before the status light.
    void click_hide_plugin(xcb_window_t window);
    // Waits up to light_within for the green light (the program has found the plugin), then ticks
    // the auto-apply box, which must start off, and waits until it shows ticked. Empty when done,
    // otherwise what went wrong.
    std::string switch_auto_apply_on(xcb_window_t window, std::chrono::milliseconds light_within);
    // The window as it shows once the program has painted what raising it uncovered.
    ScreenImage grab_main_window(xcb_window_t window);

    ScreenImage grab_screen();

private:
    struct Area
    {
        int x;
        int y;
        int width;
        int height;
    };

    std::vector<xcb_window_t> children_of(xcb_window_t window);
    Area area_on_screen(xcb_window_t window);
    void click(xcb_window_t window, int x_in_panel);
    ScreenImage panel(xcb_window_t window);
    ScreenImage grab(Area area);
    void raise(xcb_window_t window);
    void sync();
    std::string text_property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type);

    xcb_connection_t* connection = nullptr;
    xcb_screen_t* screen = nullptr;
    xcb_atom_t net_wm_pid = XCB_ATOM_NONE;
    xcb_atom_t net_wm_name = XCB_ATOM_NONE;
    xcb_atom_t utf8_string = XCB_ATOM_NONE;
};
