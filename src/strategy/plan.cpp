// The stint plan: the fewest stops that reach the flag, their fuel, the window of the next one and the
// saving that drops one, from the viewed car's level, use and laps to go at its line; and how it is shown.
#include "strategy/plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/outgoing.h"
#include "strategy/pit_fuel.h"

namespace {

constexpr unsigned kMostStops = 99;  // a use this plan cannot carry to the flag stops planning there

// Laps the car can still drive from `level` before it is down to its reserve, at `use` a lap.
double lapsBefore(double level, double reserve, double use) { return std::floor((level - reserve) / use); }

// What a stop made with `reserve` left in the tank adds: the room in the tank then (a full tank is typed as 100 %).
double stopFill(double reserve) { return 1.0 - reserve; }

// The fuel the car needs beyond `level` to drive `laps` laps at `use` and keep `reserveLaps` of it at the flag.
double fuelShort(double level, double use, double reserveLaps, double laps) {
    return (laps + reserveLaps) * use - level;
}

// Whether `stops` stops carry the car `laps` laps with the reserve left at the flag: the next one made at the
// end of the last lap the car can drive with its reserve left, filling the tank, and each one after it adding
// what fits then. Those later stops are counted in fuel, not in whole stints: a driver stops at the end of
// the lap his tank will not cover the next one, with anything from nothing to a lap's fuel left, the
// reserve's worth on the mean.
bool reaches(double level, double use, double reserveLaps, double laps, unsigned stops) {
    if (stops == 0) return fuelShort(level, use, reserveLaps, laps) <= 0.0;
    const double reserve = reserveLaps * use;
    const double first = std::max(lapsBefore(level, reserve, use), 0.0);
    return fuelShort(1.0, use, reserveLaps, laps - first) <= (stops - 1) * stopFill(reserve);
}

// The most a use can be, down to 0.9 x `use`, with which `stops` stops do; 0 when even that is too much.
float savingUse(double level, double use, double reserveLaps, double laps, unsigned stops) {
    double low = 0.9 * use;
    if (!reaches(level, low, reserveLaps, laps, stops)) return 0.0f;
    double high = use;
    for (int step = 0; step < 40; ++step) {
        const double middle = (low + high) / 2.0;
        (reaches(level, middle, reserveLaps, laps, stops) ? low : high) = middle;
    }
    return static_cast<float>(low);
}

std::string percentText(float fraction, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, static_cast<double>(fraction) * 100.0);
    return text;
}

}  // namespace

unsigned plannedPercent(float fuel, const FuelSettings& settings) {
    return pitFuelAmount(settings.roundNearest ? fuel - 0.005f : fuel, kFullTankPercent);
}

