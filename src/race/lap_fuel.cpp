// The OutGauge datagram as race tracking takes it: the simulator's time becomes the current time, and
// the viewed car's fuel level is stored at each of its lap lines for the fuel estimate.
#include <algorithm>
#include <cstring>

#include "race/handlers.h"

namespace {

std::size_t storedRecords(const RaceLapStore& store, std::size_t blocks) {
    std::size_t records = 0;
    for (std::size_t k = 0; k < blocks; ++k) records += store.block(k)->arrivals;
    return records;
}

}  // namespace

std::optional<float> readGauge(Tracker& tracker, const void* datagram, std::size_t length, Output& out) {
    // Only the datagram without the trailing ID field is understood; the simulator is asked for that one.
    if (length != sizeof(OutGaugePack)) {
        printLine(out, "Unknown packet size!");
        return std::nullopt;
    }
    OutGaugePack pack;
    std::memcpy(&pack, datagram, sizeof pack);
    tracker.session.currentTime = pack.Time;
    return pack.Fuel;
}

std::optional<LevelStored> recordLapFuel(Tracker& tracker, float fuel, Output& out) {
    const IS_STA& sta = tracker.session.sta;
    // Recording follows the store, not the tracking flag: laps stored are laps to be fuelled.
    if (!tracker.pLaps || sta.RaceInProg != RIP_RACE || sta.RaceLaps == 0) return std::nullopt;
    RaceLapStore& store = *tracker.pLaps;

    // The last IS_STA may announce more laps than the store was created with.
    const std::size_t blocks = std::min<std::size_t>(sta.RaceLaps, store.blockCount());
    const FuelScan scan{tracker.races, storedRecords(store, blocks), sta.ViewPLID, blocks};
    if (tracker.fuelScan == scan) return std::nullopt;

    bool leftUnrecorded = false;
    std::optional<LevelStored> stored;
    for (std::size_t k = 0; k < blocks; ++k) {
        LapBlock& block = *store.block(k);
        for (std::size_t s = 0; s < kLapsPerBlock; ++s) {
            const IS_LAP& record = block.laps[s];
            if (record.PLID == 0) break;  // the block's list ends here
            if (record.PLID != sta.ViewPLID || record.LapsDone - 1 != static_cast<int>(k)) continue;
            // Any value but zero, a NaN included, means this lap line already has its reading.
            if (block.fuel[s] != 0.0f) continue;
            // Every unrecorded lap of the viewed player gets this reading, also laps from before the view moved to him.
            block.fuel[s] = fuel;
            leftUnrecorded = leftUnrecorded || fuel == 0.0f;  // a reading of 0 leaves the slot to the next one
            if (fuel != 0.0f) stored = LevelStored{sta.ViewPLID, record.LapsDone, fuel};  // blocks go up by lap
            printLine(out, "Fuel for ", sta.ViewPLID, ": (pLaps+", static_cast<int>(k), "->fuel[",
                      static_cast<int>(s), "] = ", fuel);
        }
    }
    tracker.fuelScan = leftUnrecorded ? FuelScan{} : scan;
    return stored;
}
