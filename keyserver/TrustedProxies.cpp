#include "TrustedProxies.h"

#include <boost/asio/ip/address.hpp>

#include <optional>
#include <stdexcept>

namespace {

// Every address as 16 bytes, IPv4 ones mapped into IPv6, so that one comparison serves both.
std::optional<std::array<unsigned char, 16>> address_bytes(const std::string& text)
{
    boost::system::error_code failed;
    const boost::asio::ip::address address = boost::asio::ip::make_address(text, failed);
    if (failed) {
        return std::nullopt;
    }
    if (address.is_v4()) {
        return boost::asio::ip::make_address_v6(boost::asio::ip::v4_mapped, address.to_v4()).to_bytes();
    }
    return address.to_v6().to_bytes();
}

std::string trimmed(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string()
                                      : text.substr(first, text.find_last_not_of(" \t") + 1 - first);
}

} // namespace

TrustedProxies::TrustedProxies(const std::vector<std::string>& texts)
{
    for (const std::string& text : texts) {
        const std::size_t slash = text.find('/');
        const std::string address = text.substr(0, slash);
        const std::optional<std::array<unsigned char, 16>> bytes = address_bytes(address);
        const bool v4 = address.find(':') == std::string::npos;
        unsigned prefix = 128;
        if (bytes && slash != std::string::npos) {
            const std::string length = text.substr(slash + 1);
            const unsigned most = v4 ? 32 : 128;
            if (length.empty() || length.size() > 3 ||
                length.find_first_not_of("0123456789") != std::string::npos || std::stoul(length) > most) {
                throw std::invalid_argument("not an address range: " + text);
            }
            prefix = static_cast<unsigned>(std::stoul(length)) + (v4 ? 96 : 0);
        }
        if (!bytes) {
            throw std::invalid_argument("not an address range: " + text);
        }
        ranges.push_back({*bytes, prefix});
    }
}

bool TrustedProxies::trusted(const std::string& address) const
{
    const std::optional<std::array<unsigned char, 16>> bytes = address_bytes(address);
    if (!bytes) {
        return false;
    }
    for (const Range& range : ranges) {
        bool inside = true;
        for (unsigned bit = 0; bit < range.prefix && inside; ++bit) {
            const unsigned char mask = static_cast<unsigned char>(0x80 >> (bit % 8));
            inside = ((*bytes)[bit / 8] & mask) == (range.bytes[bit / 8] & mask);
        }
        if (inside) {
            return true;
        }
    }
    return false;
}

std::string TrustedProxies::client_address(const std::string& peer, const std::string& forwarded_for) const
{
    if (forwarded_for.empty() || !trusted(peer)) {
        return peer;
    }
    const std::size_t comma = forwarded_for.rfind(',');
    const std::string last =
        trimmed(comma == std::string::npos ? forwarded_for : forwarded_for.substr(comma + 1));
    boost::system::error_code failed;
    const boost::asio::ip::address address = boost::asio::ip::make_address(last, failed);
    return failed ? peer : address.to_string();
}
