// Cutting the InSim stream into packets and routing each whole packet by its Type.
// Pure functions over bytes: the socket reading lives in insim_link.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/port.h"
#include "link/wire.h"
#include "race/session.h"

constexpr std::size_t kHeaderSize = sizeof(InSimHeader);
constexpr std::size_t kMaxPacketSize = 255;  // Size is one byte

// What the bytes received so far from the start of a packet make of it. The handled types have their
// fixed sizes whatever the Size byte says; every other type is Size bytes long, and at least its header,
// so a Size of 0 to 3 cannot stall the stream.
struct Frame {
    enum Kind {
        NeedMore,  // `size` bytes in all are needed before anything can be decided
        Whole,     // the first `size` bytes are one whole packet of a handled type
        Drop,      // the first `size` bytes are a packet of another type: read and dropped
    };
    Kind kind;
    std::size_t size;
};
Frame framePacket(const std::uint8_t* received, std::size_t count);

// Hands one whole packet (header and rest, `size` bytes) to its handler.
// Answers the keep-alive itself; packets of other types are dropped.
void dispatchPacket(Tracker& tracker, const std::uint8_t* packet, std::size_t size, Port& port);
