// The race log through the program's steps: the file's header and rows, its name, the end-of-race lines,
// and a directory or file that cannot be made or written; with a log, nothing else printed or sent changes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "support/files.h"
#include "support/transcript.h"

using namespace transcript;

namespace {

// Six laps of PLID 2 and the viewed PLID 1, who crosses second, then his level (none for 0), with a stop
// in his lap 4 when `stop`; that race is the race log page's: a fuel call at lap 3, a stop that took 62.5 %.
Script sixLaps(std::vector<float> levels = {0.5f, 0.375f, 0.25f, 0.75f, 0.625f, 0.5f}, bool stop = true) {
    return rst(6, 0, 0, "BL1") + sta(1, 1, 6) + linesUntil({{1, 60000, 500, stop ? 4 : 0, 0, 0, 0, levels}, {2}}, 360500);
}

const std::string kName = "2026-12-08_2041_BL1.csv";

class RaceLogTest : public ::testing::Test {
protected:
    Program logged(const std::filesystem::path& dir, bool planned = false) const {
        Program program;
        program.log.emplace(dir, planned, restartTime);
        return program;
    }
    std::string file(const std::string& name) const {
        return std::filesystem::exists(dir_ / "logs" / name) ? fileText(dir_ / "logs" / name) : "(no " + name + ")";
    }
    TempDir temp_{"log"};
    const std::filesystem::path& dir_ = temp_.path;
};

}  // namespace

// Every line is a row, in the order handled; the viewed car's comes with its level.
TEST_F(RaceLogTest, HeaderAndRowsOfARaceAndOfQualifying) {
    const Script qualifying = rst(0, 10, 0, "BL1") + sta(1, 2, 0) + res(2, 59000, 3, 0) + res(1, 60000, 2, 1) +
                              res(1, 61000, 3, 255) + sta(1, 0, 0);
    play(sixLaps() + sta(1, 0, 0) + qualifying, logged(dir_ / "logs"));
    EXPECT_EQ(file(kName),
              "session,lap,plid,position,lap_time_ms,elapsed_ms,stops,penalty,fuel,use,estimate,pit_fuel\n"
              "1,1,2,1,60000,60000,0,0,,,,\n"
              "1,1,1,2,60000,60500,0,0,0.5,,,\n"
              "1,2,2,1,60000,120000,0,0,,,,\n"
              "1,2,1,2,60000,120500,0,0,0.375,,,\n"
              "1,3,2,1,60000,180000,0,0,,,,\n"
              "1,3,1,2,60000,180500,0,0,0.25,0.125,0.25,38\n"
              "1,4,2,1,60000,240000,0,0,,,,\n"
              "1,4,1,2,60000,240500,1,0,0.75,0.125,0.125,\n"
              "1,5,2,1,60000,300000,0,0,,,,\n"
              "1,5,1,2,60000,300500,1,0,0.625,-0.5,1.25,\n"
              "1,6,2,1,60000,360000,0,0,,,,\n"
              "1,6,1,2,60000,360500,1,0,0.5,0.125,0.5,\n");
    EXPECT_EQ(file("2026-12-08_2041_BL1-2.csv"),
              "session,lap,plid,position,lap_time_ms,elapsed_ms,stops,penalty,fuel,use,estimate,pit_fuel\n"
              "2,3,2,1,59000,0,0,,,,,\n"
              "2,2,1,2,60000,0,0,,,,,\n"
              "2,3,1,,61000,0,0,,,,,\n");
    EXPECT_EQ(play(qualifying, logged(dir_ / "logs")), play(qualifying));  // its end prints nothing more
}

// With the plan on, every row ends with the stops left and the window of the next stop, where there are.
TEST_F(RaceLogTest, PlanColumns) {
    Program program;
    program.stints = Stints::Full;
    program.log.emplace(dir_ / "logs", true, restartTime);
    play(sixLaps(), std::move(program));
    // Lap 3: the fuel to the flag, 13 %, where 38 % is designed, and at lap 4 again, a new stint in its window;
    // lap 5 shows no use and the finish nothing to plan: no plan at either.
    // The other columns are as without the plan.
    const std::string text = file(kName);
    for (const char* part : {",pit_fuel,stops_left,window_from,window_to\n1,1,2,1,60000,60000,0,0,,,,,,,\n",
                             "\n1,3,1,2,60000,180500,0,0,0.25,0.125,0.25,13,1,4,5\n",
                             "\n1,4,1,2,60000,240500,1,0,0.75,0.125,0.125,13,1,5,5\n1,5,2,1,60000,300000,0,0,,,,,,,\n"
                             "1,5,1,2,60000,300500,1,0,0.625,-0.5,1.25,,,,\n"}) {
        EXPECT_NE(text.find(part), std::string::npos) << text;
    }
}

// The viewed car's row waits for its level only until its next line; rows the store refuses are not
// written; every restart counts, those without a file too.
TEST_F(RaceLogTest, RowsThatWaitAndRowsThatAreNot) {
    const Script script = rst(0, 0) + rst(3, 0) + sta(1, 1, 3) + lap(1, 60000, 60000, 1) + lap(1, 60000, 60000, 1) +
                          lap(2, 60000, 60100, 1) + lap(1, 60000, 120000, 2) + gauge(1, 0.0f) + gauge(2, 0.5f) +
                          lap(1, 60000, 180000, 4);
    play(script, logged(dir_ / "logs"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "logs"), {}), 1);  // the restart of no race has none
    EXPECT_EQ(file("2026-12-08_2041.csv"),
              "session,lap,plid,position,lap_time_ms,elapsed_ms,stops,penalty,fuel,use,estimate,pit_fuel\n"
              "2,1,2,2,60000,60100,0,0,,,,\n"
              "2,1,1,1,60000,60000,0,0,,,,\n"
              "2,2,1,1,60000,120000,0,0,0.5,,,\n");
}

