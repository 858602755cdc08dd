#pragma once

#include "EmPluginPlatform.h"

#include <cstddef>
#include <map>
#include <ostream>
#include <vector>

// A window tree kept in memory, recording what is posted and shown, with posts that can be
// made to fail. Children are enumerated front to back: in the order they were added, unless
// raised.
class EmFakePluginPlatform : public EmPluginPlatform
{
public:
    struct Post
    {
        WindowHandle window;
        std::uint32_t message;
        std::uintptr_t first;
        std::uintptr_t second;

        bool operator==(const Post& other) const;
    };

    struct ShowCall
    {
        WindowHandle window;
        bool restored;

        bool operator==(const ShowCall& other) const;
    };

    // Parent no_window adds a top-level window. Returns the new window's handle.
    WindowHandle add_window(WindowHandle parent, const std::string& class_name);
    // Removes the window with all its descendants, as closing it would.
    void remove_window(WindowHandle window);
    // Puts the window in front of its siblings, first in their enumeration.
    void raise_window(WindowHandle window);
    void set_screen_dpi(int dpi);
    // The post with this index, counting every post from 0, fails with the given error.
    void fail_post(std::size_t index, std::uint32_t error);

    // Every post in order, the failed ones included.
    const std::vector<Post>& posts() const;
    // The posts recorded so far, leaving the record empty; fail_post still counts from the start.
    std::vector<Post> take_posts();
    const std::vector<ShowCall>& show_calls() const;
    // How often next_child was asked, to tell whether a search ran at all.
    std::size_t enumeration_calls() const;

    WindowHandle next_child(WindowHandle parent, WindowHandle after) override;
    std::string class_name(WindowHandle window) override;
    PostResult post_message(WindowHandle window, std::uint32_t message, std::uintptr_t first,
                            std::uintptr_t second) override;
    WindowHandle root_ancestor(WindowHandle window) override;
    void show_restored(WindowHandle window) override;
    void hide(WindowHandle window) override;
    int screen_dpi() override;

private:
    struct Node
    {
        WindowHandle parent;
        std::string class_name;
        std::vector<WindowHandle> children;
    };

    std::vector<WindowHandle>* children_of(WindowHandle parent);

    std::map<WindowHandle, Node> windows;
    std::vector<WindowHandle> top_level;
    WindowHandle last_handle = 0x10000;
    int dpi = 96;
    std::map<std::size_t, std::uint32_t> failures;
    std::vector<Post> post_log;
    std::size_t posts_made = 0;
    std::vector<ShowCall> show_log;
    std::size_t enumerations = 0;
};

std::ostream& operator<<(std::ostream& out, const EmFakePluginPlatform::Post& post);
std::ostream& operator<<(std::ostream& out, const EmFakePluginPlatform::ShowCall& call);
