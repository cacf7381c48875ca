// The viewed car's laps as the fuel estimate reads them: levels at the lap lines, racing laps and the
// mean use of the last valid laps.
#include "strategy/fuel_laps.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr unsigned kPaceLaps = 16;  // laps before a lap that its pace is measured against
constexpr unsigned kHighestOf = 5;  // the last laps whose highest use the finish is judged by

// The stops the player had made at the line of lap n; 0 at the start, nothing without a record.
std::optional<unsigned> stopsAt(const RaceLapStore& store, std::uint8_t plid, unsigned n) {
    if (n == 0) return 0u;
    const LapLine line = lapLine(store, plid, n);
    if (!line.record) return std::nullopt;
    return line.record->NumStops;
}

// A lap to measure pace by or against: neither the first, nor one with a stop, nor the out-lap after one.
std::optional<LapKind> stopKind(const RaceLapStore& store, std::uint8_t plid, unsigned n) {
    const auto at = stopsAt(store, plid, n), before = stopsAt(store, plid, n - 1);
    if (!at || !before) return std::nullopt;
    if (*at != *before) return LapKind::Stop;
    const auto twoBefore = n >= 2 ? stopsAt(store, plid, n - 2) : std::nullopt;
    if (twoBefore && *before != *twoBefore) return LapKind::OutLap;
    return LapKind::Racing;
}

}  // namespace

LapLine lapLine(const RaceLapStore& store, std::uint8_t plid, unsigned n) {
    const LapBlock* block = n >= 1 ? store.block(n - 1) : nullptr;
    const std::optional<std::size_t> slot = block != nullptr ? slotOf(*block, plid) : std::nullopt;
    if (!slot) return {};
    return {&block->laps[*slot], block->fuel[*slot]};
}

std::optional<float> fuelAtLine(const IS_LAP& record, word insimVersion) {
    if (insimVersion < kFirstFuel200Version || record.Fuel200 == kFuel200Hidden) return std::nullopt;
    return static_cast<float>(record.Fuel200) / 200.0f;
}

float levelAt(const LapLine& line, const FuelSettings& settings, word insimVersion) {
    const std::optional<float> atLine =
        settings.level == LevelSource::Line && line.record ? fuelAtLine(*line.record, insimVersion) : std::nullopt;
    return atLine ? *atLine : line.gauge;
}

bool endsWithStop(const RaceLapStore& store, std::uint8_t plid, unsigned n) {
    return n >= 1 && stopKind(store, plid, n) == LapKind::Stop;
}

LapKind lapKind(const RaceLapStore& store, std::uint8_t plid, unsigned n, float racing) {
    const std::optional<LapKind> kind = n >= 2 ? stopKind(store, plid, n) : std::nullopt;
    if (!kind || *kind != LapKind::Racing) return kind.value_or(LapKind::Racing);
    std::uint32_t best = 0;
    for (unsigned m = n - 1; m >= 2 && m + kPaceLaps >= n; --m) {
        const LapLine line = lapLine(store, plid, m);
        if (!line.record || line.record->LTime == 0 || stopKind(store, plid, m) != LapKind::Racing) continue;
        if (best == 0 || line.record->LTime < best) best = line.record->LTime;
    }
    const LapLine line = lapLine(store, plid, n);
    const bool slow = best != 0 && static_cast<double>(line.record->LTime) > static_cast<double>(racing) * best;
    return slow ? LapKind::Slow : LapKind::Racing;
}

const char* lapKindText(LapKind kind) {
    switch (kind) {
    case LapKind::Stop: return "a pit stop";
    case LapKind::OutLap: return "the out-lap";
    case LapKind::Slow: return "slow against the best recent lap";
    case LapKind::Racing: break;
    }
    return "a racing lap";
}

AverageUse averageUse(const RaceLapStore& store, std::uint8_t plid, unsigned lastLap, unsigned wanted,
                      const FuelSettings& settings, word insimVersion) {
    AverageUse average;
    float sum = 0.0f;
    unsigned seen = 0;  // valid laps, those beyond `wanted` read for the highest only
    for (unsigned k = lastLap; k >= 2 && (average.laps < wanted || seen < kHighestOf); --k) {
        const LapLine before = lapLine(store, plid, k - 1);
        const LapLine after = lapLine(store, plid, k);
        if (!before.record || !after.record || before.record->NumStops != after.record->NumStops) continue;
        const float from = levelAt(before, settings, insimVersion), to = levelAt(after, settings, insimVersion);
        const bool read = from != 0.0f && to != 0.0f && !std::isnan(from + to);
        const bool halfPercents = settings.level == LevelSource::Line && fuelAtLine(*before.record, insimVersion) &&
                                  fuelAtLine(*after.record, insimVersion);
        const float use = from - to;
        if (!read || !(use > 0.0f || (halfPercents && use == 0.0f))) continue;
        if (settings.racing != 0.0f && lapKind(store, plid, k, settings.racing) != LapKind::Racing) continue;
        if (seen++ < kHighestOf) average.highest = std::max(average.highest, use);
        if (average.laps == wanted) continue;
        sum += use;
        ++average.laps;
    }
    if (average.laps > 0) average.use = sum / static_cast<float>(average.laps);
    return average;
}
