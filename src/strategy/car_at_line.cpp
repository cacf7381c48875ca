// The viewed car at its lap line: the level and the use per lap from its readings at its lap lines, the
// laps to go with and without a stop and its pace, worked out once and reported on the console.
#include "strategy/car_at_line.h"

#include <algorithm>
#include <optional>

#include "strategy/fuel_laps.h"

namespace {

// A stop in a timed race moves the car's lines later. Until the flag falls it crosses the line at least
// once more, and stops shorter together than one of its laps take at most one line away. `stops`: the stops
// of settings.stopSeconds to come, in parts of one.
unsigned lapsWithStops(const Tracker& tracker, const IS_LAP& lap, unsigned lapsToGo, double lapTimeMs,
                       const FuelSettings& settings, float stops) {
    const auto stopsMs = static_cast<std::uint32_t>(stops * settings.stopSeconds * 1000.0f);
    unsigned laps = distanceAt(tracker, lap, stopsMs).lapsToGo;
    if (lapsToGo == 0) return laps;
    laps = std::max(laps, 1u);
    if (stopsMs < lapTimeMs) laps = std::max(laps, lapsToGo - 1);
    return laps;
}

}  // namespace

CarAtLine carAtLine(const Tracker& tracker, const IS_LAP& lap, std::size_t slot, const Distance& distance,
                    const FuelSettings& settings, Output& out) {
    const unsigned lapsDone = lap.LapsDone;
    if (!tracker.pLaps || lapsDone < 3 || slot >= kLapsPerBlock) return {};
    // Blocks come only through the store, which knows how many it was made with: a RaceLaps
    // reported later that is larger than the store must not reach past it.
    const LapBlock* lastBlock = tracker.pLaps->block(lapsDone - 2);
    const LapBlock* oldBlock = tracker.pLaps->block(lapsDone - 3);
    if (!lastBlock || !oldBlock) return {};

    // Paired by PLID: the car may have crossed the earlier line in another place.
    const std::optional<std::size_t> oldSlot = slotOf(*oldBlock, lap.PLID);
    if (!oldSlot) return {};
    const std::size_t j = *oldSlot;
    if (j != slot) printLine(out, "Index 2 laps ago = ", j, " but last lap = ", slot);

    const RaceLapStore& store = *tracker.pLaps;
    const word version = tracker.session.insimVersion;
    const float oldLevel = levelAt({&oldBlock->laps[j], oldBlock->fuel[j]}, settings, version);
    const float lastLevel = levelAt({&lastBlock->laps[slot], lastBlock->fuel[slot]}, settings, version);
    float use = oldLevel - lastLevel;
    printLine(out, "Fuel in ", static_cast<int>(lapsDone) - 3, ": ", oldLevel, ". Fuel one lap later: ", lastLevel);

    // The level at this line itself, from Fuel200 when the settings read it and the simulator fills it.
    std::optional<float> atLine;
    if (settings.level != LevelSource::Gauge) {
        atLine = fuelAtLine(lap, version);
        const float atLinePercent = atLine.value_or(0.0f) * 100.0f;
        if (atLine) printLine(out, "Fuel at this line: ", atLinePercent, "%.");
        else printLine(out, "No fuel at this line from the simulator: the OutGauge readings are used.");
    }
    // The last lap whose use can be read: this one when its line's level is known at once.
    const unsigned lastLap = settings.level == LevelSource::Line && atLine ? lapsDone : lapsDone - 1;
    if (settings.racing != 0.0f) {
        const LapKind kind = lapKind(store, lap.PLID, lastLap, settings.racing);
        if (kind != LapKind::Racing) printLine(out, "Lap ", lastLap, " left out of the use: ", lapKindText(kind), ".");
    }

    // The reading at this lap line arrives only after it, so the level now is projected.
    const float twiceLast = 2.0f * lastLevel;
    float estimate = twiceLast - oldLevel;
    const unsigned wanted = static_cast<unsigned>(settings.longAverage != 0 ? settings.longAverage : settings.average);
    const bool averaging = wanted >= 2 || settings.racing != 0.0f || atLine;
    const AverageUse average = averaging ? averageUse(store, lap.PLID, lastLap, wanted, settings, version) : AverageUse{};
    if (average.laps > 0) {
        use = average.use;
        estimate = lastLevel - use;
        const float averagePercent = use * 100.0f;
        printLine(out, "Average use over ", average.laps, " laps: ", averagePercent, "% per lap.");
    }
    if (atLine) estimate = *atLine;
    if (estimate < 0.0f) estimate = 0.0f;  // a NaN stays a NaN
    const float estimatePercent = estimate * 100.0f;
    const float usePercent = use * 100.0f;
    printLine(out, "Player has approx ", estimatePercent, "% fuel and consumes ", usePercent, "% per lap.");

    CarAtLine car;
    car.estimated = true;
    car.lapsDone = lap.LapsDone;
    car.use = use;
    car.highUse = average.laps > 0 ? average.highest : use;
    car.level = estimate;
    car.readingsTaken = oldLevel != 0.0f && lastLevel != 0.0f;
    car.lapsToGo = distance.lapsToGo;
    car.lapTimeMs = recentPaceMs(store, lap.PLID, lapsDone, slot);
    // Counted from the leader's finish (a timed race, a lap race read with long races), a stop may take a line away.
    const bool fromLeader = distance.estimated || tracker.longRaces;
    // In a timed race the flag falls at its time whatever the car does, so each of its stops counts; in a lap
    // race the leader stops too, and only the one stop is counted. A stop's time is a guess (a splash is
    // shorter than a fill): the fuel counts on the line a last stop takes away only when three quarters of the
    // stop would take it, or a short stop leaves the car short and makes it stop again.
    const bool withStops = settings.stopSeconds != 0.0f && fromLeader;
    for (unsigned k = 0; k < kStopsTimed; ++k) {
        if (!withStops) {
            car.lapsWithStops[k] = car.lapsFuelled[k] = distance.lapsToGo;
        } else if (k == 0 || distance.estimated) {
            const auto stops = static_cast<float>(k + 1);
            car.lapsWithStops[k] = lapsWithStops(tracker, lap, distance.lapsToGo, car.lapTimeMs, settings, stops);
            car.lapsFuelled[k] = lapsWithStops(tracker, lap, distance.lapsToGo, car.lapTimeMs, settings, stops - 0.25f);
        } else {
            car.lapsWithStops[k] = car.lapsWithStops[0];
            car.lapsFuelled[k] = car.lapsFuelled[0];
        }
    }
    // Never from a reading that a stop came after: the level projected across this lap's stop, or the
    // use of a lap with one.
    if (settings.topUp) {
        if (!atLine && endsWithStop(store, lap.PLID, lapsDone)) car.stopAfterReading = lapsDone;
        else if (average.laps == 0 && endsWithStop(store, lap.PLID, lapsDone - 1)) car.stopAfterReading = lapsDone - 1;
    }
    car.mandatoryStopDue = tracker.session.mustPit && lap.NumStops == 0;
    return car;
}
