#pragma once

#include <string>
#include <vector>

// Who a request comes from, for the rate limit: the session cookie this service handed out,
// else the client's "Session-Id" header (its device serial), else its address.
struct Session
{
    std::string key;
    bool has_cookie = false;
};

class SessionIdentity
{
public:
    static const std::string cookie_name;

    // From the values of the request's "Cookie" headers, its "Session-Id" header and the client's
    // address.
    static Session of(const std::vector<std::string>& cookie_headers, const std::string& session_id,
                      const std::string& client_address);

    // True when the "Authorization" header is "Bearer <token>" with the given token, which must
    // not be empty.
    static bool is_curator(const std::string& authorization, const std::string& token);

    // A "Set-Cookie" value with a fresh random session for the given cookie path.
    static std::string new_cookie(const std::string& path);
};
