// The input format of the OutGauge fuzz target, shared by the target and the seed maker.
// A 4-byte board time-out, then steps: each an op byte, then an InSim packet or a datagram.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/fuzz_session.h"
#include "link/wire.h"

namespace fuzzing {

// What an op byte selects, by its value modulo 4.
enum Op : std::uint8_t {
    kOpPacket = 0,       // an InSim packet follows, cut from the stream as the link cuts it
    kOpPacketToo = 1,    // the same: packets are the usual step
    kOpGauge = 2,        // 4 bytes Time and 4 bytes Fuel: a 92-byte datagram with them
    kOpRawDatagram = 3,  // a 16-bit length (taken modulo 513: the link's buffer holds 512), then the bytes
};
constexpr std::size_t kMaxDatagram = 512;

inline OutGaugePack gaugeTemplate(std::uint32_t time, float fuel) {
    OutGaugePack pack{};
    pack.Time = time;
    std::memcpy(pack.Car, "XRT", 3);
    pack.Gear = 3;
    pack.Fuel = fuel;
    return pack;
}

// Runs a whole input of this format; stops where the input ends inside a step.
inline void runOutGaugeInput(Session& session, Input& in) {
    while (true) {
        const std::uint8_t* op = in.take(1);
        if (op == nullptr) return;
        switch (*op % 4) {
            case kOpPacket:
            case kOpPacketToo:
                if (!session.packetFrom(in)) return;
                break;
            case kOpGauge: {
                const std::uint8_t* values = in.take(8);
                if (values == nullptr) return;
                std::uint32_t time;
                float fuel;
                std::memcpy(&time, values, 4);
                std::memcpy(&fuel, values + 4, 4);
                const OutGaugePack pack = gaugeTemplate(time, fuel);
                session.datagram(reinterpret_cast<const std::uint8_t*>(&pack), sizeof pack);
                break;
            }
            default: {
                const std::uint8_t* lengthBytes = in.take(2);
                if (lengthBytes == nullptr) return;
                const std::size_t length = (lengthBytes[0] | lengthBytes[1] << 8) % (kMaxDatagram + 1);
                const std::uint8_t* bytes = in.take(length);
                if (bytes == nullptr) return;
                std::uint8_t datagram[kMaxDatagram];  // the link's receive buffer, filled as far as received
                std::memcpy(datagram, bytes, length);
                session.datagram(datagram, length);
                break;
            }
        }
    }
}

// Writers of the same format, for seeds and regression inputs.
template <class Packet>
void appendRaw(std::string& out, const Packet& packet) {
    out.append(reinterpret_cast<const char*>(&packet), sizeof packet);
}
inline void appendTimeOut(std::string& out, std::int32_t boardTimeOutMs) { appendRaw(out, boardTimeOutMs); }
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
