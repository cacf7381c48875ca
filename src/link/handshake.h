// The packets of the InSim handshake, built from the settings, and which version replies are taken.
// Pure functions, so the bytes can be checked without a socket.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/wire.h"

// ReqI 1, ISF_LOCAL, "Stintkeeper"; `insimVersion` is the version asked for, 0 for none.
IS_ISI makeInitPacket(std::int32_t outGaugePort, std::string_view password, byte insimVersion);
IS_SMALL makeOutGaugeRequest(unsigned32 intervalMs);  // SMALL_SSG: a datagram every `intervalMs`

// Whether the simulator's reply may be spoken: version 5 alone when none was asked for, else 5 to 8.
bool versionAccepted(word replied, int asked);
