// Lap times in milliseconds as text: the console's form and the pitboard's.
#include "race/lap_time.h"

namespace {

void appendPart(std::string& out, std::uint32_t value, TimeForm form) {
    if (form == TimeForm::Board && value < 10) out += '0';
    appendValue(out, value);
}

}  // namespace

void appendLapTime(std::string& out, std::uint32_t ms, TimeForm form) {
    appendValue(out, ms / 60000);
    out += ':';
    appendPart(out, (ms / 1000) % 60, form);
    out += '.';
    appendPart(out, (ms % 1000) / 10, form);
}

void printLapTimeLine(Output& out, std::uint8_t plid, std::uint32_t ms) {
    std::string time;
    appendLapTime(time, ms, TimeForm::Console);
    printLine(out, "New registered laptime by PLID ", plid, ": ", time);
}
