#include "EmFakePluginPlatform.h"

#include <algorithm>
#include <utility>

bool EmFakePluginPlatform::Post::operator==(const Post& other) const
{
    return window == other.window && message == other.message && first == other.first &&
           second == other.second;
}

bool EmFakePluginPlatform::ShowCall::operator==(const ShowCall& other) const
{
    return window == other.window && restored == other.restored;
}

EmPluginPlatform::WindowHandle EmFakePluginPlatform::add_window(WindowHandle parent,
                                                                const std::string& class_name)
{
    std::vector<WindowHandle>* siblings = children_of(parent);
    if (!siblings) {
        return no_window;
    }
    // Spaced like real handles, so that a handle off by one is never another window.
    last_handle += 0x10;
    siblings->push_back(last_handle);
    windows[last_handle] = Node{parent, class_name, {}};
    return last_handle;
}

void EmFakePluginPlatform::remove_window(WindowHandle window)
{
    const auto found = windows.find(window);
    if (found == windows.end()) {
        return;
    }
    const std::vector<WindowHandle> children = found->second.children;
    for (WindowHandle child : children) {
        remove_window(child);
    }
    std::vector<WindowHandle>* siblings = children_of(found->second.parent);
    siblings->erase(std::remove(siblings->begin(), siblings->end(), window), siblings->end());
    windows.erase(window);
}

void EmFakePluginPlatform::raise_window(WindowHandle window)
{
    const auto found = windows.find(window);
    if (found == windows.end()) {
        return;
    }
    std::vector<WindowHandle>* siblings = children_of(found->second.parent);
    const auto at = std::find(siblings->begin(), siblings->end(), window);
    std::rotate(siblings->begin(), at, at + 1);
}

void EmFakePluginPlatform::set_screen_dpi(int value)
{
    dpi = value;
}

void EmFakePluginPlatform::fail_post(std::size_t index, std::uint32_t error)
{
    failures[index] = error;
}

const std::vector<EmFakePluginPlatform::Post>& EmFakePluginPlatform::posts() const
{
    return post_log;
}

std::vector<EmFakePluginPlatform::Post> EmFakePluginPlatform::take_posts()
{
    return std::exchange(post_log, {});
}

const std::vector<EmFakePluginPlatform::ShowCall>& EmFakePluginPlatform::show_calls() const
{
    return show_log;
}

std::size_t EmFakePluginPlatform::enumeration_calls() const
{
    return enumerations;
}

EmPluginPlatform::WindowHandle EmFakePluginPlatform::next_child(WindowHandle parent, WindowHandle after)
{
    ++enumerations;
    const std::vector<WindowHandle>* siblings = children_of(parent);
    if (!siblings || siblings->empty()) {
        return no_window;
    }
    if (after == no_window) {
        return siblings->front();
    }
    const auto at = std::find(siblings->begin(), siblings->end(), after);
    if (at == siblings->end() || at + 1 == siblings->end()) {
        return no_window;
    }
    return *(at + 1);
}

std::string EmFakePluginPlatform::class_name(WindowHandle window)
{
    const auto found = windows.find(window);
    return found == windows.end() ? std::string() : found->second.class_name;
}

EmPluginPlatform::PostResult EmFakePluginPlatform::post_message(WindowHandle window, std::uint32_t message,
                                                                std::uintptr_t first, std::uintptr_t second)
{
    post_log.push_back(Post{window, message, first, second});
    const auto failure = failures.find(posts_made++);
    if (failure != failures.end()) {
        return PostResult{false, failure->second};
    }
    return PostResult{true, 0};
}

EmPluginPlatform::WindowHandle EmFakePluginPlatform::root_ancestor(WindowHandle window)
{
    auto found = windows.find(window);
    if (found == windows.end()) {
        return no_window;
    }
    while (found->second.parent != no_window) {
        window = found->second.parent;
        found = windows.find(window);
    }
    return window;
}

void EmFakePluginPlatform::show_restored(WindowHandle window)
{
    show_log.push_back(ShowCall{window, true});
}

void EmFakePluginPlatform::hide(WindowHandle window)
{
    show_log.push_back(ShowCall{window, false});
}

int EmFakePluginPlatform::screen_dpi()
{
    return dpi;
}

std::vector<EmPluginPlatform::WindowHandle>* EmFakePluginPlatform::children_of(WindowHandle parent)
{
    if (parent == no_window) {
        return &top_level;
    }
    const auto found = windows.find(parent);
    return found == windows.end() ? nullptr : &found->second.children;
}

std::ostream& operator<<(std::ostream& out, const EmFakePluginPlatform::Post& post)
{
    return out << std::hex << "{window 0x" << post.window << ", message 0x" << post.message << ", 0x"
               << post.first << ", 0x" << post.second << "}" << std::dec;
}

std::ostream& operator<<(std::ostream& out, const EmFakePluginPlatform::ShowCall& call)
{
    return out << std::hex << "{window 0x" << call.window << (call.restored ? ", restore}" : ", hide}")
               << std::dec;
}
