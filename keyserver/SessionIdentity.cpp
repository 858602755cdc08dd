#include "SessionIdentity.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace {

constexpr std::size_t session_bytes = 16;
// Half of an HMAC-SHA256, as hexadecimal digits: forging one takes 2^128 tries.
constexpr std::size_t signature_digits = 32;
constexpr std::size_t secret_bytes = 32;

bool is_hex(const std::string& value)
{
    return std::all_of(value.begin(), value.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

std::string hex(const unsigned char* bytes, std::size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::string random_hex(std::size_t size)
{
    std::array<unsigned char, 64> random{};
    if (size > random.size() || RAND_bytes(random.data(), static_cast<int>(size)) != 1) {
        throw std::runtime_error("no random bytes for a session");
    }
    return hex(random.data(), size);
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

SessionIdentity::SessionIdentity(std::string secret)
    : secret(secret.empty() ? random_secret() : std::move(secret))
{
}

std::string SessionIdentity::random_secret()
{
    return random_hex(secret_bytes);
}

std::string SessionIdentity::signature(const std::string& session) const
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> mac{};
    unsigned int size = 0;
    if (!HMAC(EVP_sha256(), secret.data(), static_cast<int>(secret.size()),
              reinterpret_cast<const unsigned char*>(session.data()), session.size(), mac.data(), &size)) {
        throw std::runtime_error("cannot sign a session cookie");
    }
    return hex(mac.data(), signature_digits / 2);
}

Session SessionIdentity::of(const std::vector<std::string>& cookie_headers, const std::string& session_id,
                            const std::string& client_address) const
{
    constexpr std::size_t session_digits = 2 * session_bytes;
    for (const std::string& header : cookie_headers) {
        const std::string value = cookie_value(header, cookie_name);
        if (value.size() != session_digits + 1 + signature_digits || value[session_digits] != '.' ||
            !is_hex(value.substr(0, session_digits))) {
            continue;
        }
        const std::string session = value.substr(0, session_digits);
        const std::string expected = signature(session);
        // Compared in constant time, so that the answer's timing gives no hint of a prefix.
        if (CRYPTO_memcmp(value.data() + session_digits + 1, expected.data(), signature_digits) == 0) {
            return {"cookie:" + session, true};
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
    return !token.empty() && presented.size() == expected.size() &&
           CRYPTO_memcmp(presented.data(), expected.data(), expected.size()) == 0;
}

std::string SessionIdentity::new_cookie(const std::string& path) const
{
    const std::string session = random_hex(session_bytes);
    return cookie_name + "=" + session + "." + signature(session) + "; Path=" + path + "; Secure; HttpOnly";
}
