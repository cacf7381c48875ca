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

// Bytes that complete the packet after its header: fixed for the handled types,
// Size - 4 for every other type (nothing when Size is below 4).
std::size_t restLength(const InSimHeader& header);

// Hands one whole packet (header and rest, `size` bytes) to its handler.
// Answers the keep-alive itself; packets of other types are dropped.
void dispatchPacket(Tracker& tracker, const std::uint8_t* packet, std::size_t size, Port& port);
