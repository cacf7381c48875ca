// Loopback addresses for the stand-in, the tests and the benchmarks: 127.0.0.1 with a port,
// and a port that is free there right now.
#pragma once

#include <netinet/in.h>

#include <cstdint>

namespace standin {

sockaddr_in loopback(std::uint16_t port);
// A port that is free on loopback right now, for TCP or UDP; 0 when none could be had.
std::uint16_t freePort(bool udp);

}  // namespace standin
