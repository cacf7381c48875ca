// The viewed car's laps as the fuel estimate reads them: the level at each of its lap lines, which
// laps show its racing use, and the mean use of the last of those.
#pragma once

#include <cstdint>
#include <optional>

#include "link/wire.h"
#include "race/tracker.h"
#include "strategy/fuel_settings.h"

// The player's record at the line of lap n (in block n - 1) and the OutGauge reading stored for it.
struct LapLine {
    const IS_LAP* record = nullptr;
    float gauge = 0.0f;  // 0: not recorded
};
LapLine lapLine(const RaceLapStore& store, std::uint8_t plid, unsigned n);

// Fuel200 of a lap record as a fraction of a tank: from InSim 8 on, unless the host hides it.
std::optional<float> fuelAtLine(const IS_LAP& record, word insimVersion);

// The level at a line that the use is worked out from: Fuel200 with level="line" when the simulator
// fills it, else the OutGauge reading.
float levelAt(const LapLine& line, const FuelSettings& settings, word insimVersion);

// What a lap was. Racing unless the rule of settings.racing says otherwise: a lap with a stop at its
// end, the out-lap after one, or a lap slower than `racing` times the car's fastest of the laps before
// it (up to 16 back, the first lap and laps with or after a stop aside).
enum class LapKind { Racing, Stop, OutLap, Slow };
bool endsWithStop(const RaceLapStore& store, std::uint8_t plid, unsigned n);  // NumStops grew at its line
LapKind lapKind(const RaceLapStore& store, std::uint8_t plid, unsigned n, float racing);
const char* lapKindText(LapKind kind);  // why a lap is left out, for the console

struct AverageUse {
    float use = 0.0f;
    unsigned laps = 0;     // 0: no lap to average
    float highest = 0.0f;  // the most of the last five valid laps, read beyond `wanted` if need be
};

// The mean use of the player's last `wanted` valid laps, from lap `lastLap` back. A lap is valid when
// both its lap lines were read (neither 0 nor NaN), no stop came between them and it used fuel: a
// refuelling lap, a lap whose reading was never taken and the laps before the view reached the player
// (which all got the same reading) are left out; with settings.racing every lap that is no racing lap
// too. Between two Fuel200 levels a lap may show no use, being under half a percent.
AverageUse averageUse(const RaceLapStore& store, std::uint8_t plid, unsigned lastLap, unsigned wanted,
                      const FuelSettings& settings, word insimVersion);
