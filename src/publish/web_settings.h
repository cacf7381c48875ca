// The page's settings as <Web> gives them: where it listens and the key it asks for. Plain values the
// settings reader hands to the page's server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr std::size_t kWebKeyLength = 16;  // the fewest characters of the key a page beyond loopback needs

struct WebSettings {
    bool on = false;
    std::uint16_t port = 8081;
    std::string bind = "127.0.0.1";  // an IPv4 address
    std::string key;                 // empty: none asked for; never printed
};
