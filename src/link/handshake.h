// The packets of the InSim handshake, built from the settings.
// Pure functions, so the bytes can be checked without a socket.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/wire.h"

IS_ISI makeInitPacket(std::int32_t outGaugePort, std::string_view password);  // ReqI 1, ISF_LOCAL, "Stintkeeper"
IS_SMALL makeOutGaugeRequest();                                               // SMALL_SSG, UVal 10000
