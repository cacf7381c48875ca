// Fuzz target: any bytes as a team link payload. Traps when a report is taken with a value out of range,
// or when a report taken, written again and read back, is not the same report.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/invariant.h"
#include "race/race_length.h"
#include "team/payload.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string why;
    const auto report = readPayload(std::string_view(reinterpret_cast<const char*>(data), size), why);
    check(report.has_value() == why.empty(), "a reason given exactly when nothing is taken");
    if (!report) return 0;
    const RaceLength length = decodeRaceLaps(static_cast<std::uint8_t>(report->race.raceLaps), true);
    for (const TeamLine& line : report->lines) {
        check(line.fuel >= 0.0f && line.fuel <= 1.0f, "a fuel within 0 to 100 %");
        check(line.lap >= 1 && (length.kind == RaceLength::Hours || line.lap <= length.count), "a lap within the race");
    }
    check(!report->use || *report->use > 0.0f, "a use above 0");
    const auto again = readPayload(writePayload(*report), why);
    check(again.has_value(), "a report written is read");
    check(again->race == report->race && again->plid == report->plid && again->sender == report->sender &&
              again->lines.size() == report->lines.size() && again->history == report->history &&
              again->amount == report->amount && again->stops == report->stops,
          "a report written and read back is the same");
    return 0;
}
