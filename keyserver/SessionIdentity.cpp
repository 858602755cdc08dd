#include "SessionIdentity.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

constexpr std::size_t session_bytes = 16;

bool looks_like_session(const std::string& value)
{
    return value.size() == 2 * session_bytes && std::all_of(value.begin(), value.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The value of our cookie among those of one "Cookie" header ("a=1; b=2"); empty when absent.
std::string cookie_value(const std::string& header, const std::string& name)
{
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(';', start);
        if (end == std::string::npos) {
            end = header.size();
        }
        const std::size_t first = header.find_first_not_of(' ', start);
        if (first < end && header.compare(first, name.size() + 1, name + "=") == 0) {
            return header.substr(first + name.size() + 1, end - first - name.size() - 1);
        }
        start = end + 1;
    }
    return {};
}

} // namespace

const std::string SessionIdentity::cookie_name = "kestrune_session";

Session SessionIdentity::of(const std::vector<std::string>& cookie_headers, const std::string& session_id,
                            const std::string& client_address)
{
    for (const std::string& header : cookie_headers) {
        const std::string value = cookie_value(header, cookie_name);
        if (looks_like_session(value)) {
            return {"cookie:" + value, true};
        }
    }
    if (!session_id.empty()) {
        return {"serial:" + session_id, false};
    }
    return {"peer:" + client_address, false};
}

bool SessionIdentity::is_curator(const std::string& presented, const std::string& token)
{
    const std::string expected = "Bearer " + token;
    // Compared in constant time, so that the answer's timing gives no hint of a prefix.
    return !token.empty() && presented.size() == expected.size() &&
           CRYPTO_memcmp(presented.data(), expected.data(), expected.size()) == 0;
}

std::string SessionIdentity::new_cookie(const std::string& path)
{
    std::array<unsigned char, session_bytes> random{};
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) {
        throw std::runtime_error("no random bytes for a session cookie");
    }
    static const char digits[] = "0123456789abcdef";
    std::string value;
    for (unsigned char byte : random) {
        value += digits[byte >> 4];
        value += digits[byte & 0x0F];
    }
    return cookie_name + "=" + value + "; Path=" + path + "; Secure; HttpOnly";
}
