// Long and timed races: RaceLaps read as laps in tens or as hours, the race length on the board, the
// laps to go of the viewed car counted from the leader's finish, and where a timed race ends.
#include <gtest/gtest.h>

#include "race/race_length.h"
#include "support/transcript.h"

using namespace transcript;

namespace {

Program readingLongRaces() {
    Program program;
    program.race.longRaces = true;
    return program;
}

// The viewed car's latest line in the store.
IS_LAP latestLine(const Tracker& race, int plid) {
    for (std::size_t k = race.pLaps->blockCount(); k-- > 0;) {
        if (const auto slot = slotOf(*race.pLaps->block(k), static_cast<std::uint8_t>(plid))) {
            return race.pLaps->block(k)->laps[*slot];
        }
    }
    return IS_LAP{};
}

}  // namespace

TEST(RaceFormats, RestartOfEveryRange) {
    const struct {
        int raceLaps;
        bool longRaces;
        std::string kind;
    } cases[] = {
        {99, true, "Race! Number of laps: 99. Allocated 152460bytes."},
        {100, true, "Race! Number of laps: 100. Allocated 154000bytes."},
        {120, true, "Race! Number of laps: 300. Allocated 462000bytes."},
        {190, true, "Race! Number of laps: 1000. Allocated 1540000bytes."},
        {191, true, "Race! Duration: 60 Minutes."},
        {238, true, "Race! Duration: 2880 Minutes."},
        {239, true, "Strange restart! Number of laps: 239"},
        {191, false, "Strange restart! Number of laps: 191"},
    };
    for (const auto& c : cases) {
        Program program;
        program.race.longRaces = c.longRaces;
        const bool stored = c.kind.find("Race!") != std::string::npos;
        // Tracking shows in the state's clear (no board yet) and a lap of lap 1 in whether it is stored.
        EXPECT_EQ(feed(rst(c.raceLaps, 0) + sta(9, 1, c.raceLaps) + lap(8, 60000, 60000, 1), program),
                  restart(c.kind) + (stored ? "{clear}" + lapLine(8) : ""))
            << c.raceLaps;
    }
}

// RaceLaps 120 is a race of 300 laps for the board, the last lap's advice and the end of tracking.
TEST(RaceFormats, LongLapRace) {
    Program program = readingLongRaces();
    Script script = rst(120, 0) + sta(1, 1, 120);
    for (int n = 1; n <= 298; ++n) script = script + lap(1, 60000, n * 60000, n);
    feed(script + mark(), program);
    EXPECT_NE(feed(lap(1, 60000, 299 * 60000, 299), program).find(board(1, "298/300", "1:00.00 ^1") + "Sending advice:LAST LAP\n"),
              std::string::npos);
    EXPECT_NE(feed(lap(1, 60000, 300 * 60000, 300), program).find("Sending advice:FINISHED\n"), std::string::npos);
    EXPECT_EQ(feed(lap(1, 60000, 301 * 60000, 301), program),
              "New registered laptime by PLID 1: 1:0.0\nMemory allocation error!\n"
              "More laps than allocated! Ending tracking! Clearing buttons!\n{clear}");
}

