// The opt-in rules of the fuel estimate, one row each: the use averaged over laps, laps that are no racing
// laps left out, the level at the line from Fuel200, the top-up typed to the flag but never from a reading
// before a stop, the nearest percent and the long average; what matters of each is the estimate's lines
// and the amount typed.
#include <gtest/gtest.h>

#include <limits>

#include "support/transcript.h"

using namespace transcript;

namespace {

// What the estimate printed and typed: from its first line to the board.
std::string estimateOf(const std::string& console) {
    const std::size_t from = console.find("Fuel in "), to = console.find("Pitboard for ");
    return from == std::string::npos || to == std::string::npos ? console : console.substr(from, to - from);
}

Program with(const FuelSettings& settings, word insimVersion) {
    Program program;
    program.fuel = settings;
    program.race.session.insimVersion = insimVersion;
    return program;
}

}  // namespace

// The lone viewed car in a race of 20: its lines, then the next one's estimate.
TEST(FuelRules, EachRule) {
    const FuelSettings racing{.average = 3, .racing = 1.1f};
    const auto fuel200 = [](int at) {  // levels of 50, 37.5 and 25 % at lines 1 to 3, each reading a 64th lower
        return std::vector<Line>{{60000, 0, at ? at : 100, 0.484375f}, {60000, 0, at ? at : 75, 0.359375f},
                                 {60000, 0, at ? at : 50, 0.234375f}};
    };
    const std::string projected =
        "Fuel in 1: 0.359375. Fuel one lap later: 0.234375\n"
        "No fuel at this line from the simulator: the OutGauge readings are used.\n"
        "Player has approx 10.9375% fuel and consumes 12.5% per lap.\n"
        "Player will run out of fuel! 10.9375% < 200%\n" + setting(99);
    const std::string twoLapsShort = "Fuel in 9: 0.375. Fuel one lap later: 0.25\n"
                                     "Player has approx 12.5% fuel and consumes 12.5% per lap.\n";
    const std::vector<Line> beforeAStop = after(9, {{60000, 0, 0, 0.375f}, {60000, 0, 0, 0.25f}});
    std::vector<Line> tenAverage;  // laps 3 and 4 burn an eighth, the nine after them a sixteenth: 7.5 % over ten
    for (const float level : {0.9375f, 0.875f, 0.75f, 0.625f, 0.5625f, 0.5f, 0.4375f, 0.375f, 0.3125f, 0.25f, 0.1875f, 0.125f})
        tenAverage.push_back({60000, 0, 0, level});
    const struct {
        const char* name;
        FuelSettings settings;
        std::vector<Line> lines;
        Line next;
        std::string estimate;
        word version = 8;
    } rows[] = {
        {"racing: a caution lap, 80 s against 60, and half the use", racing,
         {{60000, 0, 0, 0.9375f}, {60000, 0, 0, 0.875f}, {60000, 0, 0, 0.8125f}, {60000, 0, 0, 0.75f},
          {60000, 0, 0, 0.6875f}, {80000, 0, 0, 0.65625f}}, {},
         "Fuel in 4: 0.6875. Fuel one lap later: 0.65625\nLap 6 left out of the use: slow against the best recent lap.\n"
         "Average use over 3 laps: 6.25% per lap.\nPlayer has approx 59.375% fuel and consumes 6.25% per lap.\n"},
        {"racing: the out-lap after a stop at the end of lap 4, burning half as much again", racing,
         {{60000, 0, 0, 0.9375f}, {60000, 0, 0, 0.875f}, {60000, 0, 0, 0.8125f}, {80000, 1, 0, 0.875f},
          {60000, 1, 0, 0.78125f}}, {},
         "Fuel in 3: 0.875. Fuel one lap later: 0.78125\nLap 5 left out of the use: the out-lap.\n"
         "Average use over 2 laps: 6.25% per lap.\nPlayer has approx 71.875% fuel and consumes 6.25% per lap.\n"},
        {"racing: the first lap, 40 s from a grid past the line, sets no pace", racing,
         {{40000, 0, 0, 0.9375f}, {60000, 0, 0, 0.875f}, {60000, 0, 0, 0.8125f}, {60000, 0, 0, 0.75f},
          {60000, 0, 0, 0.6875f}}, {},
         "Fuel in 3: 0.75. Fuel one lap later: 0.6875\nAverage use over 3 laps: 6.25% per lap.\n"
         "Player has approx 62.5% fuel and consumes 6.25% per lap.\n"},
        // The use over the last valid laps: both readings taken, no stop between them, fuel used.
        {"average: fewer valid laps than asked for", {.average = 3},
         {{60000, 0, 0, 0.9375f}, {60000, 0, 0, 0.8125f}, {60000, 0, 0, 0.75f}}, {},
         "Fuel in 1: 0.8125. Fuel one lap later: 0.75\nAverage use over 2 laps: 9.375% per lap.\n"
         "Player has approx 65.625% fuel and consumes 9.375% per lap.\n"},
        {"average: a stop between two readings", {.average = 3},
         {{60000, 0, 0, 0.9375f}, {60000, 0, 0, 0.8125f}, {60000, 1, 0, 0.75f}, {60000, 1, 0, 0.625f}}, {60000, 1},
         "Fuel in 2: 0.75. Fuel one lap later: 0.625\nAverage use over 2 laps: 12.5% per lap.\n"
         "Player has approx 50% fuel and consumes 12.5% per lap.\n"},
        {"average: the last reading not taken", {.average = 3},
         {{60000, 0, 0, 0.875f}, {60000, 0, 0, 0.75f}, {60000, 0, 0, 0.625f}, {}}, {},
         "Fuel in 2: 0.625. Fuel one lap later: 0\nAverage use over 2 laps: 12.5% per lap.\n"
         "Player has approx 0% fuel and consumes 12.5% per lap.\n"},
        {"average: a reading that is not a number", {.average = 3},
         {{60000, 0, 0, 0.875f}, {60000, 0, 0, std::numeric_limits<float>::quiet_NaN()}, {60000, 0, 0, 0.625f},
          {60000, 0, 0, 0.5f}, {60000, 0, 0, 0.4375f}}, {},
         "Fuel in 3: 0.5. Fuel one lap later: 0.4375\nAverage use over 2 laps: 9.375% per lap.\n"
         "Player has approx 34.375% fuel and consumes 9.375% per lap.\n"},
        {"average: no valid lap, the last lap alone", {.average = 3},
         {{60000, 0, 0, 0.5f}, {60000, 0, 0, 0.5f}, {60000, 1, 0, 0.75f}}, {60000, 1},
         "Fuel in 1: 0.5. Fuel one lap later: 0.75\nPlayer has approx 100% fuel and consumes -25% per lap.\n"},
        // Sixteen laps to go.
        {"level: every level from Fuel200, this line's at once", {.level = LevelSource::Line}, fuel200(0), {60000, 0, 25},
         "Fuel in 1: 0.375. Fuel one lap later: 0.25\nFuel at this line: 12.5%.\nAverage use over 1 laps: 12.5% per lap.\n"
         "Player has approx 12.5% fuel and consumes 12.5% per lap.\nPlayer will run out of fuel! 12.5% < 200%\n" + setting(99)},
        {"level: now from Fuel200, the use from OutGauge", {.level = LevelSource::Both}, fuel200(0), {60000, 0, 25},
         "Fuel in 1: 0.359375. Fuel one lap later: 0.234375\nFuel at this line: 12.5%.\n"
         "Average use over 1 laps: 12.5% per lap.\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n"
         "Player will run out of fuel! 12.5% < 200%\n" + setting(99)},
        {"level: the host hides fuel, 255", {.level = LevelSource::Line}, fuel200(255), {60000, 0, 255}, projected},
        {"level: InSim 5 has a spare byte there", {.level = LevelSource::Line}, fuel200(0), {60000, 0, 25}, projected, 5},
        {"level: under half a percent a lap, laps 2 and 4 show no use and still count",
         {.average = 3, .level = LevelSource::Line}, {{60000, 0, 125, 0.6f}, {60000, 0, 125, 0.6f}, {60000, 0, 100, 0.5f}},
         {60000, 0, 100},
         "Fuel in 1: 0.625. Fuel one lap later: 0.5\nFuel at this line: 50%.\nAverage use over 3 laps: 4.16667% per lap.\n"
         "Player has approx 50% fuel and consumes 4.16667% per lap.\n"},
        // Filling to the finish on an eighth of the tank a lap: typed with fewer than three laps to go while
        // less than three laps' use is left (the least when the tank reaches the flag), never from a reading
        // that a stop came after; without topUp as designed.
        {"top-up: two laps to go, a lap and a half's fuel left", {.toFinish = true, .topUp = true},
         after(15, {{60000, 0, 0, 0.375f}, {60000, 0, 0, 0.25f}}), {},
         "Fuel in 15: 0.375. Fuel one lap later: 0.25\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n"
         "Player will run out of fuel! 12.5% < 25%\n" + setting(13)},
        {"top-up off: nothing typed there", {.toFinish = true}, after(15, {{60000, 0, 0, 0.375f}, {60000, 0, 0, 0.25f}}), {},
         "Fuel in 15: 0.375. Fuel one lap later: 0.25\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n"},
        {"top-up: two laps' fuel left, the least and not what the menu held", {.toFinish = true, .topUp = true},
         after(15, {{60000, 0, 0, 0.5f}, {60000, 0, 0, 0.375f}}), {},
         "Fuel in 15: 0.5. Fuel one lap later: 0.375\nPlayer has approx 25% fuel and consumes 12.5% per lap.\n"
         "Player has fuel to the flag: pit fuel to the least.\n" + setting(1)},
        {"top-up for the laps to go: the least too", {.topUp = true}, after(15, {{60000, 0, 0, 0.5f}, {60000, 0, 0, 0.375f}}),
         {},
         "Fuel in 15: 0.5. Fuel one lap later: 0.375\nPlayer has approx 25% fuel and consumes 12.5% per lap.\n"
         "Player has fuel to the flag: pit fuel to the least.\n" + setting(1)},
        {"top-up: the stop's own line", {.toFinish = true, .topUp = true}, beforeAStop, {60000, 1},
         twoLapsShort + "Pit stop in lap 12: no amount from the reading before it.\n"},
        {"top-up off: the level projected across the stop", {.toFinish = true}, beforeAStop, {60000, 1},
         twoLapsShort + "Player will run out of fuel! 12.5% < 100%\n" + setting(88)},
        {"top-up: the line after a stop that took nothing", {.toFinish = true, .topUp = true},
         after(9, {{60000, 0, 0, 0.375f}, {60000, 1, 0, 0.25f}}), {60000, 1},
         twoLapsShort + "Pit stop in lap 11: no amount from the reading before it.\n"},
        {"top-up off: the use across it", {.toFinish = true}, after(9, {{60000, 0, 0, 0.375f}, {60000, 1, 0, 0.25f}}),
         {60000, 1}, twoLapsShort + "Player will run out of fuel! 12.5% < 100%\n" + setting(88)},
        {"top-up: the stop's own line with Fuel200, the level after the stop",
         {.toFinish = true, .level = LevelSource::Line, .topUp = true},
         after(9, {{60000, 0, 75, 0.375f}, {60000, 0, 50, 0.25f}}), {60000, 1, 30},
         "Fuel in 9: 0.375. Fuel one lap later: 0.25\nFuel at this line: 15%.\nAverage use over 1 laps: 12.5% per lap.\n"
         "Player has approx 15% fuel and consumes 12.5% per lap.\nPlayer will run out of fuel! 15% < 100%\n" + setting(86)},
        // The worked example's car filled to the finish: a need of 25 %, typed as 25 where 26 is designed.
        {"nearest percent", {.toFinish = true, .roundNearest = true}, after(14, {{60000, 0, 0, 0.375f}, {60000, 0, 0, 0.25f}}),
         {},
         "Fuel in 14: 0.375. Fuel one lap later: 0.25\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n"
         "Player will run out of fuel! 12.5% < 37.5%\n" + setting(25)},
        {"the use of more laps than nine", {.average = 3, .longAverage = 10}, tenAverage, {},
         "Fuel in 10: 0.1875. Fuel one lap later: 0.125\nAverage use over 10 laps: 7.5% per lap.\n"
         "Player has approx 5% fuel and consumes 7.5% per lap.\nPlayer will run out of fuel! 5% < 52.5%\n" + setting(53)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(estimateOf(play(stint(20, row.lines, {}, row.next), with(row.settings, row.version))), row.estimate)
            << row.name;
    }
}

// A stop never takes away the lap the car is on, and one shorter than a lap takes at most one lap away:
// the last two lines of an hour's leader on minute laps and of a car lapped twice on laps of 62 s, and a
// race of 60 laps, where a stop takes no lap.
TEST(FuelRules, AStopNeverTakesTheLastLap) {
    // The viewed PLID 3's line `line`, a lap after readings of 37.5 % and 25 %: 12.5 % left, 12.5 % a lap.
    const auto lineOf = [](int raceLaps, std::uint32_t lapMs, bool lapped, int line, float stopSeconds) {
        std::vector<float> levels(line - 1, 0.9f);
        levels[line - 3] = 0.375f;
        levels[line - 2] = 0.25f;
        std::vector<Car> cars{{3, lapMs, 0, 0, 0, 0, 0, levels}};
        if (lapped) cars.push_back({4});
        Program program = with({.reserve = 0.5f, .toFinish = true, .topUp = true, .stopSeconds = stopSeconds}, 5);
        program.race.longRaces = true;
        const std::string console = estimateOf(
            feed(race(raceLaps, 3) + linesUntil(cars, lapMs * line - 1) + mark() + lap(3, lapMs, lapMs * line, line), program));
        return console.substr(console.find("per lap.\n") + 9);
    };
    const std::string twoLaps = "Player will run out of fuel! 12.5% < 31.25%\n" + setting(19);
    const std::string oneLap = "Player will run out of fuel! 12.5% < 18.75%\n" + setting(7);
    // The stop takes a lap away: 7 % typed, but without it the car is short of 31.25 %.
    const std::string stopTakesALap = "Laps to go with a stop: 1.\nPlayer will run out of fuel! 12.5% < 31.25%\n" + setting(7);
    const struct {
        int raceLaps;
        std::uint32_t lapMs;
        bool lapped;
        int line;
        float stopSeconds;
        std::string console;
    } cases[] = {
        {191, 60000, false, 58, 1.0f, twoLaps},
        {191, 60000, false, 58, 59.0f, twoLaps},
        {191, 60000, false, 58, 60.0f, stopTakesALap},
        {191, 60000, false, 59, 60.0f, oneLap},
        {191, 62000, true, 57, 4.0f, twoLaps},
        {191, 62000, true, 57, 5.0f, stopTakesALap},
        {191, 62000, true, 58, 5.0f, oneLap},
        {60, 60000, false, 58, 600.0f, twoLaps},
        {60, 60000, false, 59, 60.0f, oneLap},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lineOf(c.raceLaps, c.lapMs, c.lapped, c.line, c.stopSeconds), c.console)
            << "RaceLaps " << c.raceLaps << ", line " << c.line << ", stop of " << c.stopSeconds << " s";
    }
}

