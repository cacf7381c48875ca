// The settings that open every InSim fuzz input: a fixed number of bytes, each setting read from its own
// bytes into a Config, so that any mix of opt-ins is reachable. All zero bytes are the default settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "app/config.h"

namespace fuzzing {

// A setting: its name (for the seed writer), its width in bytes and how its value (the bytes read
// little-endian) lands in the Config. Every value of the bytes gives a value the settings reader could give.
struct PrefixSetting {
    std::string_view name;
    std::size_t width;
    void (*apply)(Config&, std::uint32_t);
};

// Fractions of a byte's range, for the settings that take a number within bounds: 0 stays off.
inline float spread(std::uint32_t byte, float low, float high) {
    return byte == 0 ? 0.0f : low + (high - low) * static_cast<float>(byte - 1) / 254.0f;
}

// In input order; a new setting takes the next line, and its bytes come out of the spare ones at the end,
// so inputs written before it keep their meaning with the new setting off.
constexpr PrefixSetting kPrefixSettings[] = {
    {"timeout", 4, [](Config& c, std::uint32_t v) { c.boardTimeOutMs = static_cast<std::int32_t>(v); }},
    {"version", 1, [](Config& c, std::uint32_t v) { c.insimVersion = v % 7 == 0 ? 0 : static_cast<int>(v % 7 + 4); }},
    {"long", 1, [](Config& c, std::uint32_t v) { c.longRaces = v % 2 == 1; }},
    {"guard", 1, [](Config& c, std::uint32_t v) { c.pitGuard = v % 2 == 1; }},
    {"log", 1, [](Config& c, std::uint32_t v) { c.logDirectory = v % 2 == 1 ? "log" : ""; }},
    {"average", 1, [](Config& c, std::uint32_t v) { c.fuel.average = static_cast<int>(v % 9 + 1); }},
    {"reserve", 1, [](Config& c, std::uint32_t v) { c.fuel.reserve = static_cast<float>(v) / 51.0f; }},
    {"fill", 1, [](Config& c, std::uint32_t v) { c.fuel.toFinish = v % 2 == 1; }},
    {"racing", 1, [](Config& c, std::uint32_t v) { c.fuel.racing = spread(v, 1.01f, 3.0f); }},
    {"level", 1, [](Config& c, std::uint32_t v) { c.fuel.level = static_cast<LevelSource>(v % 3); }},
    {"topUp", 1, [](Config& c, std::uint32_t v) { c.fuel.topUp = v % 2 == 1; }},
    {"longAverage", 1, [](Config& c, std::uint32_t v) { c.fuel.longAverage = v % 91 == 0 ? 0 : static_cast<int>(v % 91 + 9); }},
    {"round", 1, [](Config& c, std::uint32_t v) { c.fuel.roundNearest = v % 2 == 1; }},
    {"stopSeconds", 1, [](Config& c, std::uint32_t v) { c.fuel.stopSeconds = spread(v, 1.0f, 600.0f); }},
    {"plan", 1, [](Config& c, std::uint32_t v) { c.stints = static_cast<Stints>(v % 3); }},
    {"join", 1, [](Config& c, std::uint32_t v) { c.join = v % 2 == 1; }},
    {"reconnect", 1, [](Config& c, std::uint32_t v) { c.reconnect = v % 2 == 1; }},  // acts in the link alone
};

// Bytes of the prefix: the settings above and spare ones for settings to come.
constexpr std::size_t kPrefixBytes = 24;
constexpr std::size_t usedPrefixBytes() {
    std::size_t used = 0;
    for (const PrefixSetting& setting : kPrefixSettings) used += setting.width;
    return used;
}
static_assert(usedPrefixBytes() <= kPrefixBytes, "the settings outgrew the prefix: lengthen it and rewrite the seeds");

// The Config of a prefix, before defaults; false when the input is shorter than a prefix.
inline bool readPrefix(const std::uint8_t* bytes, std::size_t size, Config& config) {
    if (size < kPrefixBytes) return false;
    for (const PrefixSetting& setting : kPrefixSettings) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < setting.width; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
        setting.apply(config, value);
        bytes += setting.width;
    }
    return true;
}

// A prefix with the named settings at the given values and every other one 0.
inline std::string writePrefix(std::initializer_list<std::pair<std::string_view, std::uint32_t>> values) {
    std::string prefix(kPrefixBytes, '\0');
    for (const auto& [name, value] : values) {
        std::size_t at = 0;
        const PrefixSetting* found = nullptr;
        for (const PrefixSetting& setting : kPrefixSettings) {
            if (setting.name == name) {
                found = &setting;
                break;
            }
            at += setting.width;
        }
        if (found == nullptr) std::abort();  // a seed names a setting the prefix does not have
        for (std::size_t i = 0; i < found->width; ++i) prefix[at + i] = static_cast<char>(value >> (8 * i));
    }
    return prefix;
}

}  // namespace fuzzing
