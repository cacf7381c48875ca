// The OutGauge datagram as race tracking takes it: the simulator's time becomes the current time, and
// the viewed car's fuel level is stored at each of its lap lines for the fuel estimate.
#include <algorithm>
#include <cstring>

#include "race/handlers.h"
#include "race/race_length.h"

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
    if (!tracker.pLaps || sta.RaceInProg != RIP_RACE) return std::nullopt;
    RaceLapStore& store = *tracker.pLaps;
    const RaceLength length = raceLength(tracker);
    if (length.count == 0) return std::nullopt;

    // The last IS_STA may announce more laps than the store was created with; a timed race's store
    // has as many blocks as laps have been started.
    const std::size_t blocks = length.kind == RaceLength::Hours ? store.blockCount()
                                                                : std::min<std::size_t>(length.count, store.blockCount());
    FuelScan& scan = tracker.fuelScan;
    if (scan.race != tracker.races || scan.viewPlid != sta.ViewPLID) {
        scan = FuelScan{tracker.races, sta.ViewPLID, blocks, 0};  // another race or player: every lap again
    } else if (scan.blocks != blocks) {
        scan.from = std::min({scan.from, scan.blocks, blocks});  // blocks not scanned before are scanned now
        scan.blocks = blocks;
    }

    // As designed a reading of 0 leaves its slot open for the next datagram. Reading long races, where a
    // slot left open would be written and reported again at every datagram, it fills the slot like any other.
    const bool zeroIsRead = tracker.longRaces;
    const bool read = fuel != 0.0f || zeroIsRead;
    std::optional<LevelStored> stored;
    std::size_t unrecorded = blocks;  // the first block left with a slot waiting for a reading
    for (std::size_t k = scan.from; k < blocks; ++k) {
        LapBlock& block = *store.block(k);
        for (std::size_t s = 0; s < kLapsPerBlock; ++s) {
            const IS_LAP& record = block.laps[s];
            if (record.PLID == 0) break;  // the block's list ends here
            if (record.PLID != sta.ViewPLID || record.LapsDone - 1 != static_cast<int>(k)) continue;
            // Any value but zero, a NaN included, means this lap line already has its reading.
            if (block.fuel[s] != 0.0f || store.readAsZero(k, s)) continue;
            // Every unrecorded lap of the viewed player gets this reading, also laps from before the view moved to him.
            block.fuel[s] = fuel;
            if (!read) unrecorded = std::min(unrecorded, k);
            if (read && fuel == 0.0f) store.noteReadAsZero(k, s);
            if (read) stored = LevelStored{sta.ViewPLID, record.LapsDone, fuel};  // blocks go up by lap
            printLine(out, "Fuel for ", sta.ViewPLID, ": (pLaps+", static_cast<int>(k), "->fuel[",
                      static_cast<int>(s), "] = ", fuel);
        }
    }
    scan.from = unrecorded;
    return stored;
}
