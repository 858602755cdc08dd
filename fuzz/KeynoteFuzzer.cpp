// A keynote text from the service applied to the plugin on the in-memory desktop: the keynote
// rule, the window search, the click and key sequence, detection and hiding.
//
// Input: the keynote text on the first line, then the window tree, one window a line: as many
// leading blanks as its depth and its class name. A class "*N" stands for a chain of N windows
// nested in each other. A line "dpi N" sets the screen's resolution, "compensation off" turns
// the scale compensation off.

#include "EmFakePluginPlatform.h"
#include "EmKeynoteRule.h"
#include "EmPluginControl.h"
#include "FuzzSupport.h"
#include "ZuDataBus.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Handle = EmPluginPlatform::WindowHandle;
using Post = EmFakePluginPlatform::Post;

constexpr std::size_t most_windows = 200000;
const std::string version_1_class = "AT5PluginWnd";
const std::string version_2_class = "ATEvoPluginWndClass";

struct Desktop
{
    std::shared_ptr<EmFakePluginPlatform> platform = std::make_shared<EmFakePluginPlatform>();
    std::map<Handle, Handle> parent_of;
    std::map<Handle, std::string> class_of;
    bool has_plugin = false;
    int dpi = 96;
    bool compensation = true;

    Handle add(Handle parent, const std::string& class_name)
    {
        const Handle window = platform->add_window(parent, class_name);
        parent_of[window] = parent;
        class_of[window] = class_name;
        has_plugin = has_plugin || class_name == version_1_class || class_name == version_2_class;
        return window;
    }
};

void build(Desktop& desktop, const std::vector<std::string>& lines)
{
    // The last window made at each depth.
    std::vector<Handle> last_at_depth;
    for (std::size_t i = 1; i < lines.size() && desktop.parent_of.size() < most_windows; ++i) {
        const std::string& line = lines[i];
        if (line.rfind("dpi ", 0) == 0) {
            desktop.dpi = std::atoi(line.c_str() + 4);
            desktop.platform->set_screen_dpi(desktop.dpi);
            continue;
        }
        if (line == "compensation off") {
            desktop.compensation = false;
            continue;
        }
        std::size_t depth = line.find_first_not_of(' ');
        depth = std::min(depth == std::string::npos ? line.size() : depth, last_at_depth.size());
        const std::string class_name = line.substr(std::min(line.size(), line.find_first_not_of(' ')));
        last_at_depth.resize(depth);
        Handle parent = depth == 0 ? EmPluginPlatform::no_window : last_at_depth[depth - 1];
        if (class_name.size() > 1 && class_name[0] == '*') {
            const std::size_t chain =
                std::min<std::size_t>(std::strtoul(class_name.c_str() + 1, nullptr, 10), most_windows);
            for (std::size_t k = 0; k < chain && desktop.parent_of.size() < most_windows; ++k) {
                parent = desktop.add(parent, "Nest");
                last_at_depth.push_back(parent);
            }
            continue;
        }
        last_at_depth.push_back(desktop.add(parent, class_name));
    }
}

QString describe(const std::vector<Post>& posts)
{
    QString text = QString::number(posts.size()) + " posts:";
    for (const Post& post : posts) {
        text += QStringLiteral(" %1/%2/%3")
                    .arg(post.message, 0, 16)
                    .arg(post.first, 0, 16)
                    .arg(post.second, 0, 16);
    }
    return text;
}