// In a timed race the flag falls at its time whatever the car does, so each stop's time counts: line 37 of an
// hour on minute laps, 23 to go, 12.5 % left at 12.5 % a lap (tanks of 7 whole laps with half a lap kept). With
// stops of a minute three leave 20 laps, which three stops do; counting one stop's time alone, 22 need four.
// The last stop's fuel does not count on the line its own time may take away: 21 laps, 7 after the second.
TEST(FuelRules, EveryStopOfATimedRaceCosts) {
    std::vector<float> levels(36, 0.0f);  // no level read before line 35: the plan's first line is at line 37
    levels[34] = 0.375f;
    levels[35] = 0.25f;
    const std::vector<Car> cars{{3, 60000, 0, 0, 0, 0, 0, levels}};
    Program program = with({.reserve = 0.5f, .toFinish = true, .topUp = true, .stopSeconds = 60.0f}, 5);
    program.race.longRaces = true;
    program.stints = Stints::Full;
    const std::string console =
        feed(race(191, 3) + linesUntil(cars, 60000u * 37 - 1) + mark() + lap(3, 60000, 60000u * 37, 37), program);
    EXPECT_NE(console.find("\nPlan: 3 stops, 100%, 100% and 82%, next stop from lap 38 to lap 38.\n"), std::string::npos)
        << console;
}
