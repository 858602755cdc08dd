#pragma once

#include "EmFakePluginPlatform.h"

#include <string>
#include <vector>

// What the plugin must receive, written out from its protocol by hand rather than taken from the
// controller: a click on a pop-up, a Down press per step, and Enter.
namespace expected {

using Post = EmFakePluginPlatform::Post;
using WindowHandle = EmPluginPlatform::WindowHandle;

struct Spot
{
    unsigned x;
    unsigned y;
};

inline void add_pick(std::vector<Post>& posts, WindowHandle window, Spot spot, int downs)
{
    const std::uintptr_t position = spot.y * 65536u + spot.x;
    posts.push_back({window, 0x0201, 1, position});
    posts.push_back({window, 0x0202, 1, position});
    for (int i = 0; i < downs; ++i) {
        posts.push_back({window, 0x0100, 40, 0x00010001});
        posts.push_back({window, 0x0101, 40, 0xC0010001});
    }
    posts.push_back({window, 0x0100, 13, 0xC0010001});
}

inline std::vector<Post> apply(WindowHandle window, Spot scale_spot, int scale, Spot key_spot, int key)
{
    std::vector<Post> posts;
    add_pick(posts, window, scale_spot, scale);
    add_pick(posts, window, key_spot, key);
    return posts;
}

// The design positions of the two plugin versions' pop-ups.
constexpr Spot v1_scale{142, 133};
constexpr Spot v1_key{46, 133};
constexpr Spot v2_scale{337, 28};
constexpr Spot v2_key{279, 28};

inline std::string success_lines(int count)
{
    std::string lines;
    for (int i = 0; i < count; ++i) {
        lines += "发送窗口消息成功\n";
    }
    return lines;
}

} // namespace expected
