#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the player watcher needs from the desktop, and nothing more: which programs run and which
// top-level windows they show. Each desktop (Windows, X11, the in-memory fake of the tests) has
// its own implementation, handed to the watcher when it is built. Calls come from the watcher's
// thread only, but not from the thread that built the object.
//
// Texts are UTF-8. Class names and titles are cut to max_text_units UTF-16 code units, as the
// 256-character buffers of the Windows calls cut them, so that every desktop feeds the title
// rules the same text.
class EmPlayerPlatform
{
public:
    struct Process
    {
        std::string exe_name; // file name of the executable, without its folder
        std::uint32_t id = 0;
    };

    struct Window
    {
        std::uint32_t process_id = 0; // process that owns the window
        bool has_owner = false;       // an owned window: a dialog or pop-up of another window
        std::string class_name;
        std::string title;
    };

    static constexpr std::size_t max_text_units = 255;

    virtual ~EmPlayerPlatform() = default;

    // Every running process, in the system's order; nothing when the list cannot be taken.
    virtual std::optional<std::vector<Process>> list_processes() = 0;

    // Every top-level window once, front to back, whatever its visibility; empty when the
    // enumeration fails.
    virtual std::vector<Window> list_top_level_windows() = 0;

    // The text as well-formed UTF-8, each malformed piece replaced by U+FFFD, cut to the longest
    // prefix that fits in max_text_units UTF-16 code units, never ending inside a character.
    static std::string cut_text(const std::string& utf8);
};
