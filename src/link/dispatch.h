// Cutting the InSim stream into packets and routing each whole packet by its Type through a table.
// The protocol's half only: the program fills the table with its handlers, and the framing reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "link/output.h"
#include "link/wire.h"

constexpr std::size_t kHeaderSize = sizeof(InSimHeader);
constexpr std::size_t kMaxPacketSize = 255 * 4;  // Size is one byte, counted in fours from InSim 9 on

// One row of a dispatch table: a handled Type, the bytes that complete its packet after the header,
// and the handler that takes the whole packet. The rest is fixed by the packet's layout, whatever
// its Size byte says; only a packet whose length is its count of records goes by its Size byte.
constexpr std::size_t kRestBySize = static_cast<std::size_t>(-1);
template <class Context>
struct Route {
    byte type;          // ISP_*
    std::size_t rest;   // packet size less the 4-byte header; kRestBySize: as the Size byte says
    void (*handle)(Context& context, const std::uint8_t* packet, std::size_t size, Output& out);
};

template <auto Handler>
struct HandlerOf;  // what a handler of one packet record takes
template <class Context, class Packet, void (*Handler)(Context&, const Packet&, Output&)>
struct HandlerOf<Handler> {
    using ContextType = Context;
    using PacketType = Packet;
};

// The row for packets of `type` handed to `Handler` as its packet record: the rest is that record's
// size less the header, so the two cannot disagree.
template <auto Handler>
constexpr Route<typename HandlerOf<Handler>::ContextType> route(byte type) {
    using Context = typename HandlerOf<Handler>::ContextType;
    using Packet = typename HandlerOf<Handler>::PacketType;
    return {type, sizeof(Packet) - kHeaderSize, [](Context& context, const std::uint8_t* bytes, std::size_t, Output& out) {
                Packet packet;
                std::memcpy(&packet, bytes, sizeof packet);
                Handler(context, packet, out);
            }};
}

// The row for packets of `type` as long as their Size byte says, handed to `Handler` as bytes.
template <class Context, void (*Handler)(Context&, std::span<const std::uint8_t>, Output&)>
constexpr Route<Context> sizedRoute(byte type) {
    return {type, kRestBySize, [](Context& context, const std::uint8_t* bytes, std::size_t size, Output& out) {
                Handler(context, std::span<const std::uint8_t>(bytes, size), out);
            }};
}

template <class Context>
using Routes = std::span<const Route<Context>>;

template <class Context>
const Route<Context>* findRoute(Routes<Context> routes, byte type) {
    for (const Route<Context>& row : routes) {
        if (row.type == type) return &row;
    }
    return nullptr;
}

// What the bytes received so far from the start of a packet make of it. A handled type has its
// fixed size whatever the Size byte says; every other type is Size bytes long (Size fours from InSim 9
// on), and at least its header, so a Size below 4 bytes cannot stall the stream.
struct Frame {
    enum Kind {
        NeedMore,  // `size` bytes in all are needed before anything can be decided
        Whole,     // the first `size` bytes are one whole packet of a handled type
        Drop,      // the first `size` bytes are a packet of another type: read and dropped
    };
    Kind kind;
    std::size_t size;
};
// `handledSize`: the whole size of a packet of a handled type, 0 for any other type; `unit`: what the
// Size byte counts.
Frame framePacket(const std::uint8_t* received, std::size_t count, std::size_t handledSize, SizeUnit unit);

template <class Context>
Frame framePacket(const std::uint8_t* received, std::size_t count, Routes<Context> routes, SizeUnit unit) {
    if (count < kHeaderSize) return framePacket(received, count, 0, unit);
    const Route<Context>* row = findRoute(routes, received[1]);
    const bool bySize = row != nullptr && row->rest == kRestBySize;
    const Frame frame = framePacket(received, count, row != nullptr && !bySize ? kHeaderSize + row->rest : 0, unit);
    return bySize && frame.kind == Frame::Drop ? Frame{Frame::Whole, frame.size} : frame;
}

// Hands one whole packet of a handled type (`size` bytes from its header on) to its handler.
template <class Context>
void dispatchPacket(Routes<Context> routes, Context& context, const std::uint8_t* packet, std::size_t size,
                    Output& out) {
    if (size < kHeaderSize) return;
    const Route<Context>* row = findRoute(routes, packet[1]);
    if (row != nullptr && (row->rest == kRestBySize || size == kHeaderSize + row->rest)) {
        row->handle(context, packet, size, out);
    }
}
