#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

// The test's own client of its X server, for windows and properties that the window clients do
// not make: a window manager's stacking list, old-style titles, the resource database.
class X11TestConnection
{
public:
    explicit X11TestConnection(const std::string& display);
    ~X11TestConnection();
    X11TestConnection(const X11TestConnection&) = delete;
    X11TestConnection& operator=(const X11TestConnection&) = delete;

    xcb_window_t root() const;
    // An unmapped window without any property.
    xcb_window_t make_window(xcb_window_t parent);
    void destroy(xcb_window_t window);
    void set_text(xcb_window_t window, const std::string& property, const std::string& type,
                  const std::string& value);
    void set_longs(xcb_window_t window, const std::string& property, const std::string& type,
                   const std::vector<std::uint32_t>& values);
    void remove(xcb_window_t window, const std::string& property);
    // Waits until the server has carried out everything sent so far.
    void sync();

private:
    xcb_atom_t atom(const std::string& name);

    xcb_connection_t* connection;
};
