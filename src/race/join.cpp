// A race followed from its middle: the cars' laps read from IS_NLP, the laps whose records the store
// lacks marked partial, and whether a race found after a lost link is the one the store holds.
#include <algorithm>
#include <cstring>

#include "race/handlers.h"

std::vector<NodeLap> readNodeLaps(std::span<const std::uint8_t> packet) {
    std::vector<NodeLap> cars;
    if (packet.size() < sizeof(IS_NLP_Header)) return cars;
    // Never past the bytes that came: a NumP above what the packet holds counts the records it holds.
    const std::size_t held = (packet.size() - sizeof(IS_NLP_Header)) / sizeof(NodeLap);
    const std::size_t count = std::min({std::size_t{packet[3]}, held, kMaxNodeLaps});
    cars.resize(count);
    if (count > 0) std::memcpy(cars.data(), packet.data() + sizeof(IS_NLP_Header), count * sizeof(NodeLap));
    return cars;
}

std::uint16_t lastStoredLap(const RaceLapStore& store, std::uint8_t plid) {
    for (std::size_t index = store.blockCount(); index > 0; --index) {
        if (slotOf(*store.block(index - 1), plid)) return static_cast<std::uint16_t>(index);
    }
    return 0;
}

void markMissedLaps(RaceLapStore& store, std::span<const NodeLap> cars) {
    // From the first lap a car completed unseen up to the last lap the leader completed.
    std::size_t from = RaceLapStore::kLapsNotKnown;
    std::size_t to = 0;
    for (const NodeLap& car : cars) {
        if (car.PLID == 0 || car.Lap <= 1) continue;  // no lap completed yet
        const std::size_t done = car.Lap - 1u;
        const std::size_t stored = lastStoredLap(store, car.PLID);
        if (done <= stored) continue;
        from = std::min(from, stored);
        to = std::max(to, done);
    }
    // Laps already marked (a join's, before a lost link) stay marked: the span covering both is taken,
    // and the laps between, which every car completed in sight, get no line to come.
    const bool marked = store.partialTo != RaceLapStore::kLapsNotKnown && store.partialTo > 0;
    if (marked) {
        from = std::min(from, store.partialFrom);
        to = std::max(to, store.partialTo);
    }
    store.partialFrom = to > 0 ? from : 0;
    store.partialTo = to;
}

bool carsBehindStore(const RaceLapStore& store, std::span<const NodeLap> cars) {
    return std::any_of(cars.begin(), cars.end(), [&store](const NodeLap& car) {
        const unsigned done = car.Lap > 0 ? car.Lap - 1u : 0u;
        return car.PLID != 0 && done < lastStoredLap(store, car.PLID);
    });
}
