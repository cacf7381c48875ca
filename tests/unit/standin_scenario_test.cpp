// The stand-in's scenario files: what a good file gives, and the file:line: expected ... of a bad one.
#include <gtest/gtest.h>

#include <filesystem>

#include "standin/scenario.h"

using standin::parseScenario;

namespace {

std::string errorOf(const std::string& text) {
    const auto result = parseScenario(text, "test.txt");
    EXPECT_FALSE(result.scenario.has_value());
    return result.error;
}

constexpr const char* kCars = "car 1 lap 60 use 5\ncar 2 lap 61 use 5\n";

}  // namespace

TEST(StandinScenario, ReadsSettingsCarsAndSessions) {
    const auto result = parseScenario(
        "# a comment line\n"
        "seed 42\n"
        "outgauge 250   # ms\n"
        "splits 3\n"
        "pit-lane 18.5\n"
        "service 3\n"
        "refuel 0.1\n"
        "track AS1\n"
        "\n"
        "car 7 name Zed lap 62.5 spread 0.4 use 6.5 fuel 80 menu 30 stop 4 stop 9\n"
        "car 3 lap 63 use 7\n"
        "race 12 mandatory-stop\n"
        "  view 3\n"
        "  view 7 lap 5\n"
        "  penalty 3 sg lap 2\n"
        "qualifying 10\n"
        "practice 2\n"
        "  view 7\n",
        "full.txt");
    ASSERT_TRUE(result.scenario.has_value()) << result.error;
    // What the race model's own tests do not show through the race it plays.
    const standin::Scenario& s = *result.scenario;
    EXPECT_EQ(s.seed, 42u);
    EXPECT_EQ(s.outGaugeMs, 250);
    EXPECT_EQ(s.splits, 3);
    EXPECT_DOUBLE_EQ(s.refuelSecondsPerPercent, 0.1);
    EXPECT_EQ(s.track, "AS1");
    ASSERT_EQ(s.cars.size(), 2u);
    const standin::CarSpec& zed = s.cars[0];
    EXPECT_EQ(zed.plid, 7);
    EXPECT_EQ(zed.name, "Zed");
    EXPECT_DOUBLE_EQ(zed.lapSeconds, 62.5);
    EXPECT_DOUBLE_EQ(zed.spreadSeconds, 0.4);
    EXPECT_DOUBLE_EQ(zed.usePercent, 6.5);
    EXPECT_EQ(zed.stopLaps, (std::vector<int>{4, 9}));
    EXPECT_EQ(s.cars[1].name, "Car3");  // defaults
    EXPECT_DOUBLE_EQ(s.cars[1].fuelPercent, 100);
    EXPECT_EQ(s.cars[1].menuPercent, 10);

    ASSERT_EQ(s.sessions.size(), 3u);
    const standin::SessionSpec& race = s.sessions[0];
    EXPECT_EQ(race.kind, standin::SessionKind::Race);
    EXPECT_EQ(race.laps, 12);
    EXPECT_EQ(race.view, 3);
    ASSERT_EQ(race.viewChanges.size(), 1u);
    EXPECT_EQ(race.viewChanges[0].lap, 5);
    ASSERT_EQ(race.penalties.size(), 1u);
    EXPECT_EQ(race.penalties[0].penalty, 4);  // stop-go
    EXPECT_EQ(s.sessions[1].kind, standin::SessionKind::Qualifying);
    EXPECT_EQ(s.sessions[1].minutes, 10);
    EXPECT_EQ(s.sessions[1].view, 7);  // the first car when none is named
    EXPECT_EQ(s.sessions[2].kind, standin::SessionKind::Practice);
}

