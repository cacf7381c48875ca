// What a race's fuel came to: the level at the flag in laps of the average use, and what the first
// stop would have had to take, from the viewed car's levels at its lap lines.
#include "strategy/fuel_review.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

bool isNumber(const std::optional<float>& level) { return level && !std::isnan(*level); }

}  // namespace

FuelReview reviewFuel(std::span<const ViewedLine> lines, bool firstStopOnly) {
    FuelReview review;
    if (lines.empty()) {
        review.neededUnknown = FuelReview::Unknown::NoReading;
        return review;
    }
    const auto lastRead = std::find_if(lines.rbegin(), lines.rend(), [](const ViewedLine& line) { return isNumber(line.level); });
    review.plid = lastRead != lines.rend() ? lastRead->plid : lines.back().plid;
    if (lastRead != lines.rend()) review.flagLevel = lastRead->level;

    std::vector<ViewedLine> car;  // the reviewed car's lines, by lap
    for (const ViewedLine& line : lines) {
        if (line.plid != review.plid) continue;
        car.push_back(line);
        if (review.asked == 0) review.asked = line.pitFuel;
    }
    std::stable_sort(car.begin(), car.end(), [](const ViewedLine& a, const ViewedLine& b) { return a.lap < b.lap; });

    float sum = 0.0f;
    unsigned laps = 0;
    for (std::size_t k = 1; k < car.size(); ++k) {
        const ViewedLine& before = car[k - 1];
        const ViewedLine& after = car[k];
        if (after.lap != before.lap + 1 || after.stops != before.stops) continue;
        if (!isNumber(before.level) || !isNumber(after.level)) continue;
        const float use = *before.level - *after.level;
        if (!(use > 0.0f)) continue;
        sum += use;
        ++laps;
    }
    if (laps > 0) review.averageUse = sum / static_cast<float>(laps);

    // Stops: each rise of NumStops from one of the car's lines to the next; one before its first line
    // was not seen, and what it took is not known.
    // With the first stop only, the later ones count as they were: what they took is in the flag's level.
    float taken = 0.0f;
    bool stopped = false;
    bool takenKnown = true;
    for (std::size_t k = 0; k < car.size() && !(firstStopOnly && stopped); ++k) {
        const std::uint8_t stopsBefore = k == 0 ? 0 : car[k - 1].stops;
        if (car[k].stops <= stopsBefore) continue;
        stopped = true;
        const bool around = k > 0 && car[k].lap == car[k - 1].lap + 1 && isNumber(car[k - 1].level) &&
                            isNumber(car[k].level);
        if (!around || !review.averageUse) {
            takenKnown = false;
            continue;
        }
        taken += *car[k].level - *car[k - 1].level + *review.averageUse;
    }

    using Unknown = FuelReview::Unknown;
    if (!review.flagLevel) review.neededUnknown = Unknown::NoReading;
    else if (!stopped) review.neededUnknown = Unknown::NoStop;
    else if (!review.averageUse) review.neededUnknown = Unknown::NoUse;
    else if (!takenKnown) review.neededUnknown = Unknown::NoReading;
    else review.needed = std::max(taken - *review.flagLevel, 0.0f);
    return review;
}
