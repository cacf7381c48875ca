// Fuel strategy: estimates fuel left and used per lap from the readings at the two lap lines before,
// and types the pit-stop fuel amount as one batch of "/press" commands when the car will run short.
#include "strategy/fuel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr unsigned kMaxAmount = 99;      // percent; also keeps the batch and the advice within their sizes
constexpr std::size_t kLeftPresses = 99; // reach the lowest setting, 1%, from any setting
constexpr std::size_t kMaxBatch = 1 + kLeftPresses + (kMaxAmount - 1) + 1;

template <std::size_t N>
IS_MST command(const char (&text)[N]) {
    static_assert(N <= sizeof(IS_MST::Msg), "a command fits the message field with its terminator");
    IS_MST packet{};  // Msg zero-filled behind the text
    packet.Size = sizeof(IS_MST);
    packet.Type = ISP_MST;
    std::memcpy(packet.Msg, text, N);
    return packet;
}

const IS_MST kPressF12 = command("/press F12");
const IS_MST kPressLeft = command("/press left");
const IS_MST kPressRight = command("/press right");

// The player's record at the line of lap n (in block n - 1) and the fuel read there, if any.
struct LapLine {
    const IS_LAP* record = nullptr;
    float fuel = 0.0f;
};
LapLine lapLine(const RaceLapStore& store, std::uint8_t plid, unsigned n) {
    const LapBlock* block = n >= 1 ? store.block(n - 1) : nullptr;
    const std::size_t arrivals = block != nullptr ? std::min<std::size_t>(block->arrivals, kLapsPerBlock) : 0;
    for (std::size_t s = 0; s < arrivals; ++s) {
        if (block->laps[s].PLID == plid) return {&block->laps[s], block->fuel[s]};
    }
    return {};
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

unsigned pitFuelAmount(float need) {
    // In double so that a need stored just below a whole percentage keeps that percentage.
    const double percent = static_cast<double>(need) * 100.0;
    if (std::isnan(percent)) return 0;  // no amount can be typed for an unknown need
    // Checked before the conversion: an out-of-range double has no integer value.
    if (percent >= static_cast<double>(kMaxAmount)) return kMaxAmount;
    if (percent < 0.0) return 1;  // nothing needed: the lowest setting
    return static_cast<unsigned>(percent) + 1;
}

void setPitFuel(Tracker& tracker, float need, Port& port) {
    const unsigned amount = pitFuelAmount(need);
    if (amount == 0) {
        printLine(port, "Fuel need unknown! Pit fuel not set.");
        return;
    }
    printLine(port, "Setting fuel to ", amount, "%");

    // On the stack: the batch is made and sent within this call, at most 199 packets.
    std::array<IS_MST, kMaxBatch> batch;
    std::size_t count = 0;
    batch[count++] = kPressF12;
    for (std::size_t k = 0; k < kLeftPresses; ++k) batch[count++] = kPressLeft;
    for (unsigned k = 1; k < amount; ++k) batch[count++] = kPressRight;
    batch[count++] = kPressF12;
    const std::size_t size = count * sizeof(IS_MST);
    port.send(batch.data(), size);
    printLine(port, size, " bytes sent.");

    std::string advice = "SET ";
    appendValue(advice, amount);
    advice += "% F";
    print(port, "Set Advice: ", advice);
    // At most "SET 99% F": 9 characters and the terminator fit the 12 bytes.
    std::memcpy(tracker.latestBoard.advice, advice.c_str(), advice.size() + 1);
}

void estimateFuel(Tracker& tracker, const IS_LAP& lap, std::size_t slot, Port& port) {
    const unsigned lapsDone = lap.LapsDone;
    if (!tracker.pLaps || lapsDone < 3 || slot >= kLapsPerBlock) return;
    // Blocks come only through the store, which knows how many it was made with: a RaceLaps
    // reported later that is larger than the store must not reach past it.
    const LapBlock* lastBlock = tracker.pLaps->block(lapsDone - 2);
    const LapBlock* oldBlock = tracker.pLaps->block(lapsDone - 3);
    if (!lastBlock || !oldBlock) return;

    const unsigned raceLaps = tracker.session.sta.RaceLaps;
    const unsigned lapsToGo = raceLaps > lapsDone ? raceLaps - lapsDone : 0;
    const std::size_t arrivals = std::min<std::size_t>(oldBlock->arrivals, kLapsPerBlock);
    // Paired by PLID: the car may have crossed the earlier line in another place.
    for (std::size_t j = 0; j < arrivals; ++j) {
        if (oldBlock->laps[j].PLID != lap.PLID) continue;
        if (j != slot) printLine(port, "Index 2 laps ago = ", j, " but last lap = ", slot);

        const float oldLevel = oldBlock->fuel[j];
        const float lastLevel = lastBlock->fuel[slot];
        float use = oldLevel - lastLevel;
        printLine(port, "Fuel in ", static_cast<int>(lapsDone) - 3, ": ", oldLevel,
                  ". Fuel one lap later: ", lastLevel);

        // The reading at this lap line arrives only after it, so the level now is projected.
        const float twiceLast = 2.0f * lastLevel;
        float estimate = twiceLast - oldLevel;
        const unsigned wanted = static_cast<unsigned>(tracker.fuel.average);
        const AverageUse average = wanted >= 2 ? averageUse(*tracker.pLaps, lap.PLID, lapsDone, wanted) : AverageUse{};
        if (average.laps > 0) {
            use = average.use;
            estimate = lastLevel - use;
            const float averagePercent = use * 100.0f;
            printLine(port, "Average use over ", average.laps, " laps: ", averagePercent, "% per lap.");
        }
        if (estimate < 0.0f) estimate = 0.0f;  // a NaN stays a NaN
        const float estimatePercent = estimate * 100.0f;
        const float usePercent = use * 100.0f;
        printLine(port, "Player has approx ", estimatePercent, "% fuel and consumes ", usePercent,
                  "% per lap.");

        // A zero level was never recorded; NaN fails the comparison.
        const float threeLaps = 3.0f * use;
        if (!(estimate < threeLaps) || lapsToGo < 3 || oldLevel == 0.0f || lastLevel == 0.0f) continue;

        std::memcpy(tracker.latestBoard.marker, "PIT", 4);
        // The fuel for the laps to go and the reserve; to the finish, less what the tank holds now.
        const float lapsNeeded = static_cast<float>(lapsToGo) + tracker.fuel.reserve;
        float need = lapsNeeded * use;
        if (tracker.fuel.toFinish) need = need - estimate;
        const float needPercent = need * 100.0f;
        printLine(port, "Player will run out of fuel! ", estimatePercent, "% < ", needPercent, "%");
        setPitFuel(tracker, need, port);
    }
}
