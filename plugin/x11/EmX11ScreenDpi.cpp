#include "EmX11ScreenDpi.h"

#include "EmX11PropertyReply.h"

#include <charconv>
#include <cmath>
#include <sstream>

namespace {

// Resource databases are a few kilobytes; this bounds what a broken client could make us read.
constexpr std::uint32_t resource_longs = 256 * 1024;

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

int EmX11ScreenDpi::read(xcb_connection_t* connection, const xcb_screen_t& screen)
{
    const EmX11PropertyReply resources(connection,
                                       xcb_get_property(connection, 0, screen.root, XCB_ATOM_RESOURCE_MANAGER,
                                                        XCB_ATOM_STRING, 0, resource_longs));
    if (const std::optional<int> dpi = xft_dpi(resources.bytes())) {
        return *dpi;
    }
    if (screen.width_in_millimeters == 0) {
        return fallback;
    }
    const long computed = std::lround(screen.width_in_pixels * 25.4 / screen.width_in_millimeters);
    return computed > 0 ? static_cast<int>(computed) : fallback;
}

std::optional<int> EmX11ScreenDpi::xft_dpi(const std::string& resources)
{
    std::optional<int> dpi;
    std::istringstream lines(resources);
    std::string line;
    // Later lines override earlier ones, as in any resource database.
    while (std::getline(lines, line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || trimmed(line.substr(0, colon)) != "Xft.dpi") {
            continue;
        }
        const std::string value = trimmed(line.substr(colon + 1));
        // Not strtod: the program runs in the user's locale, where the decimal point may be a comma.
        double parsed = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
        if (error == std::errc() && end == value.data() + value.size() && parsed >= 0.5 && parsed < 100000) {
            dpi = static_cast<int>(std::lround(parsed));
        }
    }
    return dpi;
}
