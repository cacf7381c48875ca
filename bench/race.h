// The race the benchmarks push through the program: a field of cars lapping at slightly different
// paces, every lap and split in the order the simulator reports them. Deterministic for a given seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/wire.h"

namespace bench {

struct RaceEvent {
    bool isLap = false;           // IS_LAP, else IS_SPX
    std::uint8_t plid = 0;
    std::uint16_t lapsDone = 0;   // laps: the lap just completed
    std::uint8_t split = 0;       // splits: 1 or 2
    std::uint32_t lapTime = 0;    // laps: LTime; splits: STime
    std::uint32_t elapsed = 0;    // ETime
};

struct RaceShape {
    int cars = 64;
    int laps = 99;
    int splitsPerLap = 2;
    std::uint8_t viewedPlid = 32;  // mid-field
    std::uint32_t baseLapMs = 80000;  // the fastest car's pace; each car behind it 120 ms a lap slower
};

// Every lap and split of the race, ordered by elapsed time.
std::vector<RaceEvent> raceEvents(const RaceShape& shape, std::uint32_t seed = 1);

IS_LAP lapPacket(const RaceEvent& event);
IS_SPX splitPacket(const RaceEvent& event);
void appendPacket(std::vector<std::uint8_t>& out, const RaceEvent& event);

template <class Packet>
void appendBytes(std::vector<std::uint8_t>& out, const Packet& packet) {
    const std::size_t at = out.size();
    out.resize(at + sizeof packet);
    std::memcpy(out.data() + at, &packet, sizeof packet);
}

// The viewed car's fuel at its lap lines in the long race: it starts light, runs short near
// half distance (the program warns and types the pit fuel), refuels and runs to the flag.
float longRaceFuel(int lap);

}  // namespace bench
