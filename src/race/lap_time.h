// Lap times in milliseconds as text: the console's form and the pitboard's.
// One formatter, so the two forms differ only where they are meant to.
#pragma once

#include <cstdint>
#include <string>

#include "link/output.h"

enum class TimeForm {
    Console,  // minutes ":" seconds "." hundredths without leading zeros: 65030 -> 1:5.3
    Board,    // seconds and hundredths padded to two digits: 65030 -> 1:05.03
};

void appendLapTime(std::string& out, std::uint32_t ms, TimeForm form);

// The console line of every lap time registered, a race lap's or a qualifying best:
// "New registered laptime by PLID " + PLID + ": " + the time in the console's form.
void printLapTimeLine(Output& out, std::uint8_t plid, std::uint32_t ms);
