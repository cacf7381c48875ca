// The pitboard as transcripts: the race board with its colours, markers and advice line, its time-out,
// and the text formats of gaps and lap times.
#include <gtest/gtest.h>

#include "race/lap_time.h"
#include "strategy/pitboard.h"
#include "support/transcript.h"

using namespace transcript;

namespace {

// Lap n's line: `ahead` cars before the viewed PLID 7, the nearest `gapAhead` ms ahead; 7 with a lap
// time of 1:23.45; then one car `gapBehind` ms behind it (none for 0).
Script lineOfLap(int n, int ahead, std::uint32_t gapAhead, std::uint32_t gapBehind, int penalty = 0) {
    const std::uint32_t at = n * 100000;
    Script out;
    for (int k = ahead; k >= 1; --k) out = out + lap(20 + k, 83000, at - gapAhead - (k - 1) * 1000, n);
    out = out + lap(7, 83450, at, n, penalty);
    return gapBehind ? out + lap(40, 84000, at + gapBehind, n) : out;
}

// The fuel lines of a lap line whose two readings before were never taken (no OutGauge here).
std::string noReadings(int lapsDone) {
    return "Fuel in " + std::to_string(lapsDone - 3) +
           ": 0. Fuel one lap later: 0\nPlayer has approx 0% fuel and consumes 0% per lap.\n";
}

// The console report and the three lines of the board about lap 5 of 10, at the viewed car's line of
// lap 6; `placeBefore` is its place at the line of lap 4, the block searched has `cars` records.
std::string boardOfLapFive(int cars, int placeBefore, const std::string& marker, const std::string& top,
                           const std::string& middle, const std::string& bottom) {
    const std::string index = placeBefore == 3 ? "" : "Index 2 laps ago = " + std::to_string(placeBefore - 1) +
                                                          " but last lap = 2\n";
    return "New registered laptime by PLID 7: 1:24.0\nSearching in " + std::to_string(cars) + " results.\n" + index +
           noReadings(6) + board(7, "5/10", bottom, "-1800 | +600\nP3 | " + marker + "\n1:23.45", top, middle);
}

}  // namespace

