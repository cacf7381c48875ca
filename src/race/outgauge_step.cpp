// The OutGauge step after a datagram has arrived: the simulator's time drives the board time-out,
// and the viewed car's fuel level is stored at each of its lap lines for the fuel estimate.
#include <algorithm>
#include <cstring>

#include "race/handlers.h"
#include "strategy/pitboard.h"

namespace {
constexpr std::uint8_t kRace = 1;
}  // namespace

void onOutGauge(Tracker& tracker, const void* datagram, std::size_t length, Port& port) {
    // Only the datagram without the trailing ID field is understood; the simulator is asked for that one.
    if (length != sizeof(OutGaugePack)) {
        printLine(port, "Unknown packet size!");
        return;
    }
    OutGaugePack pack;
    std::memcpy(&pack, datagram, sizeof pack);
    tracker.session.currentTime = pack.Time;
    ageBoards(tracker, port);
    recordLapFuel(tracker, pack.Fuel, port);
}

namespace {

std::size_t storedRecords(const RaceLapStore& store, std::size_t blocks) {
    std::size_t records = 0;
    for (std::size_t k = 0; k < blocks; ++k) records += store.block(k)->arrivals;
    return records;
}

}  // namespace

void recordLapFuel(Tracker& tracker, float fuel, Port& port) {
    const IS_STA& sta = tracker.session.sta;
    // Recording follows the store, not the tracking flag: laps stored are laps to be fuelled.
    if (!tracker.pLaps || sta.RaceInProg != kRace || sta.RaceLaps == 0) return;
    RaceLapStore& store = *tracker.pLaps;

    // The last IS_STA may announce more laps than the store was created with.
    const std::size_t blocks = std::min<std::size_t>(sta.RaceLaps, store.blockCount());
    const RaceLapStore::FuelScan scan{storedRecords(store, blocks), sta.ViewPLID, blocks};
    if (store.lastCompleteFuelScan == scan) return;

    bool leftUnrecorded = false;
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
            printLine(port, "Fuel for ", sta.ViewPLID, ": (pLaps+", static_cast<int>(k), "->fuel[",
                      static_cast<int>(s), "] = ", fuel);
        }
    }
    store.lastCompleteFuelScan = leftUnrecorded ? RaceLapStore::FuelScan{} : scan;
}
