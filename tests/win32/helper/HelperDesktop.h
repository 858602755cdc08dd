#pragma once

#include <windows.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

// Plays a music player or a plugin host for the tests: makes, retitles and destroys windows in
// this process when the test asks, and writes down every message their window procedure
// receives, as "window message wParam lParam" in hex, one line each, in the record file.
//
// Requests are UTF-8 lines with tab-separated fields; windows are named by their handle in hex:
//   top CLASS TITLE OWNER      a shown top-level window in front of all others (OWNER 0: none)
//   child CLASS TITLE PARENT   a shown child window, behind the parent's other children
//   raise WINDOW               brings a top-level window in front of all others
//   title WINDOW TEXT          changes the window's title
//   destroy WINDOW             destroys the window and its children
// Each answers the handle of the window concerned, or 0 when it could not be done.
class HelperDesktop
{
public:
    explicit HelperDesktop(std::FILE* record);
    HelperDesktop(const HelperDesktop&) = delete;
    HelperDesktop& operator=(const HelperDesktop&) = delete;

    HWND carry_out(const std::string& utf8_request);

private:
    HWND act(const std::string& utf8_request);
    void settle();
    HWND create(const std::wstring& class_name, const std::wstring& title, DWORD style, HWND parent);
    bool register_class(const std::wstring& class_name);

    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM first, LPARAM second);
    static HWND to_window(const std::wstring& hex);

    std::FILE* const record;
    std::set<std::wstring> registered;
};