// The board of lap 5 against the one of lap 4: colours only for the same player, gap colours only at an
// unchanged place, a marker shown red when it repeats.
TEST(RaceBoard, ColoursAndMarkers) {
    const struct {
        int ahead;                   // cars ahead at lap 4; at lap 5 always two (third place)
        std::uint32_t gapAhead, gapBehind;
        int penaltyBefore, penalty;  // at the lines of laps 5 and 6
        const char *top, *middle, *bottom, *marker;
    } cases[] = {
        {3, 1000, 300, 0, 0, "L5/10 P^23", "-1.80^9/+0.60", "1:23.45 ^1   ", "   "},     // a place gained
        {1, 1000, 300, 0, 0, "L5/10 P^13", "-1.80^9/+0.60", "1:23.45 ^1   ", "   "},     // a place lost
        {2, 1000, 900, 0, 0, "L5/10 P3", "^1-1.80^9/^1+0.60", "1:23.45 ^1   ", "   "},  // the car ahead away, the one behind closer
        {2, 2500, 300, 0, 0, "L5/10 P3", "^2-1.80^9/^2+0.60", "1:23.45 ^1   ", "   "},  // closer to the car ahead, away from the one behind
        {2, 2500, 900, 0, 0, "L5/10 P3", "^2-1.80^9/^1+0.60", "1:23.45 ^1   ", "   "},  // closer to both
        {2, 1800, 600, 0, 0, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 ^1   ", "   "},
        {2, 1800, 600, 0, 2, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 D/T", "D/T"},
        {2, 1800, 600, 2, 2, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 ^1D/T", "D/T"},
        {2, 1800, 600, 0, 4, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 S&G", "S&G"},
        {2, 1800, 600, 7, 3, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 ^1", ""},  // other penalties: no marker
    };
    for (const auto& c : cases) {
        const Script script = race(10, 7) + lineOfLap(4, c.ahead, c.gapAhead, c.gapBehind) +
                              lineOfLap(5, 2, 1800, 600, c.penaltyBefore) + mark() + lap(7, 84000, 587000, 6, c.penalty);
        EXPECT_EQ(play(script), boardOfLapFive(4, c.ahead + 1, c.marker, c.top, c.middle, c.bottom))
            << c.top << " " << c.middle << " " << c.bottom;
    }
    // The board before was about another player: no colours at all.
    const Script viewChanged = race(10, 8) + lineOfLap(4, 3, 1000, 300) + lineOfLap(5, 2, 1800, 600) +
                               lap(8, 90000, 590000, 5) + sta(7, 1, 10) + mark() + lap(7, 84000, 587000, 6);
    EXPECT_EQ(play(viewChanged), boardOfLapFive(5, 4, "   ", "L5/10 P3", "-1.80^9/+0.60", "1:23.45    "));
}

TEST(RaceBoard, MandatoryStopShowsPitOverTheLastThreeLapsUntilMade) {
    const struct {
        int flags, lapsDone, stops;
        const char* bottom;
    } cases[] = {{64, 6, 0, "1:23.00 ^1   "}, {64, 7, 0, "1:23.00 PIT"}, {64, 8, 0, "1:23.00 ^1PIT"},
                 {64, 8, 1, "1:23.00 ^1   "}, {0, 8, 0, "1:23.00 ^1   "}};
    for (const auto& c : cases) {
        const int n = c.lapsDone;
        const Script script = race(10, 7, c.flags) + lap(7, 83000, (n - 2) * 83000, n - 2) +
                              lap(7, 83000, (n - 1) * 83000, n - 1, 0, c.stops) + mark() +
                              lap(7, 83000, n * 83000, n, 0, c.stops);
        const std::string marker = std::string(c.bottom).substr(std::string(c.bottom).size() - 3);
        EXPECT_EQ(play(script), "New registered laptime by PLID 7: 1:23.0\nSearching in 1 results.\n" + noReadings(n) +
                                    board(7, std::to_string(n - 1) + "/10", c.bottom, "-0 | +0\nP1 | " + marker + "\n1:23.0"))
            << n << " " << c.bottom;
    }
}

TEST(RaceBoard, AdviceOnTheLastTwoLapLinesAndGapsFromOneHundredSeconds) {
    Script script = race(10, 7);
    for (int n = 7; n <= 8; ++n) {
        script = script + lap(3, 80000, n * 100000 - 100000, n) + lap(7, 83450, n * 100000, n) +
                 lap(4, 83450, n * 100000 + 120000, n);
    }
    script = script + mark() + lap(7, 83000, 900000, 9) + lap(7, 83000, 1000000, 10);
    EXPECT_EQ(play(script),
              "New registered laptime by PLID 7: 1:23.0\nSearching in 3 results.\n" + noReadings(9) +
                  "Pitboard for 7: Lap 8/10\n"
              "-100000 | +120000\nP2 |    \n1:23.45\n{clear}{btn 1 |L8/10 P2        |}{btn 2 |-100^9/+120        \\0|}"
              "{btn 3 |1:23.45 ^1      |}Sending advice:LAST LAP\n{btn 4 |LAST LAP\\0\\0\\0\\0|}"
              "New registered laptime by PLID 7: 1:23.0\nSearching in 1 results.\nIndex 2 laps ago = 1 but last lap = 0\n" +
                  noReadings(10) + board(7, "9/10", "1:23.00 ^1", "-0 | +0\nP1 |    \n1:23.0", "L9/10 P^21") +
              "Sending advice:FINISHED\n{btn 4 |FINISHED\\0\\0\\0\\0|}");
}

// A board shown at OutGauge time 100000 with a time-out of 15 s goes with the first datagram after 115000;
// a board shown before any datagram never does; a negative time-out clears at the next datagram.
TEST(RaceBoard, TimeOut) {
    const Script shown = race(10, 7) + lap(7, 60000, 60000, 1) + gauge(100000, 0.5f) + lap(7, 60000, 120000, 2) + mark();
    EXPECT_EQ(play(shown + gauge(115000, 0.4f) + gauge(115001, 0.3f) + gauge(200000, 0.3f)),
              "Fuel for 7: (pLaps+1->fuel[0] = 0.4\nPitboard is too old!\n{clear}");
    // Both boards carry the same stamp when no datagram came between them: both go at once.
    EXPECT_EQ(play(shown + lap(7, 60000, 180000, 3) + mark() + gauge(115001, 0.4f)),
              "Pitboard is too old!\n{clear}Pitboard is too old!\n{clear}Fuel for 7: (pLaps+1->fuel[0] = 0.4\n"
              "Fuel for 7: (pLaps+2->fuel[0] = 0.4\n");
    // The older stamp, carried along to the board before, clears the newer board early.
    EXPECT_EQ(play(shown + gauge(110000, 0.4f) + lap(7, 60000, 180000, 3) + mark() + gauge(115001, 0.3f)),
              "Pitboard is too old!\n{clear}Fuel for 7: (pLaps+2->fuel[0] = 0.3\n");
    Config negative;  // as cfg.xml gives it
    negative.boardTimeOutMs = -5000;
    EXPECT_EQ(play(shown + gauge(100001, 0.4f), Program(negative)),
              "Pitboard is too old!\n{clear}Fuel for 7: (pLaps+1->fuel[0] = 0.4\n");
}

TEST(BoardFormats, GapAndLapTime) {
    const std::pair<std::uint32_t, const char*> gaps[] = {
        {0, "0.00"},     {5040, "5.04"},  {9999, "9.99"}, {10000, "10.0"}, {65432, "65.4"},  {99999, "99.9"},
        {100000, "100"}, {754321, "754"}, {1009, "1.00"}, {10099, "10.0"}, {4294967295u, "4294967"}};
    for (const auto& [ms, text] : gaps) {
        std::string shown;
        appendGap(shown, ms);
        EXPECT_EQ(shown, text) << ms;
    }
    const std::pair<std::uint32_t, const char*> lapTimes[] = {
        {83450, "1:23.45"}, {65030, "1:05.03"}, {600000, "10:00.00"}, {59999, "0:59.99"}, {4294967295u, "71582:47.29"}};
    for (const auto& [ms, text] : lapTimes) {
        std::string shown;
        appendLapTime(shown, ms, TimeForm::Board);
        EXPECT_EQ(shown, text) << ms;
    }
}

// Lines 1 and 4 (the advice) past lap 1,000: a text longer than its 16 or 12 bytes goes in the next multiple
// of 4, the header's Size telling (in fours from InSim 9 on; the recorder reads it so); a text that fits keeps
// today's bytes.
TEST(RaceBoard, LineOneNeverLosesItsPlace) {
    const struct {
        std::uint16_t lap, raceLaps, position, positionBefore;
        bool estimated;
        SizeUnit unit;
        std::string window;
        const char* advice = "";  // rows with one check its button
    } cases[] = {
        {999, 2876, 10, 12, true, SizeUnit::Bytes, "L999/~2876 P^210"},
        {1001, 2876, 10, 12, true, SizeUnit::Bytes, "L1001/~2876 P^210   "},
        {1001, 2876, 10, 12, true, SizeUnit::Fours, "L1001/~2876 P^210   "},
        {1001, 2876, 9, 9, true, SizeUnit::Bytes, "L1001/~2876 P9  "},
        {1000, 1000, 64, 12, false, SizeUnit::Bytes, "L1000/1000 P^164"},
        {65535, 65535, 64, 12, true, SizeUnit::Bytes, "L65535/~65535 P^164 "},
        {999, 1000, 1, 1, false, SizeUnit::Bytes, "BOX 999-1003", "BOX 999-1003"},
        {1000, 1100, 1, 1, false, SizeUnit::Bytes, "BOX 1000-1004\\0\\0\\0", "BOX 1000-1004"},
    };
    for (const auto& c : cases) {
        Tracker race;
        race.previousBoard = {.plid = 1, .position = c.positionBefore};
        race.latestBoard = {.plid = 1, .position = c.position, .lap = c.lap, .raceLaps = c.raceLaps,
                            .raceLapsEstimated = c.estimated};
        std::strcpy(race.latestBoard.advice, c.advice);
        Recorder out;
        out.setSizeUnit(c.unit);
        showRaceBoard(race, out);
        const std::string button =
            *c.advice != '\0' ? "{btn 4 |" + c.window + "|}" : "{clear}{btn 1 |" + c.window + "|}{btn 2";
        EXPECT_NE(out.text.find(button), std::string::npos) << out.text;
    }
}
