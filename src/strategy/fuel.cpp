// The fuel estimate: the use per lap and the fuel left from the viewed player's readings at his lap
// lines, reported on the console, and whether the car will run short before the end.
#include "strategy/fuel.h"

#include <algorithm>
#include <cmath>

namespace {

// The player's record at the line of lap n (in block n - 1) and the fuel read there, if any.
struct LapLine {
    const IS_LAP* record = nullptr;
    float fuel = 0.0f;
};
LapLine lapLine(const RaceLapStore& store, std::uint8_t plid, unsigned n) {
    const LapBlock* block = n >= 1 ? store.block(n - 1) : nullptr;
    const std::optional<std::size_t> slot = block != nullptr ? slotOf(*block, plid) : std::nullopt;
    if (!slot) return {};
    return {&block->laps[*slot], block->fuel[*slot]};
}

struct AverageUse {
    float use = 0.0f;
    unsigned laps = 0;  // 0: no lap to average
};

// The mean use of the player's last `wanted` valid laps, from lap `lapsDone` - 1 back. A lap is valid
// when both its lap lines were read (neither 0 nor NaN), no stop came between them and it used fuel:
// a refuelling lap, a lap whose reading was never taken and the laps before the view reached the
// player (which all got the same reading) are left out.
AverageUse averageUse(const RaceLapStore& store, std::uint8_t plid, unsigned lapsDone, unsigned wanted) {
    AverageUse average;
    float sum = 0.0f;
    for (unsigned k = lapsDone - 1; k >= 2 && average.laps < wanted; --k) {
        const LapLine before = lapLine(store, plid, k - 1);
        const LapLine after = lapLine(store, plid, k);
        if (!before.record || !after.record || before.record->NumStops != after.record->NumStops) continue;
        const bool read = before.fuel != 0.0f && after.fuel != 0.0f && !std::isnan(before.fuel + after.fuel);
        const float use = before.fuel - after.fuel;
        if (!read || !(use > 0.0f)) continue;
        sum += use;
        ++average.laps;
    }
    if (average.laps > 0) average.use = sum / static_cast<float>(average.laps);
    return average;
}

}  // namespace

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

    const float oldLevel = oldBlock->fuel[j];
    const float lastLevel = lastBlock->fuel[slot];
    float use = oldLevel - lastLevel;
    printLine(out, "Fuel in ", static_cast<int>(lapsDone) - 3, ": ", oldLevel, ". Fuel one lap later: ", lastLevel);

    // The reading at this lap line arrives only after it, so the level now is projected.
    const float twiceLast = 2.0f * lastLevel;
    float estimate = twiceLast - oldLevel;
    const unsigned wanted = static_cast<unsigned>(settings.average);
    const AverageUse average = wanted >= 2 ? averageUse(*tracker.pLaps, lap.PLID, lapsDone, wanted) : AverageUse{};
    if (average.laps > 0) {
        use = average.use;
        estimate = lastLevel - use;
        const float averagePercent = use * 100.0f;
        printLine(out, "Average use over ", average.laps, " laps: ", averagePercent, "% per lap.");
    }
    if (estimate < 0.0f) estimate = 0.0f;  // a NaN stays a NaN
    const float estimatePercent = estimate * 100.0f;
    const float usePercent = use * 100.0f;
    printLine(out, "Player has approx ", estimatePercent, "% fuel and consumes ", usePercent, "% per lap.");

    // A zero level was never recorded; NaN fails the comparison.
    const float threeLaps = 3.0f * use;
    FuelCall call{true, use, estimate};
    if (!(estimate < threeLaps) || lapsToGo < 3 || oldLevel == 0.0f || lastLevel == 0.0f) return call;

    // The fuel for the laps to go and the reserve; to the finish, less what the tank holds now.
    const float lapsNeeded = static_cast<float>(lapsToGo) + settings.reserve;
    float need = lapsNeeded * use;
    if (settings.toFinish) need = need - estimate;
    const float needPercent = need * 100.0f;
    printLine(out, "Player will run out of fuel! ", estimatePercent, "% < ", needPercent, "%");
    call.runsShort = true;
    call.need = need;
    return call;
}
