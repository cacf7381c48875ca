// The team link's settings as <Team> gives them: the broker, the login and the team's topic name.
// Plain values the settings reader hands to the team link; an empty name leaves the link off.
#pragma once

#include <cstdint>
#include <string>

constexpr std::uint16_t kTeamPort = 1883;     // MQTT without TLS
constexpr std::uint16_t kTeamTlsPort = 8883;  // MQTT over TLS

struct TeamSettings {
    std::string name;        // the team's topics are stintkeeper/<name>/...; empty: the link is off
    std::string broker;      // host name or address of the MQTT broker
    std::uint16_t port = 0;  // 1883, or 8883 with tls, when not given
    std::string user;        // empty: no login
    std::string password;    // never printed
    bool tls = false;
    std::string cafile;      // with tls: the team's own certificate authority; empty: the system's
    bool on() const { return !name.empty(); }
};
