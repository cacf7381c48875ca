// The on-screen pitboard: race and qualifying boards as InSim buttons, and their time-out.
// Boards are composed from race tracking's records and reported on the console.
#pragma once

#include <cstdint>
#include <string>

#include "link/output.h"
#include "link/wire.h"
#include "race/race_length.h"
#include "race/tracker.h"

// Starts the viewed player's race board at the line of `lap`: the lap it describes (the one before),
// the race length, and the marker of a penalty to serve or of a mandatory stop not yet made.
void startRaceBoard(BoardData& board, const IS_LAP& lap, const SessionState& session, const Distance& distance);
void markPitStop(BoardData& board);  // "PIT": the car will run short of fuel
// "TEAM 58%": the amount a team mate's program typed for the car he drives; this program types nothing.
void teamAdvice(BoardData& board, unsigned amount);
// "LAST LAP" at the line that starts the last lap, "FINISHED" at the finish; a fuel advice goes first.
void setLastLapAdvice(BoardData& board, const Distance& distance);
// Reports latestBoard, clears the screen and sends its lines; it then becomes previousBoard.
void showRaceBoard(Tracker& tracker, Output& out);
void showQualifyingBoard(Tracker& tracker, Output& out);  // qualifying board from previousBoard
// Clears each board shown more than `boardTimeOutMs` ago on the simulator's clock.
void ageBoards(Tracker& tracker, std::int32_t boardTimeOutMs, Output& out);

void appendGap(std::string& out, std::uint32_t ms);  // 5.04, 65.4, 754
