// A Port that records every send and console text in order, for driving handlers without sockets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/port.h"

struct RecordingPort final : Port {
    struct Event {
        bool isSend;
        std::string bytes;  // sent bytes, or console text
    };
    std::vector<Event> events;

    void send(const void* bytes, std::size_t size) override {
        events.push_back({true, std::string(static_cast<const char*>(bytes), size)});
    }
    void write(std::string_view text) override { events.push_back({false, std::string(text)}); }

    std::string console() const {  // all console text, joined
        std::string all;
        for (const auto& event : events) if (!event.isSend) all += event.bytes;
        return all;
    }
    std::vector<std::string> sends() const {  // each send, in order
        std::vector<std::string> all;
        for (const auto& event : events) if (event.isSend) all.push_back(event.bytes);
        return all;
    }
    std::string sent() const {  // all sent bytes, joined
        std::string all;
        for (const auto& event : events) if (event.isSend) all += event.bytes;
        return all;
    }
    void clear() { events.clear(); }
};

// Bytes written as a list of numbers, for byte-for-byte expectations.
inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int value : values) out += static_cast<char>(value);
    return out;
}

template <class Packet>
std::string bytesOfPacket(const Packet& packet) {
    return std::string(reinterpret_cast<const char*>(&packet), sizeof packet);
}

// The 8-byte IS_BFN that clears every button.
inline const std::string kClearButtons = bytes({8, 42, 0, 1, 0, 0, 0, 0});
