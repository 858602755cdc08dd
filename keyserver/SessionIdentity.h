#pragma once

#include <string>
#include <vector>

// Who a request comes from, for proposals: the session cookie this service handed out, else the
// client's "Session-Id" header (its device serial), else its address.
struct Session
{
    std::string key;
    bool has_cookie = false;
};

// Hands out session cookies signed with a secret, and knows them again, so that every service
// holding the same secret takes the cookies of the others and none keeps a list of them. Its
// state is fixed at construction: any thread may use it.
class SessionIdentity
{
public:
    static const std::string cookie_name;

    // Empty, a random secret of its own: cookies are then known only to this object.
    explicit SessionIdentity(std::string secret);

    // From the values of the request's "Cookie" headers, its "Session-Id" header and the client's
    // address. A cookie whose signature does not hold counts as none.
    Session of(const std::vector<std::string>& cookie_headers, const std::string& session_id,
               const std::string& client_address) const;

    // A "Set-Cookie" value with a fresh random session for the given cookie path.
    std::string new_cookie(const std::string& path) const;

    // True when the "Authorization" header is "Bearer <token>" with the given token, which must
    // not be empty.
    static bool is_curator(const std::string& authorization, const std::string& token);

    // A new secret of random bytes written as hexadecimal digits.
    static std::string random_secret();

private:
    std::string signature(const std::string& session) const;

    std::string secret;
};