// One pop-up: a click at one position, the Down presses, Enter.
void check_pick(const std::vector<Post>& posts, std::size_t& at, int downs, Handle window,
                const QString& keynote)
{
    const auto expect = [&](std::uint32_t message, std::uintptr_t first,
                            std::optional<std::uintptr_t> second) {
        if (at >= posts.size() || posts[at].window != window || posts[at].message != message ||
            posts[at].first != first || (second && posts[at].second != *second)) {
            fuzz::fail("a keynote is applied by a click, the Down presses and Enter on each pop-up",
                       fuzz::spelled_out(keynote) + " at post " + QString::number(at) + " of " +
                           describe(posts));
        }
        ++at;
    };
    expect(EmPluginPlatform::wm_lbuttondown, EmPluginPlatform::mk_lbutton, std::nullopt);
    expect(EmPluginPlatform::wm_lbuttonup, EmPluginPlatform::mk_lbutton, posts[at - 1].second);
    for (int i = 0; i < downs; ++i) {
        expect(EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_down, EmPluginPlatform::key_press_data);
        expect(EmPluginPlatform::wm_keyup, EmPluginPlatform::vk_down, EmPluginPlatform::key_release_data);
    }
    expect(EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_return, EmPluginPlatform::key_release_data);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::ensure_application();
    // One line per posted message.
    fuzz::quiet_standard_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::string> lines = fuzz::lines_of(data, size);
    const QString keynote = QString::fromStdString(lines[0]);
    Desktop desktop;
    build(desktop, lines);

    const EmKeynoteRule rule;
    const std::optional<EmKeynoteRule::Numbers> numbers = rule.numbers(keynote);
    if (numbers && (numbers->scale < 0 || numbers->scale > 3 || numbers->key < 0 || numbers->key > 12)) {
        fuzz::fail("a keynote moves the Scale pop-up at most 3 and the Key pop-up at most 12 steps",
                   fuzz::spelled_out(keynote));
    }
    if (rule.understands(keynote) != (numbers && numbers->scale > 0 && numbers->key > 0)) {
        fuzz::fail("a keynote is understood when it moves both pop-ups", fuzz::spelled_out(keynote));
    }

    EmPluginControl control(desktop.platform);
    if (!desktop.compensation) {
        control.toggle_scale_compensation();
    }
    control.set_auto_apply(true);
    control.update_key_string(keynote);
    const std::vector<Post> posts = desktop.platform->take_posts();
    if (!numbers || !desktop.has_plugin) {
        if (!posts.empty()) {
            fuzz::fail("nothing is posted without a keynote and a plugin window",
                       fuzz::spelled_out(keynote) + ", " + describe(posts));
        }
        if (!numbers && desktop.platform->enumeration_calls() != 0) {
            fuzz::fail("a text without a key and scale does not even search", fuzz::spelled_out(keynote));
        }
    } else {
        const Handle window = posts.empty() ? EmPluginPlatform::no_window : posts.front().window;
        const auto found_class = desktop.class_of.find(window);
        if (found_class == desktop.class_of.end() ||
            (found_class->second != version_1_class && found_class->second != version_2_class)) {
            fuzz::fail("the keynote goes to a plugin window", describe(posts));
        }
        std::size_t at = 0;
        check_pick(posts, at, numbers->scale, window, keynote);
        check_pick(posts, at, numbers->key, window, keynote);
        if (at != posts.size()) {
            fuzz::fail("nothing is posted after the Key pop-up's Enter", describe(posts));
        }
    }

    bool announced = false;
    QString version;
    QObject receiver;
    QObject::connect(ZuDataBus::instance(), &ZuDataBus::emusic_plugin_enable, &receiver,
                     [&](bool found, const QString& text) {
                         announced = found;
                         version = text;
                     });
    control.dect_plugin();
    if (announced != desktop.has_plugin || (announced && version != "5" && version != "6") ||
        (!announced && !version.isEmpty())) {
        fuzz::fail("detection announces whether a plugin window is open, and its version",
                   QStringLiteral("announced %1 \"%2\"").arg(announced).arg(version));
    }
    if (announced) {
        control.show_plugin(false);
        const std::vector<EmFakePluginPlatform::ShowCall>& shown = desktop.platform->show_calls();
        if (shown.size() != 1 || shown[0].restored ||
            desktop.parent_of[shown[0].window] != EmPluginPlatform::no_window) {
            fuzz::fail("hiding the plugin hides one top-level window");
        }
    }
    return 0;
}
