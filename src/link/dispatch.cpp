// Routing of whole InSim packets to the race tracking handlers, and the keep-alive reply.
// The rest lengths of the handled types are their InSim 5 sizes, whatever the Size byte says.
#include "link/dispatch.h"

#include <cstring>

#include "race/handlers.h"

namespace {

template <class Packet>
Packet copyPacket(const std::uint8_t* bytes, std::size_t size) {
    Packet packet{};
    std::memcpy(&packet, bytes, size < sizeof packet ? size : sizeof packet);
    return packet;
}

void answerKeepAlive(const IS_TINY& tiny, Port& port) {
    if (tiny.SubT != TINY_NONE) return;
    const IS_TINY reply{sizeof(IS_TINY), ISP_TINY, 0, TINY_NONE};
    port.send(&reply, sizeof reply);
}

}  // namespace

std::size_t restLength(const InSimHeader& header) {
    switch (header.Type) {
        case ISP_TINY: return sizeof(IS_TINY) - kHeaderSize;
        case ISP_STA: return sizeof(IS_STA) - kHeaderSize;
        case ISP_RST: return sizeof(IS_RST) - kHeaderSize;
        case ISP_LAP: return sizeof(IS_LAP) - kHeaderSize;
        case ISP_SPX: return sizeof(IS_SPX) - kHeaderSize;
        case ISP_RES: return sizeof(IS_RES) - kHeaderSize;
        default: return header.Size > kHeaderSize ? header.Size - kHeaderSize : 0;
    }
}

void dispatchPacket(Tracker& tracker, const std::uint8_t* packet, std::size_t size, Port& port) {
    if (size < kHeaderSize) return;
    switch (packet[1]) {
        case ISP_TINY: answerKeepAlive(copyPacket<IS_TINY>(packet, size), port); break;
        case ISP_STA: onState(tracker, copyPacket<IS_STA>(packet, size), port); break;
        case ISP_RST: onRestart(tracker, copyPacket<IS_RST>(packet, size), port); break;
        case ISP_LAP: onLap(tracker, copyPacket<IS_LAP>(packet, size), port); break;
        case ISP_SPX: onSplit(tracker, copyPacket<IS_SPX>(packet, size), port); break;
        case ISP_RES: onResult(tracker, copyPacket<IS_RES>(packet, size), port); break;
        default: break;  // read and dropped
    }
}
