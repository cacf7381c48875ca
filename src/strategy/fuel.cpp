// The fuel estimate: the use per lap and the fuel left from the viewed player's readings at his lap
// lines, reported on the console, and whether the car will run short before the end.
#include "strategy/fuel.h"

#include <optional>

#include "race/race_length.h"
#include "strategy/fuel_laps.h"

FuelCall estimateFuel(const Tracker& tracker, const IS_LAP& lap, std::size_t slot, unsigned lapsToGo,
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

    // A zero level was never recorded; NaN fails the comparison.
    const float threeLaps = 3.0f * use;
    FuelCall call{true, use, estimate};
    if (!(estimate < threeLaps) || oldLevel == 0.0f || lastLevel == 0.0f) return call;
    if (lapsToGo < 3 && !settings.topUp) return call;

    // In a timed race the stop the amount is for costs time, and the car completes fewer laps.
    if (settings.stopSeconds != 0.0f && distanceAt(tracker, lap).estimated) {
        const unsigned withStop = distanceAt(tracker, lap, static_cast<std::uint32_t>(settings.stopSeconds * 1000.0f)).lapsToGo;
        if (withStop != lapsToGo) printLine(out, "Laps to go with a stop: ", withStop, ".");
        lapsToGo = withStop;
    }
    // The fuel for the laps to go and the reserve; to the finish, less what the tank holds now.
    const float lapsNeeded = static_cast<float>(lapsToGo) + settings.reserve;
    float need = lapsNeeded * use;
    if (settings.topUp) {
        // To the flag, and never from a reading that a stop came after: the level projected across this
        // lap's stop, or the use of a lap with one.
        if (lapsToGo == 0) return call;
        unsigned stopLap = 0;
        if (!atLine && endsWithStop(store, lap.PLID, lapsDone)) stopLap = lapsDone;
        else if (average.laps == 0 && endsWithStop(store, lap.PLID, lapsDone - 1)) stopLap = lapsDone - 1;
        if (stopLap != 0) {
            printLine(out, "Pit stop in lap ", stopLap, ": no amount from the reading before it.");
            return call;
        }
    }
    // With the top-up, a stop the tank does not need takes the least, not what the menu held from before.
    const bool reaches = settings.topUp && !(estimate < need);
    if (settings.toFinish) need = need - estimate;
    if (reaches) need = 0.0f;
    const float needPercent = need * 100.0f;
    if (reaches) printLine(out, "Player has fuel to the flag: pit fuel to the least.");
    else printLine(out, "Player will run out of fuel! ", estimatePercent, "% < ", needPercent, "%");
    call.runsShort = true;
    // The amount typed is the percent above the need; half a percent less makes it the nearest one.
    call.need = settings.roundNearest ? need - 0.005f : need;
    return call;
}
