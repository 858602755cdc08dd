#include "MainWindowProbe.h"

#include "WaitUntil.h"

#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

const std::string main_window_title = "Velmora电音助手";

constexpr int panel_height = 50;
constexpr int panel_margin = 14;
constexpr int indicator_size = 16;
constexpr int panel_spacing = 10;
// A 16-pixel light or indicator covers about 200 pixels; far fewer in its colour is something
// else, such as the edge of a word.
constexpr int enough_pixels = 40;

template <typename Reply>
using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

template <typename Reply>
ReplyPointer<Reply> owned(Reply* reply)
{
    return ReplyPointer<Reply>(reply, &std::free);
}

xcb_atom_t intern(xcb_connection_t* connection, const char* name)
{
    const auto reply = owned(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

int channel(std::uint32_t rgb, int shift)
{
    return static_cast<int>(rgb >> shift & 0xFF);
}

// The status images' green (52, 199, 123) and red (239, 77, 90), and the checked box's blue
// (108, 123, 255), with room for the edges that are blended into the background.
bool light_green(std::uint32_t rgb)
{
    return channel(rgb, 16) <= 120 && channel(rgb, 8) >= 150 && channel(rgb, 0) <= 170;
}

bool light_red(std::uint32_t rgb)
{
    return channel(rgb, 16) >= 200 && channel(rgb, 8) <= 130 && channel(rgb, 0) <= 140;
}

bool check_blue(std::uint32_t rgb)
{
    return channel(rgb, 16) <= 170 && channel(rgb, 8) <= 180 && channel(rgb, 0) >= 220;
}

int count_in_columns(const ScreenImage& image, int from, int to,
                     const std::function<bool(std::uint32_t)>& test)
{
    int count = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = std::max(0, from); x < std::min(to, image.width); ++x) {
            count += test(image.at(x, y)) ? 1 : 0;
        }
    }
    return count;
}

int mask_shift(std::uint32_t mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

MainWindowProbe::MainWindowProbe(const std::string& display)
    : connection(xcb_connect(display.c_str(), nullptr))
{
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        throw std::runtime_error("cannot connect to the X display " + display);
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    net_wm_pid = intern(connection, "_NET_WM_PID");
    net_wm_name = intern(connection, "_NET_WM_NAME");
    utf8_string = intern(connection, "UTF8_STRING");
}

MainWindowProbe::~MainWindowProbe()
{
    xcb_disconnect(connection);
}

xcb_window_t MainWindowProbe::find_main_window(std::uint32_t pid)
{
    return find_window(pid, main_window_title);
}

xcb_window_t MainWindowProbe::find_window(std::uint32_t pid, const std::string& title)
{
    // The root's children, and theirs, which is where a window manager's frame holds its client.
    std::vector<xcb_window_t> candidates = children_of(screen->root);
    for (std::size_t i = 0, top_levels = candidates.size(); i < top_levels; ++i) {
        const std::vector<xcb_window_t> inside = children_of(candidates[i]);
        candidates.insert(candidates.end(), inside.begin(), inside.end());
    }
    for (const xcb_window_t window : candidates) {
        const auto attributes = owned(xcb_get_window_attributes_reply(
            connection, xcb_get_window_attributes(connection, window), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
            continue;
        }
        const auto pid_reply = owned(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, net_wm_pid, XCB_ATOM_CARDINAL, 0, 1),
            nullptr));
        if (!pid_reply || xcb_get_property_value_length(pid_reply.get()) != 4 ||
            *static_cast<const std::uint32_t*>(xcb_get_property_value(pid_reply.get())) != pid) {
            continue;
        }
        if (text_property(window, net_wm_name, utf8_string) == title) {
            return window;
        }
    }
    return XCB_WINDOW_NONE;
}

