// The on-screen pitboard: race and qualifying boards as InSim buttons, and their time-out.
// Boards are composed from the tracker's records and reported on the console.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/port.h"
#include "link/wire.h"
#include "race/session.h"

void showRaceBoard(Tracker& tracker, const IS_LAP& lap, Port& port);  // the viewed player's race board
void fillStandings(Tracker& tracker, const IS_LAP& lap, Port& port);  // position, gaps and lap time from the lap before
void showQualifyingBoard(Tracker& tracker, Port& port);              // qualifying board from previousBoard
void ageBoards(Tracker& tracker, Port& port);                        // clears boards older than boardTimeOutMs

// One IS_BTN: the 12-byte header in one send, then the first `window` bytes of text, zero-filled, in another.
void sendButton(Port& port, std::uint8_t clickId, std::uint8_t top, std::string_view text, std::size_t window);

void appendGap(std::string& out, std::uint32_t ms);      // 5.04, 65.4, 754
void appendLapTime(std::string& out, std::uint32_t ms);  // 1:05.03
inline std::string formatGap(std::uint32_t ms) { std::string s; appendGap(s, ms); return s; }
inline std::string formatLapTime(std::uint32_t ms) { std::string s; appendLapTime(s, ms); return s; }

// |a - b| with the difference taken as a signed 32-bit number, defined for every pair.
std::uint32_t etimeGap(std::uint32_t a, std::uint32_t b);
