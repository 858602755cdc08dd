#pragma once

#include <httplib.h>

#include <string>

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

    static Session of(const httplib::Request& request);

    // True when the request carries "Authorization: Bearer <token>" with the given token, which
    // must not be empty.
    static bool is_curator(const httplib::Request& request, const std::string& token);

    // A "Set-Cookie" value with a fresh random session for the given cookie path.
    static std::string new_cookie(const std::string& path);
};
