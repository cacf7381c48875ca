// The reader of the OutGauge fuzz target's input (its format and writers are in tools/fuzz_seeds):
// after the settings prefix, runs each step through the session, a packet, a datagram or a lost link.
#pragma once

#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_session.h"
#include "fuzz_seeds/outgauge_input.h"
#include "link/wire.h"

namespace fuzzing {

// Runs the steps of an input; stops where the input ends inside a step.
inline void runOutGaugeSteps(Session& session, Input& in) {
    while (true) {
        const std::uint8_t* op = in.take(1);
        if (op == nullptr) return;
        if (*op == kOpLinkLost) {
            session.linkLostAndFound();
            continue;
        }
        switch (*op % 4) {
            case kOpPacket:
            case kOpPacketToo:
                if (!session.packetFrom(in)) return;
                break;
            case kOpGauge: {
                const std::uint8_t* values = in.take(8);
                if (values == nullptr) return;
                std::uint8_t pack[sizeof(OutGaugePack)] = {};  // Time, and Fuel at 28
                std::memcpy(pack, values, 4);
                std::memcpy(pack + 28, values + 4, 4);
                session.datagram(pack, sizeof pack);
                break;
            }
            default: {
                const std::uint8_t* lengthBytes = in.take(2);
                if (lengthBytes == nullptr) return;
                const std::size_t length = (lengthBytes[0] | lengthBytes[1] << 8) % (kMaxDatagram + 1);
                const std::uint8_t* bytes = in.take(length);
                if (bytes == nullptr) return;
                session.datagram(bytes, length);
                break;
            }
        }
    }
}

}  // namespace fuzzing