// Named by the restart's local time and its track's letters and digits; an existing file is never
// written over.
TEST_F(RaceLogTest, FileNames) {
    std::filesystem::create_directories(dir_ / "logs");
    std::ofstream(dir_ / "logs" / kName) << "kept";
    play(rst(3, 0, 0, "BL1") + rst(3, 0, 0, "B L/1") + rst(3, 0, 0, std::string("SO\0X", 4)) + rst(3, 0, 0, "../"),
         logged(dir_ / "logs"));
    EXPECT_EQ(file(kName), "kept");
    for (const char* name : {"2026-12-08_2041_BL1-2.csv", "2026-12-08_2041_BL1-3.csv", "2026-12-08_2041_SO.csv",
                             "2026-12-08_2041.csv"}) {
        EXPECT_EQ(file(name), std::string(kRaceLogHeader)) << name;
    }
}

// At the session's end or the next restart, the fuel at the flag and the first call against what the
// race needed; an unknown figure says why. Before them, the console is as without a log.
TEST_F(RaceLogTest, EndOfRaceLines) {
    const std::string flag = "Race log: " + kName + ", fuel at the flag ";
    Script twoStops = rst(6, 0, 0, "BL1") + sta(1, 1, 6);  // stops in laps 3 and 5, taking 50 % and 6.25 %
    const float levels[] = {0.5f, 0.375f, 0.75f, 0.625f, 0.5625f, 0.4375f};
    for (int n = 1; n <= 6; ++n) {
        twoStops = twoStops + lap(2, 60000, n * 60000, n) + lap(1, 60000, n * 60000 + 500, n, 0, (n - 1) / 2) + gauge(n, levels[n - 1]);
    }
    const struct {
        const char* name;
        Script race;
        std::string lines;
        bool planned = false;  // with a plan: the first stop's need, the second's fuel in the flag's level
    } cases[] = {
        {"a stop that took 62.5 %: 50 % more than the 12.5 % needed", sixLaps(),
         flag + "50% (4 laps).\nFirst fuel call: asked 38%, needed 12.5%.\n"},
        {"no datagram", sixLaps({}, false), flag + "unknown (no reading).\n"},
        {"one level", sixLaps({0.5f}, false), flag + "50% (laps unknown: no use).\n"},
        {"no stop", sixLaps({0.5f, 0.375f, 0.25f, 0.1875f, 0.125f, 0.0625f}, false),
         flag + "6.25% (0.714286 laps).\nFirst fuel call: asked 38%, needed unknown (no stop).\n"},
        {"no level before the stop", sixLaps({0.5f, 0.375f, 0, 0.75f, 0.625f, 0.5f}),
         flag + "50% (4 laps).\nFirst fuel call: asked 38%, needed unknown (no reading).\n"},
        {"two stops, with a plan", twoStops, flag + "43.75% (3.5 laps).\nFirst fuel call: asked 38%, needed 6.25%.\n", true},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(dir_ / "logs");
        const std::string plain = play(c.race + mark() + sta(1, 0, 0));
        EXPECT_EQ(play(c.race + mark() + sta(1, 0, 0), logged(dir_ / "logs", c.planned)), plain + c.lines) << c.name;
        std::filesystem::remove_all(dir_ / "logs");
        EXPECT_EQ(play(c.race + mark() + rst(5, 0), logged(dir_ / "logs", c.planned)), c.lines + play(c.race + mark() + rst(5, 0)))
            << c.name;
    }
}

TEST_F(RaceLogTest, ADirectoryThatCannotBeMadeLeavesTheRaceAsItIs) {
    std::ofstream(dir_ / "file") << "in the way";
    const Script race = sixLaps() + sta(1, 0, 0);
    std::string errors;
    EXPECT_EQ(play(race, logged(dir_ / "file" / "logs"), &errors), play(race));
    EXPECT_EQ(errors, "race log: the directory " + (dir_ / "file" / "logs").string() +
                          " cannot be made (Not a directory): the session runs on without a log\n");
}

// A write that fails mid-race (here a file size limit) is named once; the race runs on.
TEST_F(RaceLogTest, AWriteThatFailsStopsTheLogOnly) {
    const Script race = sixLaps() + sta(1, 0, 0);
    const std::string plain = play(race);
    rlimit before{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit small = before;
    small.rlim_cur = 200;  // the header and a few rows
    ::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string errors;
    const std::string withLog = play(race, logged(dir_ / "logs"), &errors);
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(withLog, plain + "Race log: " + kName + ", fuel at the flag 50% (4 laps).\n"
                      "First fuel call: asked 38%, needed 12.5%.\n");
    EXPECT_EQ(errors, "race log: writing " + (dir_ / "logs" / kName).string() +
                          " failed (File too large): no more rows are written to it\n");
    EXPECT_EQ(file(kName).size(), 200u);
}