TEST(StandinScenario, ErrorsNameFileLineAndWhatWasExpected) {
    const std::string cars = kCars;  // lines 1 and 2
    EXPECT_EQ(errorOf(cars + "sprint 5\n"),
              "test.txt:3: expected seed, outgauge, splits, pit-lane, service, refuel, track, car, race, qualifying, "
              "practice, view or penalty, found 'sprint'");
    EXPECT_EQ(errorOf(cars + "race 100\n"), "test.txt:3: expected a number of laps from 1 to 99, found '100'");
    EXPECT_EQ(errorOf(cars + "race\n"), "test.txt:3: expected a number of laps from 1 to 99, found the end of the line");
    EXPECT_EQ(errorOf(cars + "race 5 twice\n"), "test.txt:3: expected the end of the line, found 'twice'");
    EXPECT_EQ(errorOf(cars + "\n# gap\nqualifying 0\n"),
              "test.txt:5: expected a number of minutes from 1 to 255, found '0'");
    EXPECT_EQ(errorOf("car 1 use 5\nrace 3\n"), "test.txt:1: expected 'lap <seconds>' in the car line");
    EXPECT_EQ(errorOf("car 1 lap 60\nrace 3\n"), "test.txt:1: expected 'use <percent>' in the car line");
    EXPECT_EQ(errorOf("car 1 lap 6x0 use 5\n"), "test.txt:1: expected a lap time in seconds from 10 to 1000, found '6x0'");
    EXPECT_EQ(errorOf("car 1 lap 60 use 5 colour red\n"),
              "test.txt:1: expected name, lap, spread, use, fuel, menu or stop, found 'colour'");
    EXPECT_EQ(errorOf("car 1 lap 60 use 5 menu 0\n"),
              "test.txt:1: expected a pit menu fuel setting in percent from 1 to 100, found '0'");
    EXPECT_EQ(errorOf("car 1 lap 12 spread 6 use 5\n"), "test.txt:1: expected a spread below half the lap time");
    EXPECT_EQ(errorOf("car 0 lap 60 use 5\n"), "test.txt:1: expected a PLID from 1 to 255, found '0'");
    EXPECT_EQ(errorOf(cars + "car 2 lap 60 use 5\n"), "test.txt:3: expected a PLID not used by another car, not 2");
    EXPECT_EQ(errorOf(cars + "race 3\ncar 3 lap 60 use 5\n"), "test.txt:4: expected 'car' lines before the first session");
    EXPECT_EQ(errorOf("race 3\n"), "test.txt:1: expected at least one 'car' line before the first session");
    EXPECT_EQ(errorOf(cars + "view 1\n"),
              "test.txt:3: expected 'view' inside a session (after race, qualifying or practice)");
    EXPECT_EQ(errorOf(cars + "race 3\nview 9\n"),
              "test.txt:4: expected the PLID of a car defined before the sessions, not 9");
    EXPECT_EQ(errorOf(cars + "race 3\nview 2 lap 4\n"), "test.txt:4: expected a lap number from 1 to 3, found '4'");
    EXPECT_EQ(errorOf(cars + "race 3\nview 2 at 2\n"), "test.txt:4: expected 'lap <number>' after the PLID, found 'at'");
    EXPECT_EQ(errorOf(cars + "qualifying 5\npenalty 1 dt lap 2\n"),
              "test.txt:4: expected 'penalty' in a race session only");
    EXPECT_EQ(errorOf(cars + "race 5\npenalty 1 30s lap 2\n"),
              "test.txt:4: expected 'dt' or 'sg' after the PLID, found '30s'");
    EXPECT_EQ(errorOf(cars), "test.txt:3: expected at least one session (race, qualifying or practice)");
    EXPECT_EQ(errorOf("track LONGER\n"), "test.txt:1: expected a track name of at most 5 characters, found 'LONGER'");
}

TEST(StandinScenario, SixtyFourCarsAtMost) {
    std::string text;
    for (int plid = 1; plid <= 64; ++plid) text += "car " + std::to_string(plid) + " lap 60 use 2\n";
    EXPECT_TRUE(parseScenario(text + "race 1\n", "t").scenario.has_value());
    EXPECT_EQ(errorOf(text + "car 65 lap 60 use 2\nrace 1\n"), "test.txt:65: expected at most 64 cars");
}

TEST(StandinScenario, ShippedScenariosAllRead) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(STINTKEEPER_SOURCE_DIR "/tools/scenarios")) {
        const auto result = standin::loadScenario(entry.path().string());
        EXPECT_TRUE(result.scenario.has_value()) << result.error;
        ++count;
    }
    EXPECT_GE(count, 5);
    EXPECT_EQ(standin::loadScenario("no/such/file.txt").error, "no/such/file.txt: cannot be read");
}
