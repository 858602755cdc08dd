#include "EmX11PropertyReply.h"

#include <cstdlib>

EmX11PropertyReply::EmX11PropertyReply(xcb_connection_t* connection, xcb_get_property_cookie_t cookie)
{
    xcb_generic_error_t* failure = nullptr;
    reply = xcb_get_property_reply(connection, cookie, &failure);
    if (failure) {
        error = failure->error_code;
        std::free(failure);
    }
}

EmX11PropertyReply::~EmX11PropertyReply()
{
    std::free(reply);
}

EmX11PropertyReply::EmX11PropertyReply(EmX11PropertyReply&& other) noexcept
    : reply(other.reply)
    , error(other.error)
{
    other.reply = nullptr;
}

xcb_atom_t EmX11PropertyReply::type() const
{
    return reply ? reply->type : xcb_atom_t{XCB_ATOM_NONE};
}

std::string EmX11PropertyReply::bytes() const
{
    if (!reply || reply->format != 8) {
        return {};
    }
    return std::string(static_cast<const char*>(xcb_get_property_value(reply)),
                       static_cast<std::size_t>(xcb_get_property_value_length(reply)));
}

std::optional<std::uint32_t> EmX11PropertyReply::first_long(xcb_atom_t expected_type) const
{
    if (!reply || reply->type != expected_type || reply->format != 32 ||
        xcb_get_property_value_length(reply) < 4) {
        return std::nullopt;
    }
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
}

std::vector<std::uint32_t> EmX11PropertyReply::longs() const
{
    if (!reply || reply->format != 32) {
        return {};
    }
    const auto* const first = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    return std::vector<std::uint32_t>(first, first + xcb_get_property_value_length(reply) / 4);
}

std::string EmX11PropertyReply::class_part() const
{
    if (type() != XCB_ATOM_STRING) {
        return {};
    }
    const std::string value = bytes();
    const std::size_t instance_end = value.find('\0');
    if (instance_end == std::string::npos) {
        return {};
    }
    const std::size_t class_end = value.find('\0', instance_end + 1);
    return value.substr(instance_end + 1,
                        class_end == std::string::npos ? std::string::npos : class_end - instance_end - 1);
}
