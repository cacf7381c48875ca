// Joining a session found running: the restart answer read against the state answer, the laps the cars
// completed before the join partial (no place, no gaps on their boards), the fuel from the readings after it.
#include <gtest/gtest.h>

#include "support/transcript.h"

using namespace transcript;

namespace {

Program joining(bool longRaces = false) {
    Program program;
    program.join = true;
    program.race.longRaces = longRaces;
    return program;
}

// Car 8 leads on lap 7 and the viewed car 7, lapped, is on lap 5 when the program joins a race of 20.
const Script kJoinedLapped = sta(7, 1, 20) + rstAnswer(20, 0) + nlp({{8, 7}, {7, 5}});
const std::string kJoinedLine = "Joined a race in progress: Race! Number of laps: 20. Allocated 30800bytes.\n{clear}";

// The viewed car's board of a lap it is known in but not placed in: its lap time only.
std::string partialBoard(const std::string& lapOfRace, const std::string& marker) {
    return "Pitboard for 7: Lap " + lapOfRace + " (place and gaps unknown)\n|    \n1:0.0\n"
           "{clear}{btn 1 |" + padded("L" + lapOfRace, 16) + "|}{btn 3 |1:00.00" + marker + "|}";
}

}  // namespace

TEST(Join, WhatTheAnswersStart) {
    const struct {
        const char* name;
        bool join, longRaces;
        Script script;
        std::string console;
    } cases[] = {
        {"a race", true, false, kJoinedLapped, kJoinedLine},
        {"qualifying", true, false, sta(7, 2, 0) + rstAnswer(0, 10),
         "Joined a qualifying session in progress: Qualification! Duration: 10 Minutes.\n{clear}"},
        {"a timed race", true, true, sta(7, 1, 192) + rstAnswer(192, 0),
         "Joined a race in progress: Race! Duration: 120 Minutes.\n{clear}"},
        // Nothing running: no restart answer comes; the next restart is tracked as ever.
        {"nothing running", true, false, sta(0, 0, 0) + nlp({}) + rst(5, 0),
         restart("Race! Number of laps: 5. Allocated 7700bytes.")},
        {"an answer that the state contradicts", true, false, sta(0, 0, 0) + rstAnswer(5, 0), ""},
        // Without join the answer is a restart, as a restart has always been read.
        {"without join", false, false, sta(7, 1, 20) + rstAnswer(20, 0),
         restart("Race! Number of laps: 20. Allocated 30800bytes.")},
    };
    for (const auto& c : cases) {
        Program program = joining(c.longRaces);
        program.join = c.join;
        EXPECT_EQ(play(c.script, std::move(program)), c.console) << c.name;
    }
}

// The lapped viewed car: its first line after the join has no board (its lap before was not seen); the
// laps the leader had completed before the join give boards without place or gaps, even where the viewed
// car was the first seen to complete them; the first lap nobody had completed gives the whole board. The
// fuel estimate works from the first two readings after the join, as from the first two of a race. The
// cars' laps asked again, as after a lost link, with none missed, keep the join's laps partial.
TEST(Join, ALappedViewedCarIsPlacedFromTheFirstWholeLap) {
    const Script script = kJoinedLapped + mark() + lap(7, 60000, 300000, 5) + gauge(1, 0.75f) + lap(8, 60000, 360500, 7) + nlp({{8, 8}, {7, 6}}) +
                          lap(7, 60000, 360000, 6) + gauge(2, 0.625f) + lap(7, 60000, 420000, 7) + gauge(3, 0.5f) +
                          lap(8, 60000, 420500, 8) + lap(7, 60000, 480000, 8);
    const std::string out = play(script, joining());
    EXPECT_EQ(out.find("Pitboard"), out.find(partialBoard("5/20", "         "))) << out;  // none before
    EXPECT_NE(out.find("Fuel in 4: 0.75. Fuel one lap later: 0.625\nPlayer has approx 50% fuel and consumes 12.5% per lap.\n" +
                       partialBoard("6/20", " ^1      ")), std::string::npos) << out;
    EXPECT_NE(out.find(board(7, "7/20", "1:00.00 ^1", "-59500 | +0\nP2 |    \n1:0.0", "L7/20 P2", "-59.5^9/+0.00")),
              std::string::npos) << out;
}

// A race of an hour joined at its 31st lap: the laps to go come from the elapsed time at once.
TEST(Join, ATimedRaceCountsItsLapsFromTheFirstLines) {
    const Script script = sta(7, 1, 191) + rstAnswer(191, 0) + nlp({{7, 31}}) + mark() + lap(7, 60000, 1860000, 31) +
                          lap(7, 60000, 1920000, 32);
    EXPECT_EQ(play(script, joining(true)),
              lapLine(7) + lapLine(7) + "Searching in 1 results.\n" + board(7, "31/~60", "1:00.00"));
}