StintPlan planStints(const CarAtLine& car, const FuelSettings& settings, Stints stints) {
    StintPlan plan;
    const double use = car.use, level = car.level, reserveLaps = settings.reserve;
    // From its finishing line on the car has nothing left to plan.
    if (!car.estimated || stints == Stints::Off || !(use > 0.0) || std::isnan(level) || car.lapsToGo == 0) return plan;
    plan.made = true;
    plan.use = car.use;
    const double reserve = reserveLaps * use;
    const double first = std::max(lapsBefore(level, reserve, use), 0.0);  // laps before the first stop
    if (first >= car.lapsToGo) {
        plan.spareLaps = static_cast<float>((level - reserve) / use - car.lapsToGo);
        if (car.mandatoryStopDue && car.lapsToGo >= 1) {
            plan.stops = 1;
            plan.mandatory = true;
            plan.windowFrom = car.lapsDone + 1u;
            plan.windowTo = car.lapsDone + std::max(car.lapsToGo, 2u) - 1u;
            plan.inWindow = true;
        }
        return plan;
    }
    // A stop costs time: in a timed race the car then completes fewer laps.
    const double laps = car.lapsWithStop;
    if (lapsBefore(1.0, reserve, use) < 1.0) return {};  // a use no tank lasts a lap with: nothing to plan
    const double fill = stopFill(reserve);
    unsigned stops = 1;
    while (stops < kMostStops && !reaches(level, use, reserveLaps, laps, stops)) ++stops;
    plan.stops = stops;
    // A stop takes a lap's fuel at the least: a driver low on fuel stops whatever the clock says, and a splash
    // of the least, counting on the lap the stop's time may take away, leaves him short and makes him stop again.
    const double needed = std::max(fuelShort(level, use, reserveLaps, laps), use);
    if (stints == Stints::Even) {
        plan.fuel = plan.lastFuel = static_cast<float>(std::min(needed / stops, 1.0));
    } else {
        plan.fuel = stops > 1 ? 1.0f : static_cast<float>(std::min(needed, 1.0));
        plan.lastFuel = static_cast<float>(std::clamp(needed - (stops - 1) * fill, use, 1.0));
    }
    plan.windowTo = car.lapsDone + static_cast<unsigned>(std::max(first, 1.0));
    // The earliest stop fills the tank, and the stops after it add what fits.
    const double earliest = std::max(std::ceil(laps + reserveLaps - (1.0 + (stops - 1) * fill) / use), 1.0);
    plan.windowFrom = std::min(car.lapsDone + static_cast<unsigned>(earliest), plan.windowTo);
    plan.inWindow = plan.windowFrom <= car.lapsDone + 1u;
    if (!(car.mandatoryStopDue && stops == 1)) {
        plan.savingUse = savingUse(level, use, reserveLaps, stops > 1 ? laps : car.lapsToGo, stops - 1);
    }
    return plan;
}

void reportPlan(PlanShown& shown, std::uint32_t race, const StintPlan& plan, const FuelSettings& settings, Output& out) {
    if (!plan.made) return;
    PlanShown now;
    now.race = race;
    now.stops = plan.stops;
    now.mandatory = plan.mandatory;
    if (plan.stops > 0 && !plan.mandatory) {
        now.fuel = plannedPercent(plan.fuel, settings);
        now.lastFuel = plannedPercent(plan.lastFuel, settings);
    }
    now.windowFrom = plan.windowFrom;
    now.windowTo = plan.windowTo;
    now.inWindow = plan.inWindow;
    now.saving = plan.savingUse != 0.0f;
    const bool fromMoved = shown.windowFrom != now.windowFrom && !(shown.inWindow && now.inWindow);
    const bool changed = shown.race != race || shown.stops != now.stops || shown.mandatory != now.mandatory ||
                         shown.fuel != now.fuel || shown.lastFuel != now.lastFuel || fromMoved ||
                         shown.windowTo != now.windowTo;
    const bool savingNew = now.saving && (changed || !shown.saving);
    shown = now;
    if (changed) {
        std::string line = "Plan: ";
        if (plan.stops == 0) {
            line += "no stop needed, ";
            char spare[32];
            std::snprintf(spare, sizeof spare, "%.1f", static_cast<double>(plan.spareLaps));
            line += spare;
            line += " laps spare.";
        } else if (plan.mandatory) {
            line += "1 stop (mandatory), no fuel needed.";
        } else {
            appendValue(line, plan.stops);
            line += plan.stops == 1 ? " stop, " : " stops, ";
            for (unsigned k = 1; k <= plan.stops; ++k) {
                if (k > 1) line += k == plan.stops ? " and " : ", ";
                appendValue(line, k == plan.stops ? now.lastFuel : now.fuel);
                line += '%';
            }
            line += ", next stop from lap ";
            appendValue(line, plan.windowFrom);
            line += " to lap ";
            appendValue(line, plan.windowTo);
            line += '.';
        }
        printLine(out, line);
    }
    if (savingNew) {
        printLine(out, "Plan: one stop fewer at ", percentText(plan.savingUse, 2), "% a lap (now ",
                  percentText(plan.use, 2), "%).");
    }
}
