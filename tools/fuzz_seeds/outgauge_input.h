// The input format of the OutGauge fuzz target and its writers: the settings prefix, then steps,
// each an op byte and then an InSim packet or a datagram, or an op byte alone for a lost link. The target
// reads it; the seed maker writes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzzing {

// What an op byte selects, by its value modulo 4.
enum Op : std::uint8_t {
    kOpPacket = 0,       // an InSim packet follows, cut from the stream as the link cuts it
    kOpPacketToo = 1,    // the same: packets are the usual step
    kOpGauge = 2,        // 4 bytes Time and 4 bytes Fuel: a 92-byte datagram with them
    kOpRawDatagram = 3,  // a 16-bit length (taken modulo 513: the link's buffer holds 512), then the bytes
};
constexpr std::size_t kMaxDatagram = 512;
// An op byte of its own (otherwise, 1 modulo 4, a packet): the link is lost and made again.
constexpr std::uint8_t kOpLinkLost = 0xFD;

template <class Packet>
void appendRaw(std::string& out, const Packet& packet) {
    out.append(reinterpret_cast<const char*>(&packet), sizeof packet);
}
template <class Packet>
void appendPacketStep(std::string& out, const Packet& packet) {
    out += static_cast<char>(kOpPacket);
    appendRaw(out, packet);
}
inline void appendGaugeStep(std::string& out, std::uint32_t time, float fuel) {
    out += static_cast<char>(kOpGauge);
    appendRaw(out, time);
    appendRaw(out, fuel);
}
inline void appendDatagramStep(std::string& out, const std::string& bytes) {
    out += static_cast<char>(kOpRawDatagram);
    const auto length = static_cast<std::uint16_t>(bytes.size());
    appendRaw(out, length);
    out += bytes;
}

}  // namespace fuzzing
