#include "X11DesktopDriver.h"

#include "EmX11PlayerPlatform.h"
#include "EmX11PluginPlatform.h"
#include "StartedProcessesPlayerPlatform.h"
#include "X11ManagerCheck.h"

#include <xcb/xcb_icccm.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <utility>

std::unique_ptr<DesktopDriver> make_desktop_driver()
{
    return std::make_unique<X11DesktopDriver>();
}

X11DesktopDriver::X11DesktopDriver()
{
    server.start();
    observer = xcb_connect(server.display().c_str(), nullptr);
    if (xcb_connection_has_error(observer)) {
        xcb_disconnect(observer);
        throw std::runtime_error("cannot connect to " + server.display());
    }
}

X11DesktopDriver::~X11DesktopDriver()
{
    clients.clear();
    xcb_disconnect(observer);
}

DesktopDriver::ProcessId X11DesktopDriver::start_process(const std::string& exe_name)
{
    auto client = std::make_unique<X11WindowClient>(exe_name, server.display());
    const ProcessId id = client->pid();
    started->insert(id);
    clients[id] = std::move(client);
    return id;
}

void X11DesktopDriver::stop_process(ProcessId process)
{
    clients.erase(process);
}

DesktopDriver::WindowId X11DesktopDriver::make_top_level(ProcessId process, const std::string& class_name,
                                                         const std::string& title, WindowId owner)
{
    const WindowId window =
        clients.at(process)->make_top_level(class_name, title, static_cast<X11WindowClient::WindowId>(owner));
    makers[window] = process;
    return window;
}

DesktopDriver::WindowId X11DesktopDriver::make_child(WindowId parent, const std::string& class_name)
{
    const WindowId window =
        client_of(parent).make_child(static_cast<X11WindowClient::WindowId>(parent), class_name);
    makers[window] = makers.at(parent);
    return window;
}

void X11DesktopDriver::set_title(WindowId window, const std::string& title)
{
    client_of(window).set_title(static_cast<X11WindowClient::WindowId>(window), title);
}

void X11DesktopDriver::destroy_window(WindowId window)
{
    client_of(window).destroy(static_cast<X11WindowClient::WindowId>(window));
}

std::shared_ptr<EmPlayerPlatform> X11DesktopDriver::player_platform()
{
    return std::make_shared<StartedProcessesPlayerPlatform>(
        std::make_shared<EmX11PlayerPlatform>("/proc", server.display()), started);
}

std::shared_ptr<EmPluginPlatform> X11DesktopDriver::plugin_platform()
{
    return std::make_shared<EmX11PluginPlatform>(server.display());
}

EmPluginPlatform::WindowHandle X11DesktopDriver::plugin_handle(WindowId window)
{
    return static_cast<EmPluginPlatform::WindowHandle>(window);
}

std::vector<DesktopDriver::Delivery> X11DesktopDriver::take_deliveries(WindowId window)
{
    for (const X11WindowClient::Event& event : client_of(window).take_events()) {
        undelivered[event.window].push_back(delivery_of(event.description));
    }
    return std::exchange(undelivered[window], {});
}

bool X11DesktopDriver::hide_window(WindowId window)
{
    client_of(window).hide(static_cast<X11WindowClient::WindowId>(window));
    return true;
}

bool X11DesktopDriver::minimize(WindowId window)
{
    // Without a manager there is nothing to minimise to.
    if (!x11_manager_runs(observer)) {
        return false;
    }
    // What a client asks of its manager to minimise itself (ICCCM's WM_CHANGE_STATE, IconicState).
    const char name[] = "WM_CHANGE_STATE";
    xcb_intern_atom_reply_t* const atom =
        xcb_intern_atom_reply(observer, xcb_intern_atom(observer, 0, std::strlen(name), name), nullptr);
    if (!atom) {
        throw std::runtime_error("no WM_CHANGE_STATE atom");
    }
    xcb_client_message_event_t iconify{};
    iconify.response_type = XCB_CLIENT_MESSAGE;
    iconify.format = 32;
    iconify.window = static_cast<xcb_window_t>(window);
    iconify.type = atom->atom;
    iconify.data.data32[0] = XCB_ICCCM_WM_STATE_ICONIC;
    std::free(atom);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(observer)).data->root;
    xcb_send_event(observer, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&iconify));
    xcb_flush(observer);
    if (!becomes_visible(window, false)) {
        throw std::runtime_error("the window manager did not minimise the window");
    }
    return true;
}

bool X11DesktopDriver::is_visible(WindowId window)
{
    xcb_get_window_attributes_reply_t* const attributes = xcb_get_window_attributes_reply(
        observer, xcb_get_window_attributes(observer, static_cast<xcb_window_t>(window)), nullptr);
    if (!attributes) {
        throw std::runtime_error("no such window");
    }
    // Mapped counts, also inside an unmapped ancestor (the server calls that "unviewable").
    const bool mapped = attributes->map_state != XCB_MAP_STATE_UNMAPPED;
    std::free(attributes);
    return mapped;
}

bool X11DesktopDriver::set_screen_dpi(int dpi)
{
    const std::string resources = "Xft.dpi:\t" + std::to_string(dpi) + "\n";
    xcb_screen_t* const screen = xcb_setup_roots_iterator(xcb_get_setup(observer)).data;
    xcb_change_property(observer, XCB_PROP_MODE_REPLACE, screen->root, XCB_ATOM_RESOURCE_MANAGER,
                        XCB_ATOM_STRING, 8, resources.size(), resources.data());
    std::free(xcb_get_input_focus_reply(observer, xcb_get_input_focus(observer), nullptr));
    return true;
}

X11WindowClient& X11DesktopDriver::client_of(WindowId window)
{
    return *clients.at(makers.at(window));
}

DesktopDriver::Delivery X11DesktopDriver::delivery_of(const std::string& description)
{
    std::istringstream words(description);
    std::string kind;
    words >> kind;
    Delivery delivery{Delivery::Kind::button_press, 0, 0, {}};
    if (kind == "press" || kind == "release") {
        delivery.kind = kind == "press" ? Delivery::Kind::button_press : Delivery::Kind::button_release;
        words >> delivery.x >> delivery.y;
    } else if (kind == "keypress" || kind == "keyrelease") {
        delivery.kind = kind == "keypress" ? Delivery::Kind::key_press : Delivery::Kind::key_release;
        words >> delivery.key;
    } else {
        throw std::runtime_error("unknown event " + description);
    }
    return delivery;
}