std::vector<xcb_window_t> MainWindowProbe::children_of(xcb_window_t window)
{
    const auto tree = owned(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
    if (!tree) {
        return {};
    }
    const xcb_window_t* const children = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

MainWindowProbe::Light MainWindowProbe::plugin_light(xcb_window_t window)
{
    const ScreenImage strip = panel(window);
    const int from = strip.width - panel_margin - indicator_size;
    const int to = strip.width - panel_margin;
    if (count_in_columns(strip, from, to, light_green) >= enough_pixels) {
        return Light::green;
    }
    if (count_in_columns(strip, from, to, light_red) >= enough_pixels) {
        return Light::red;
    }
    return Light::unknown;
}

bool MainWindowProbe::auto_apply_checked(xcb_window_t window)
{
    const ScreenImage strip = panel(window);
    return count_in_columns(strip, panel_margin, panel_margin + indicator_size, check_blue) >= enough_pixels;
}

void MainWindowProbe::click_auto_apply(xcb_window_t window)
{
    click(window, panel_margin + indicator_size / 2);
}

void MainWindowProbe::click_hide_plugin(xcb_window_t window)
{
    // The box is as wide as its text, which ends where the spacing before the light begins; a
    // click a few pixels inside that end lands on the text's last character.
    click(window, -(panel_margin + indicator_size + panel_spacing + 6));
}

// x_in_panel counts from the left edge, or from the right edge when it is negative.
void MainWindowProbe::click(xcb_window_t window, int x_in_panel)
{
    raise(window);
    const Area area = area_on_screen(window);
    const auto x =
        static_cast<std::int16_t>(area.x + (x_in_panel >= 0 ? x_in_panel : area.width + x_in_panel));
    const auto y = static_cast<std::int16_t>(area.y + area.height - panel_height / 2);
    xcb_test_fake_input(connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, screen->root, x, y, 0);
    xcb_test_fake_input(connection, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    xcb_test_fake_input(connection, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_WINDOW_NONE, 0, 0, 0);
    sync();
}

std::string MainWindowProbe::switch_auto_apply_on(xcb_window_t window, std::chrono::milliseconds light_within)
{
    // Detection runs every two seconds; the light turns green, and the box can be ticked, once
    // the program has found the plugin.
    if (!wait_until([&] { return plugin_light(window) == Light::green; }, light_within)) {
        return "the status light did not turn green: the plugin window was not found";
    }
    if (auto_apply_checked(window)) {
        return "auto-apply must start off";
    }
    click_auto_apply(window);
    if (!wait_until([&] { return auto_apply_checked(window); }, std::chrono::seconds(5))) {
        return "the click did not tick the auto-apply box";
    }
    return {};
}

ScreenImage MainWindowProbe::grab_main_window(xcb_window_t window)
{
    raise(window);
    // The program repaints the uncovered parts on its own time; the picture is taken once two
    // looks a moment apart agree, or after two seconds.
    ScreenImage image = grab(area_on_screen(window));
    for (int look = 0; look < 20; ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ScreenImage again = grab(area_on_screen(window));
        const bool settled = again.pixels == image.pixels;
        image = std::move(again);
        if (settled) {
            break;
        }
    }
    return image;
}

ScreenImage MainWindowProbe::grab_screen()
{
    return grab({0, 0, screen->width_in_pixels, screen->height_in_pixels});
}

MainWindowProbe::Area MainWindowProbe::area_on_screen(xcb_window_t window)
{
    const auto geometry =
        owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr));
    const auto origin = owned(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, window, screen->root, 0, 0), nullptr));
    if (!geometry || !origin) {
        throw std::runtime_error("the main window is gone");
    }
    return {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

ScreenImage MainWindowProbe::panel(xcb_window_t window)
{
    raise(window);
    const Area area = area_on_screen(window);
    return grab({area.x, area.y + area.height - panel_height, area.width, panel_height});
}

ScreenImage MainWindowProbe::grab(Area area)
{
    // Only the part on the screen can be read.
    const int left = std::max(0, area.x);
    const int top = std::max(0, area.y);
    const int right = std::min<int>(screen->width_in_pixels, area.x + area.width);
    const int bottom = std::min<int>(screen->height_in_pixels, area.y + area.height);
    if (right <= left || bottom <= top) {
        throw std::runtime_error("the area is off the screen");
    }
    ScreenImage image;
    image.width = right - left;
    image.height = bottom - top;
    const auto reply = owned(xcb_get_image_reply(
        connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, static_cast<std::int16_t>(left),
                      static_cast<std::int16_t>(top), static_cast<std::uint16_t>(image.width),
                      static_cast<std::uint16_t>(image.height), ~0u),
        nullptr));
    if (!reply) {
        throw std::runtime_error("the screen cannot be read");
    }
    const xcb_setup_t* setup = xcb_get_setup(connection);
    int bits_per_pixel = 0;
    int scanline_pad = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem; xcb_format_next(&formats)) {
        if (formats.data->depth == reply->depth) {
            bits_per_pixel = formats.data->bits_per_pixel;
            scanline_pad = formats.data->scanline_pad;
        }
    }
    const xcb_visualtype_t* visual = nullptr;
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem && !visual;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == reply->visual) {
                visual = visuals.data;
                break;
            }
        }
    }
    // Virtual and ordinary desktop screens alike: 8 bits a colour in 32-bit pixels.
    if (bits_per_pixel != 32 || !visual || visual->bits_per_rgb_value != 8) {
        throw std::runtime_error("the screen's pixel format is not 8 bits a colour in 32-bit pixels");
    }
    const std::size_t stride =
        (static_cast<std::size_t>(image.width) * 32 + scanline_pad - 1) / scanline_pad * scanline_pad / 8;
    const std::uint8_t* data = xcb_get_image_data(reply.get());
    const bool least_first = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    const int red_shift = mask_shift(visual->red_mask);
    const int green_shift = mask_shift(visual->green_mask);
    const int blue_shift = mask_shift(visual->blue_mask);
    image.pixels.reserve(static_cast<std::size_t>(image.width) * image.height);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* bytes = data + y * stride + x * 4;
            const std::uint32_t value =
                least_first
                    ? bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24
                    : bytes[3] | bytes[2] << 8 | bytes[1] << 16 | static_cast<std::uint32_t>(bytes[0]) << 24;
            image.pixels.push_back((value >> red_shift & 0xFF) << 16 | (value >> green_shift & 0xFF) << 8 |
                                   (value >> blue_shift & 0xFF));
        }
    }
    return image;
}

void MainWindowProbe::raise(xcb_window_t window)
{
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    sync();
}

void MainWindowProbe::sync()
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

std::string MainWindowProbe::text_property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type)
{
    const auto reply = owned(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, 256), nullptr));
    if (!reply) {
        return {};
    }
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}
