#include "EmPluginControl.h"

#include "ZuDataBus.h"

#include <QTimer>
#include <cstdio>
#include <vector>

namespace {

struct PluginKind
{
    int version;
    const char* class_name;
    QPointF scale_point;
    QPointF key_point;
    const char* version_text;
};

// Where each plugin version draws its Scale and Key pop-ups, in its window's client coordinates
// at 96 dots per inch.
const PluginKind plugin_kinds[] = {
    {1, "AT5PluginWnd", {142, 133}, {46, 133}, "5"},
    {2, "ATEvoPluginWndClass", {337, 28}, {279, 28}, "6"},
};

const PluginKind* kind_of_version(int version)
{
    for (const PluginKind& kind : plugin_kinds) {
        if (kind.version == version) {
            return &kind;
        }
    }
    return nullptr;
}

const PluginKind* kind_of_class(const std::string& class_name)
{
    for (const PluginKind& kind : plugin_kinds) {
        if (class_name == kind.class_name) {
            return &kind;
        }
    }
    return nullptr;
}

std::shared_ptr<EmPluginPlatform>& installed_platform()
{
    static std::shared_ptr<EmPluginPlatform> platform;
    return platform;
}

} // namespace

EmPluginControl::EmPluginControl(std::shared_ptr<EmPluginPlatform> platform)
    : platform(std::move(platform))
    , timer(new QTimer(this))
{
    set_plugin_version(2);
    timer->setInterval(2000);
    connect(timer, &QTimer::timeout, this, &EmPluginControl::dect_plugin);
    timer->start();
}

void EmPluginControl::install(std::shared_ptr<EmPluginPlatform> platform)
{
    installed_platform() = std::move(platform);
}

EmPluginControl* EmPluginControl::instance()
{
    if (!installed_platform()) {
        qFatal("EmPluginControl::instance() called before EmPluginControl::install()");
    }
    static EmPluginControl* const control = new EmPluginControl(installed_platform());
    return control;
}

void EmPluginControl::set_auto_apply(bool on)
{
    auto_apply_on = on;
}

bool EmPluginControl::auto_apply() const
{
    return auto_apply_on;
}

bool EmPluginControl::toggle_scale_compensation()
{
    scale_compensation = !scale_compensation;
    return scale_compensation;
}

void EmPluginControl::update_key_string(QString kn)
{
    if (const std::optional<EmKeynoteRule::Numbers> numbers = keynote_rule.numbers(kn)) {
        apply(numbers->scale, numbers->key);
    }
}

void EmPluginControl::show_plugin(bool b)
{
    if (plugin_window == EmPluginPlatform::no_window) {
        return;
    }
    const WindowHandle root = platform->root_ancestor(plugin_window);
    if (root == EmPluginPlatform::no_window) {
        return;
    }
    if (b) {
        platform->show_restored(root);
    } else {
        platform->hide(root);
    }
}

void EmPluginControl::dect_plugin()
{
    bool found;
    QString version_text;
    {
        QMutexLocker locker(&mutex);
        plugin_window = EmPluginPlatform::no_window;
        find_plugin_window();
        found = plugin_window != EmPluginPlatform::no_window;
        if (found) {
            version_text = QString::fromLatin1(kind_of_version(plugin_version)->version_text);
        }
    }
    // Announced outside the lock, so that a receiver may apply a keynote straight away without
    // locking itself out.
    emit ZuDataBus::instance()->emusic_plugin_enable(found, version_text);
}

void EmPluginControl::find_plugin_window()
{
    // Depth first without recursion: any local client can nest windows deeper than a thread's
    // stack would allow. Each level remembers the child it reached last.
    struct Level
    {
        WindowHandle parent;
        WindowHandle reached;
    };
    std::vector<Level> levels{{EmPluginPlatform::no_window, EmPluginPlatform::no_window}};
    while (!levels.empty()) {
        Level& level = levels.back();
        const WindowHandle child = platform->next_child(level.parent, level.reached);
        if (child == EmPluginPlatform::no_window) {
            levels.pop_back();
            continue;
        }
        level.reached = child;
        const PluginKind* kind = kind_of_class(platform->class_name(child));
        if (kind) {
            // A match ends only this level; the levels above go on, so the last plugin window
            // in search order is the one kept.
            plugin_window = child;
            set_plugin_version(kind->version);
            levels.pop_back();
        } else {
            levels.push_back({child, EmPluginPlatform::no_window});
        }
    }
}

void EmPluginControl::set_plugin_version(int version)
{
    plugin_version = version;
    if (const PluginKind* kind = kind_of_version(version)) {
        scale_point = kind->scale_point;
        key_point = kind->key_point;
    }
}

void EmPluginControl::apply(int scale, int key)
{
    if (!auto_apply_on) {
        return;
    }
    // A detection must not swap the window out in the middle of a click sequence.
    QMutexLocker locker(&mutex);
    plugin_window = EmPluginPlatform::no_window;
    find_plugin_window();
    click_and_pick(scale_point, scale);
    click_and_pick(key_point, key);
}

void EmPluginControl::click_and_pick(QPointF point, int count)
{
    const double factor = scale_compensation ? screen_scale_factor() : 1.0;
    const auto x = static_cast<std::uintptr_t>(static_cast<int>(point.x() * factor));
    const auto y = static_cast<std::uintptr_t>(static_cast<int>(point.y() * factor));
    if (plugin_window == EmPluginPlatform::no_window) {
        return;
    }
    const std::uintptr_t position = (y & 0xFFFF) << 16 | (x & 0xFFFF);
    post_logged(EmPluginPlatform::wm_lbuttondown, EmPluginPlatform::mk_lbutton, position);
    post_logged(EmPluginPlatform::wm_lbuttonup, EmPluginPlatform::mk_lbutton, position);
    menu_pick(count);
}

void EmPluginControl::menu_pick(int count)
{
    if (plugin_window == EmPluginPlatform::no_window) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        post(EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_down, EmPluginPlatform::key_press_data);
        post_logged(EmPluginPlatform::wm_keyup, EmPluginPlatform::vk_down,
                    EmPluginPlatform::key_release_data);
    }
    // Deliberately the release-style key data: the plugin has always been driven with it.
    post(EmPluginPlatform::wm_keydown, EmPluginPlatform::vk_return, EmPluginPlatform::key_release_data);
}

double EmPluginControl::screen_scale_factor() const
{
    // Read every time, since the user may change the display scaling while the program runs.
    // No positions were ever measured beyond 192 dpi, so the design positions are used there.
    const int dpi = platform->screen_dpi();
    if (dpi <= 96) {
        return 1.0;
    }
    if (dpi <= 120) {
        return 1.25;
    }
    if (dpi <= 144) {
        return 1.5;
    }
    if (dpi <= 192) {
        return 2.0;
    }
    return 1.0;
}

EmPluginPlatform::PostResult EmPluginControl::post(std::uint32_t message, std::uintptr_t first,
                                                   std::uintptr_t second)
{
    return platform->post_message(plugin_window, message, first, second);
}

void EmPluginControl::post_logged(std::uint32_t message, std::uintptr_t first, std::uintptr_t second)
{
    const EmPluginPlatform::PostResult result = post(message, first, second);
    if (result.ok) {
        std::printf("发送窗口消息成功\n");
    } else {
        std::printf("发送窗口消息失败%d\n", static_cast<int>(result.error));
    }
    // Flushed at once: with output going to a file the lines would otherwise be lost when the
    // program is stopped by a signal.
    std::fflush(stdout);
}
