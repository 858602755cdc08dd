#pragma once

#include <array>
#include <string>
#include <vector>

// The proxies of ours that may stand between a client and the service, as address ranges
// ("10.0.0.0/8", "::1/128", or a single address). Only a request from one of them may name its
// client in "X-Forwarded-For"; anyone else could name any client it liked. Immutable after
// construction, so any thread may use it.
class TrustedProxies
{
public:
    // Throws std::invalid_argument naming the first range that does not parse.
    explicit TrustedProxies(const std::vector<std::string>& ranges);

    // The address the rate limit and the connection limits count: the peer's, or when the peer is
    // a trusted proxy, the last address of "X-Forwarded-For" (the one our proxy added; those before
    // it came from the client).
    std::string client_address(const std::string& peer, const std::string& forwarded_for) const;

private:
    struct Range
    {
        std::array<unsigned char, 16> bytes;
        unsigned prefix;
    };

    bool trusted(const std::string& address) const;

    std::vector<Range> ranges;
};