// A race of one hour (or 40 laps): the leader laps in 60 s, PLID 2 in 90 s half a second behind, PLID 3 in
// 60 s with a stop of 30 s more in its lap 5; PLID 4 in 60 s but 90 s in its laps 1 or 28 to 30; the
// leader PLID 1 in 60 s with a stop of 30 s more in his lap 15 or 25.
TEST(RaceFormats, LapsToGoFromTheLeader) {
    const Car leader{1, 60000}, slow{2, 90000, 500}, stopping{3, 60000, 0, 5, 30000};
    const Car standingStart{4, 60000, 0, 0, 0, 1, 1}, caution{4, 60000, 0, 0, 0, 28, 30};
    const Car stopsTwice{1, 60000, 0, 15, 30000}, stopsLate{1, 60000, 0, 25, 30000};
    const struct {
        const char* name;
        std::vector<Car> cars;
        int viewed;
        std::uint32_t untilMs;
        unsigned total, lapsToGo;
        bool lastLap, finishing;
        int raceLaps = 191;
        bool longRaces = true;
    } cases[] = {
        {"the leader, half way", {leader, slow}, 1, 1800000, 60, 30, false, false},
        {"the leader, one lap to go", {leader, slow}, 1, 3540000, 60, 1, true, false},
        {"the leader at the time: his finishing line", {leader, slow}, 1, 3600000, 60, 0, false, true},
        {"a car laps down counts its own laps", {leader, slow}, 2, 900500, 40, 30, false, false},
        {"a car laps down, one lap to go", {leader, slow}, 2, 3510500, 40, 1, true, false},
        {"a car laps down at its first line after the leader's finish", {leader, slow}, 2, 3600500, 40, 0, false, true},
        {"a line after that is no finishing line", {leader, slow}, 2, 3690500, 41, 0, false, false},
        {"the lap with a stop is left out of the pace", {stopping}, 3, 390000, 60, 54, false, false},
        // 3,390 s left at 60 s a lap, not at the 70 s of the last three laps.
        {"a standing start is left out of the pace", {standingStart}, 4, 210000, 60, 57, false, false},
        // 1,710 s left after the caution, at 60 s a lap again.
        {"the laps of a caution are left out of the pace", {caution}, 4, 1890000, 59, 29, false, false},
        // The leader finishes a race of 40 laps at 2,400 s: the lapped car's line 27 after it is its flag.
        {"a lap race: the lapped car's last lap", {leader, slow}, 2, 2340500, 40, 1, true, false, 40},
        {"a lap race: the lapped car's flag", {leader, slow}, 2, 2430500, 40, 0, false, true, 40},
        // The leader stopped in his lap 15 for 30 s: his next stop, a stint on in lap 30, puts his flag at
        // 2,460 s; the lapped car's line at 1,620.5 s has 10 lines to go, not 9.
        {"a lap race: the leader's stop to come", {stopsTwice, slow}, 2, 1620500, 40, 10, false, false, 40},
        {"a lap race: no stop to come a stint after the leader's", {stopsLate, slow}, 2, 1620500, 40, 9, false, false, 40},
        {"a lap race without long races: the race's laps", {leader, slow}, 2, 2430500, 40, 13, false, false, 40, false},
    };
    for (const auto& c : cases) {
        Program program;
        program.race.longRaces = c.longRaces;
        feed(rst(c.raceLaps, 0) + sta(c.viewed, 1, c.raceLaps) + linesUntil(c.cars, c.untilMs), program);
        const Distance distance = distanceAt(program.race, latestLine(program.race, c.viewed));
        EXPECT_EQ(std::tuple(distance.total, distance.lapsToGo, distance.lastLap, distance.finishing, distance.estimated),
                  std::tuple(c.total, c.lapsToGo, c.lastLap, c.finishing, c.raceLaps > 190))
            << c.name;
    }
}


// The host sets up the next race while this one runs: an IS_STA with another RaceLaps at lap 5. Reading
// long races, the race keeps the length and kind of its restart for the lap line, its end, the board and
// the fuel readings; otherwise the IS_STA's RaceLaps stands, as designed.
TEST(RaceFormats, TheRaceKeepsTheLengthItStartedWith) {
    const auto boardOfLapFive = [](const std::string& total) {
        return "New registered laptime by PLID 1: 1:0.0\nSearching in 1 results.\n"
               "Fuel in 3: 0.5. Fuel one lap later: 0.5\nPlayer has approx 50% fuel and consumes 0% per lap.\n" +
               board(1, "5/" + total, "1:00.00 ^1") + "Fuel for 1: (pLaps+5->fuel[0] = 0.5\n";
    };
    const std::string ended = "New registered laptime by PLID 1: 1:0.0\nMemory allocation error!\n"
                              "More laps than allocated! Ending tracking! Clearing buttons!\n{clear}";
    const struct {
        bool longRaces;
        int started, announced;
        std::string console;
    } cases[] = {
        {true, 20, 191, boardOfLapFive("20")},
        {true, 20, 5, boardOfLapFive("20")},
        {true, 191, 5, boardOfLapFive("~60")},
        {true, 120, 20, boardOfLapFive("300")},
        {false, 20, 10, boardOfLapFive("10")},
        {false, 20, 5, ended},
    };
    for (const auto& c : cases) {
        Program program;
        program.race.longRaces = c.longRaces;
        Script script = rst(c.started, 0) + sta(1, 1, c.started);
        for (int n = 1; n <= 5; ++n) script = script + lap(1, 60000, n * 60000, n) + gauge(n, 0.5f);
        script = script + sta(1, 1, c.announced) + mark() + lap(1, 60000, 360000, 6) + gauge(6, 0.5f);
        EXPECT_EQ(feed(script, program), c.console) << c.started << " then " << c.announced;
    }
}
