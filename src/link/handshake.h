// The packets of the InSim handshake, built from the settings, which version replies are taken and
// what each version's Size bytes count. Pure functions, so the bytes can be checked without a socket.
#pragma once

#include <cstdint>
#include <string_view>

#include "link/output.h"
#include "link/wire.h"

// ReqI 1, ISF_LOCAL, "Stintkeeper"; `insimVersion` is the version asked for, 0 for none. Its Size is
// in the unit of that version: 11 fours when asking for 9 or 10.
IS_ISI makeInitPacket(std::int32_t outGaugePort, std::string_view password, byte insimVersion);
// SMALL_SSG: a datagram every `intervalMs`; sent after the reply, in the unit of the version accepted.
IS_SMALL makeOutGaugeRequest(unsigned32 intervalMs, SizeUnit unit);

// Whether the simulator's reply may be spoken: version 5 alone when none was asked for, else 5 to 10.
bool versionAccepted(word replied, int asked);
// What the Size bytes of a version count: bytes up to 8, fours from 9 on.
SizeUnit sizeUnitOf(word version);
