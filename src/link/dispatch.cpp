// Cutting the InSim stream into packets, routing each whole packet to the race tracking handlers,
// and the keep-alive reply. The handled types have their InSim 5 sizes, whatever the Size byte says.
#include "link/dispatch.h"

#include <algorithm>
#include <cstring>

#include "race/handlers.h"

namespace {

template <class Packet>
Packet copyPacket(const std::uint8_t* bytes, std::size_t size) {
    Packet packet{};
    std::memcpy(&packet, bytes, size < sizeof packet ? size : sizeof packet);
    return packet;
}

// The size of a packet of a handled type; 0 for every other type.
std::size_t handledSize(byte type) {
    switch (type) {
        case ISP_TINY: return sizeof(IS_TINY);
        case ISP_STA: return sizeof(IS_STA);
        case ISP_RST: return sizeof(IS_RST);
        case ISP_LAP: return sizeof(IS_LAP);
        case ISP_SPX: return sizeof(IS_SPX);
        case ISP_RES: return sizeof(IS_RES);
        default: return 0;
    }
}

void answerKeepAlive(const IS_TINY& tiny, Port& port) {
    if (tiny.SubT != TINY_NONE) return;
    const IS_TINY reply{sizeof(IS_TINY), ISP_TINY, 0, TINY_NONE};
    port.send(&reply, sizeof reply);
}

}  // namespace

Frame framePacket(const std::uint8_t* received, std::size_t count) {
    if (count < kHeaderSize) return {Frame::NeedMore, kHeaderSize};
    const std::size_t handled = handledSize(received[1]);
    const std::size_t size = handled != 0 ? handled : std::max<std::size_t>(received[0], kHeaderSize);
    if (count < size) return {Frame::NeedMore, size};
    return {handled != 0 ? Frame::Whole : Frame::Drop, size};
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
