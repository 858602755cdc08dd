#include "DesktopDriver.h"

#include <chrono>
#include <ostream>
#include <thread>

bool DesktopDriver::Delivery::operator==(const Delivery& other) const
{
    return kind == other.kind && x == other.x && y == other.y && key == other.key;
}

bool DesktopDriver::hide_window(WindowId)
{
    return false;
}

bool DesktopDriver::minimize(WindowId)
{
    return false;
}

bool DesktopDriver::becomes_visible(WindowId window, bool visible)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (is_visible(window) != visible) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

namespace {

const char* kind_name(DesktopDriver::Delivery::Kind kind)
{
    switch (kind) {
    case DesktopDriver::Delivery::Kind::button_press:
        return "button press";
    case DesktopDriver::Delivery::Kind::button_release:
        return "button release";
    case DesktopDriver::Delivery::Kind::key_press:
        return "key press";
    case DesktopDriver::Delivery::Kind::key_release:
        return "key release";
    }
    return "?";
}

} // namespace

// Found by GoogleTest through argument-dependent lookup, so that a failed comparison shows the
// events rather than their bytes.
void PrintTo(const DesktopDriver::Delivery& delivery, std::ostream* out)
{
    *out << "{" << kind_name(delivery.kind);
    if (delivery.key.empty()) {
        *out << " at " << delivery.x << "," << delivery.y;
    } else {
        *out << " " << delivery.key;
    }
    *out << "}";
}
