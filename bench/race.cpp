// The benchmark race: lap times from a base pace per car plus a repeatable spread, splits at a
// third and two thirds of each lap, all events merged in order of elapsed time.
#include "race.h"

#include <algorithm>

#include "standin/packets.h"

namespace bench {

std::vector<RaceEvent> raceEvents(const RaceShape& shape, std::uint32_t seed) {
    std::uint32_t state = seed;
    const auto spread = [&state](std::uint32_t range) {  // a small LCG: the same race every run
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % range;
    };
    std::vector<RaceEvent> events;
    events.reserve(static_cast<std::size_t>(shape.cars * shape.laps * (1 + shape.splitsPerLap)));
    for (int car = 0; car < shape.cars; ++car) {
        std::uint32_t elapsed = 0;
        for (int lap = 1; lap <= shape.laps; ++lap) {
            const std::uint32_t lapTime = shape.baseLapMs + 120 * static_cast<std::uint32_t>(car) + spread(900);
            for (int split = 1; split <= shape.splitsPerLap; ++split) {
                RaceEvent event;
                event.plid = static_cast<std::uint8_t>(car + 1);
                event.split = static_cast<std::uint8_t>(split);
                event.lapTime = lapTime * static_cast<std::uint32_t>(split) /
                                static_cast<std::uint32_t>(shape.splitsPerLap + 1);
                event.elapsed = elapsed + event.lapTime;
                events.push_back(event);
            }
            elapsed += lapTime;
            RaceEvent event;
            event.isLap = true;
            event.plid = static_cast<std::uint8_t>(car + 1);
            event.lapsDone = static_cast<std::uint16_t>(lap);
            event.lapTime = lapTime;
            event.elapsed = elapsed;
            events.push_back(event);
        }
    }
    std::stable_sort(events.begin(), events.end(), [](const RaceEvent& a, const RaceEvent& b) {
        return a.elapsed != b.elapsed ? a.elapsed < b.elapsed : a.plid < b.plid;
    });
    return events;
}

IS_LAP lapPacket(const RaceEvent& event) {
    return standin::makeLap(event.plid, event.lapTime, event.elapsed, event.lapsDone);
}

IS_SPX splitPacket(const RaceEvent& event) {
    return standin::makeSpx(event.plid, event.lapTime, event.elapsed, event.split);
}

void appendPacket(std::vector<std::uint8_t>& out, const RaceEvent& event) {
    if (event.isLap) {
        appendBytes(out, lapPacket(event));
    } else {
        appendBytes(out, splitPacket(event));
    }
}

float longRaceFuel(int lap) {
    constexpr float kUsePerLap = 0.012f;
    if (lap < 36) return 0.45f - kUsePerLap * static_cast<float>(lap);
    return 0.85f - kUsePerLap * static_cast<float>(lap - 36);  // refuelled in the stop on lap 36
}

}  // namespace bench
