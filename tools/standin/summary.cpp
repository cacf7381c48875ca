// Writes one session's summary as plain text lines.
// Gaps in the race order are to the winner's time, or in laps for lapped cars; every line fits 80 columns.
#include "standin/summary.h"

#include <cstdio>

namespace standin {
namespace {

constexpr std::size_t kFuelPerLine = 6;  // "  99: 100.0%" is 12 columns: a line of six is 75

std::string lapTimeText(std::uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000, (ms / 1000) % 60, ms % 1000);
    return text;
}

std::string percent(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", value);
    return text;
}

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text += std::string(width - text.size(), ' ');
    return text;
}

const CarReport* find(const SessionReport& report, std::uint8_t plid) {
    for (const auto& car : report.order)
        if (car.plid == plid) return &car;
    return nullptr;
}

}  // namespace

std::string formatSummary(const SessionReport& report) {
    std::string out;
    if (report.kind == SessionKind::Race) out += "Race of " + raceLengthText(report.laps, report.hours) + ": result\n";
    else out += std::string(report.kind == SessionKind::Qualifying ? "Qualifying" : "Practice") + " of " +
                std::to_string(report.minutes) + " minutes: best laps\n";

    const CarReport* winner = report.order.empty() ? nullptr : &report.order.front();
    for (std::size_t i = 0; i < report.order.size(); ++i) {
        const CarReport& car = report.order[i];
        std::string line = "  P" + padded(std::to_string(i + 1), 3) + "PLID " + padded(std::to_string(car.plid), 4) +
                           padded(car.name, 12);
        if (report.kind == SessionKind::Race) {
            line += padded(std::to_string(car.lapsDone) + " laps", 9);
            if (car.ranDry) line += "ran dry on lap " + std::to_string(car.dryLap);
            else if (&car == winner) line += lapTimeText(car.lastLineMs);
            else if (car.lapsDone < winner->lapsDone)
                line += "+" + std::to_string(winner->lapsDone - car.lapsDone) + " lap" +
                        (winner->lapsDone - car.lapsDone == 1 ? "" : "s");
            else line += "+" + lapTimeText(car.lastLineMs - winner->lastLineMs);
            if (!car.stops.empty()) line += "  (" + std::to_string(car.stops.size()) + " stop" +
                                            (car.stops.size() == 1 ? ")" : "s)");
        } else {
            line += car.bestLapMs ? lapTimeText(car.bestLapMs) : "no time";
            line += "  (" + std::to_string(car.lapsDone) + " laps)";
            if (car.ranDry) line += "  ran dry on lap " + std::to_string(car.dryLap);
        }
        out += line + "\n";
    }

    for (const std::uint8_t plid : report.viewed) {
        const CarReport* car = find(report, plid);
        if (car == nullptr) continue;
        out += "Viewed car: PLID " + std::to_string(plid) + " (" + car->name + ")\n";
        out += "  fuel at the lap lines:";
        for (std::size_t lap = 0; lap < car->lapLineFuel.size(); ++lap) {  // six to a line, in 80 columns
            const std::string entry = std::to_string(lap + 1) + ": " + percent(car->lapLineFuel[lap] * 100.0);
            const bool lineEnds = lap % kFuelPerLine == kFuelPerLine - 1 || lap + 1 == car->lapLineFuel.size();
            if (lap % kFuelPerLine == 0) out += "\n   ";
            out += " " + (lineEnds ? entry : padded(entry, 11));
        }
        out += "\n";
        if (car->stops.empty()) out += "  stops: none\n";
        for (const StopRecord& stop : car->stops)
            out += "  stop at the end of lap " + std::to_string(stop.lap) + ": took " + percent(stop.takenPercent) +
                   " (pit menu " + std::to_string(stop.menuPercent) + "%)\n";
        out += car->ranDry ? "  ran dry on lap " + std::to_string(car->dryLap) + "\n" : "  ran dry: no\n";
    }
    out += "Stray key presses: " + std::to_string(report.strayPresses) + "\n";
    if (report.blockedPresses > 0)
        out += "Key presses into a dialog or text entry: " + std::to_string(report.blockedPresses) + "\n";
    if (report.boxChanges > 0)
        out += "Fuel setting changes while standing in the box: " + std::to_string(report.boxChanges) + "\n";
    return out;
}

}  // namespace standin
