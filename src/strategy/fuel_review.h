// What a race's fuel came to, from the viewed car's lap lines as the race log wrote them: the level at
// the flag, in laps of the average use, and what the first stop (or all) would have had to take to finish dry.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

// One lap line of the viewed car, as its row in the race log has it.
struct ViewedLine {
    std::uint8_t plid = 0;
    std::uint16_t lap = 0;       // LapsDone
    std::uint8_t stops = 0;      // NumStops
    std::optional<float> level;  // the level stored for the line, fraction of a full tank; nothing: none
    unsigned pitFuel = 0;        // percent typed at the line; 0: nothing typed
};

struct FuelReview {
    enum class Unknown { None, NoReading, NoUse, NoStop };  // why a figure is not known

    // The car reviewed: the one of the last line with a level that is a number (else of the last line).
    std::uint8_t plid = 0;
    // Its last level that is a number: the fuel at the flag, fraction of a full tank.
    std::optional<float> flagLevel;
    // Its mean use over its valid laps: both lines with a level that is a number, no stop between
    // them, less fuel at the second. Laps left at the flag: flagLevel / averageUse.
    std::optional<float> averageUse;
    unsigned asked = 0;  // the first amount typed at one of its lines, percent; 0: none
    // What the first stop would have had to take to finish with nothing left: every amount its stops
    // took, less the fuel at the flag, and at least 0. A stop between the lines of laps n - 1 and n
    // took level(n) - level(n - 1) + averageUse: the stop's lap is taken to burn the average.
    std::optional<float> needed;
    Unknown neededUnknown = Unknown::None;  // why `needed` is not known
};

// `lines` in the order they were handled. With `firstStopOnly` (a stint plan, whose first amount is for one
// stop of several), `needed` is what the first stop would have had to take, the later ones as they were.
FuelReview reviewFuel(std::span<const ViewedLine> lines, bool firstStopOnly = false);
