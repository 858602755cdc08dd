#include "X11TestConnection.h"

#include <cstdlib>
#include <stdexcept>

X11TestConnection::X11TestConnection(const std::string& display)
    : connection(xcb_connect(display.c_str(), nullptr))
{
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        throw std::runtime_error("cannot connect to " + display);
    }
}

X11TestConnection::~X11TestConnection()
{
    xcb_disconnect(connection);
}

xcb_window_t X11TestConnection::root() const
{
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

xcb_window_t X11TestConnection::make_window(xcb_window_t parent)
{
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, parent, 0, 0, 100, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    sync();
    return window;
}

void X11TestConnection::destroy(xcb_window_t window)
{
    xcb_destroy_window(connection, window);
    sync();
}

void X11TestConnection::set_text(xcb_window_t window, const std::string& property, const std::string& type,
                                 const std::string& value)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(property), atom(type), 8,
                        value.size(), value.data());
    sync();
}

void X11TestConnection::set_longs(xcb_window_t window, const std::string& property, const std::string& type,
                                  const std::vector<std::uint32_t>& values)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom(property), atom(type), 32,
                        values.size(), values.data());
    sync();
}

void X11TestConnection::remove(xcb_window_t window, const std::string& property)
{
    xcb_delete_property(connection, window, atom(property));
    sync();
}

void X11TestConnection::sync()
{
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

xcb_atom_t X11TestConnection::atom(const std::string& name)
{
    xcb_intern_atom_reply_t* const reply =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.c_str()), nullptr);
    if (!reply) {
        throw std::runtime_error("no atom " + name);
    }
    const xcb_atom_t result = reply->atom;
    std::free(reply);
    return result;
}
