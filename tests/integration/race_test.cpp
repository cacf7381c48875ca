// Whole races against the real program, one row each: the scenario played, the settings, and what only a
// whole race shows (the amounts worked out over it, the stops the car made, the keys that landed).
#include <gtest/gtest.h>

#include <signal.h>

#include "support/hosted_run.h"

namespace {

// The recommended Fuel element's attributes, as the README names them.
#define RECOMMENDED_FUEL \
    "longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\""

struct RaceRow {
    const char* scenario;
    std::string config, insim;  // cfg.xml elements beside the ports; attributes of <InSim>
    standin::HostOptions options;
    void (*check)(const ModelRun&, const std::string& console);
};

const standin::HostOptions kToday = {.simulator = standin::Simulator::Current};

const RaceRow kRaces[] = {
    // Fuel use that varies from lap to lap, in- and out-laps of their own, Fuel200 at every line, under the
    // recommended setting: one stop at the amount typed at the line before it, the least typed once the
    // tank reaches the flag, and fuel left.
    {"noisy_fuel", "<Fuel " RECOMMENDED_FUEL "/>", " version=\"8\"", kToday,
     [](const ModelRun& run, const std::string& out) {
         EXPECT_EQ(count(out, "\nFuel at this line: "), 18);  // lap lines 3 to 20
         EXPECT_EQ(count(out, "\nNo fuel at this line"), 0);
         EXPECT_EQ(run.amounts, (std::vector<int>{58, 57, 1, 1}));
         EXPECT_EQ(count(out, "\nPlayer will run out of fuel! 18% < 18.0061%\n"), 1);  // line 19: a hair short
         EXPECT_EQ(count(out, "\nPlayer has fuel to the flag: pit fuel to the least.\n"), 1);  // line 20
         EXPECT_EQ(run.model.strayPresses(), 0);
         const standin::CarReport* car = run.stoppedOnce();
         ASSERT_TRUE(car);
         EXPECT_EQ(std::pair(car->stops[0].lap, car->stops[0].menuPercent), std::pair(12, 57));  // typed at lap 11's line
         EXPECT_NEAR(car->lapLineFuel.back(), 0.043, 0.001);  // six tenths of a lap's fuel left at the flag
     }},
    // Two hours on a tank of three quarters of an hour with the plan of full stints: the plan's first count
    // of stops is the count made, each stop within the window the plan named last before it (its end said
    // again only with a new count: up to two laps beyond, as this driver runs his tank down further than the
    // reserve), the first a full tank.
    {"long_endurance", "<Race long=\"1\"/><Fuel " RECOMMENDED_FUEL "/><Plan stints=\"full\"/>", " version=\"8\"", kToday,
     [](const ModelRun& run, const std::string& out) {
         const standin::CarReport* car = viewedCar(run.model);
         ASSERT_TRUE(car);
         EXPECT_TRUE(car->finished && !car->ranDry);
         ASSERT_EQ(car->stops.size(), 2u);
         EXPECT_EQ(out.find("Plan: "), out.find("Plan: 2 stops, 100% and "));
         EXPECT_EQ(car->stops[0].menuPercent, 100);
         for (const auto& stop : car->stops) {
             // The board at the line before the stop's own describes the lap before that.
             const std::size_t at = out.rfind("next stop from lap ", out.find("Pitboard for 1: Lap " + std::to_string(stop.lap - 2) + "/"));
             int from = 0, to = 0;
             ASSERT_EQ(std::sscanf(out.c_str() + std::min(at, out.size()), "next stop from lap %d to lap %d.", &from, &to), 2);
             EXPECT_LE(from, stop.lap);
             EXPECT_GE(to + 2, stop.lap);
         }
     }},
    // With version 10 every packet both ways counts its Size in fours: a batch misread would leave keys astray.
    {"fuel_critical", "", " version=\"10\"", kToday, [](const ModelRun& run, const std::string& out) {
         EXPECT_NE(out.find("\nInSim version is 10 - accepted.\n"), std::string::npos);
         // Each batch typed whole, no key astray, and the viewed car stopped once, took the last amount and finished.
         int presses = 0;
         for (const int amount : run.amounts) presses += amount + 100;  // F12, 99 x left, amount - 1 x right, F12
         EXPECT_EQ(run.session.keyPresses(), presses);
         EXPECT_EQ(run.model.strayPresses(), 0);
         const standin::CarReport* car = run.stoppedOnce();
         ASSERT_TRUE(car && !run.amounts.empty());
         EXPECT_EQ(car->stops[0].menuPercent, run.amounts.back());
         EXPECT_DOUBLE_EQ(car->stops[0].takenPercent, run.amounts.back());
         const auto& screens = run.session.screens();
         EXPECT_TRUE(std::any_of(screens.begin(), screens.end(), [&](const auto& screen) {  // PIT and the amount
             return screen.lines.size() == 4 && screen.lines[2].substr(7, 4) == " PIT" &&
                    screen.lines[3] == "SET " + std::to_string(run.amounts.back()) + "% F";
         }));
     }},
    // The hour-long race joined ten minutes in, the link lost at twenty-five minutes for a minute and a
    // half: the program joins, goes on with the same race, sets the amount the car stops with, and at the
    // end, waiting for the game, stops at SIGTERM with exit code 0.
    {"rejoin", "<Race long=\"1\" join=\"1\"/>\n", " reconnect=\"1\"",
     {.connectAtMs = 600000, .dropAtMs = 1500000, .downMs = 90000}, [](const ModelRun& run, const std::string& out) {
         EXPECT_EQ(count(out, "\nJoined a race in progress: Race! Duration: 60 Minutes.\n"), 1);
         const std::string back = "\nLink back: the same session is still running, tracking goes on.\n";
         EXPECT_EQ(count(out, back), 1);
         EXPECT_LT(out.find("\nLost the InSim link: connecting again.\n"), out.find(back));
         EXPECT_EQ(out.substr(out.size() - 11), "Exiting... ");
         const standin::CarReport* car = run.stoppedOnce();
         ASSERT_TRUE(car);
         EXPECT_EQ(count(out, "\nSetting fuel to " + std::to_string(car->stops[0].menuPercent) + "%\n"), 1);
     }},
};

class Race : public ::testing::TestWithParam<RaceRow> {};

}  // namespace

TEST_P(Race, ShowsWhatOnlyAWholeRaceShows) {
    const RaceRow& row = GetParam();
    const ModelRun run(row.scenario, row.config, row.options, row.insim);
    row.check(run, run.program.output());
    // With the plan on, a board that says SET x% F says it with the pit menu at x.
    const std::string shown = run.shown.str();
    for (auto at = shown.find("| SET "); row.config.find("<Plan") != std::string::npos && at != std::string::npos;
         at = shown.find("| SET ", at + 1)) {
        const std::size_t menu = shown.rfind("pit fuel ", at);
        EXPECT_EQ(std::atoi(&shown[at + 6]), std::atoi(&shown[menu + 9])) << shown.substr(menu, at - menu + 16);
    }
}

INSTANTIATE_TEST_SUITE_P(Races, Race, ::testing::ValuesIn(kRaces), [](const auto& row) { return std::string(row.param.scenario); });
