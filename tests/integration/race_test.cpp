// Whole races against the real program: noisy fuel use with the recommended fuel setting closing the
// loop through the pit menu, and two hours of planned stints.
#include <gtest/gtest.h>

#include "support/hosted_run.h"

// The recommended Fuel element's attributes, as the README names them.
#define RECOMMENDED_FUEL \
    "longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\""

// Fuel use that varies from lap to lap, in- and out-laps of their own, from today's simulator with Fuel200
// at every line, under the recommended setting: one stop at the amount typed at the line before it, the
// least typed once the tank reaches the flag, and fuel left.
TEST(Race, NoisyUseOneStopWithTheRecommendedSetting) {
    ModelRun run("noisy_fuel", "<Fuel " RECOMMENDED_FUEL "/>", {.simulator = standin::Simulator::Current}, " version=\"8\"");
    const std::string out = run.program.output();
    EXPECT_EQ(count(out, "\nFuel at this line: "), 18);  // lap lines 3 to 20
    EXPECT_EQ(count(out, "\nNo fuel at this line"), 0);
    EXPECT_EQ(run.amounts, (std::vector<int>{58, 57, 1, 1}));
    EXPECT_EQ(count(out, "\nPlayer will run out of fuel! 18% < 0.00612885%\n"), 1);  // line 19: a hair short
    EXPECT_EQ(count(out, "\nPlayer has fuel to the flag: pit fuel to the least.\n"), 1);  // line 20
    EXPECT_EQ(run.model.strayPresses(), 0);
    const standin::CarReport* car = run.stoppedOnce();
    ASSERT_TRUE(car);
    EXPECT_EQ(std::pair(car->stops[0].lap, car->stops[0].menuPercent), std::pair(12, 57));  // typed at lap 11's line
    EXPECT_NEAR(car->lapLineFuel.back(), 0.043, 0.001);  // six tenths of a lap's fuel left at the flag
}

// Two hours on a tank of three quarters of an hour, the recommended setting and the plan of full stints:
// the plan's first count of stops is the count made, each stop comes within the window the plan named last
// before it (its end said again only with a new count, so up to two laps beyond, as this driver runs his
// tank down further than the reserve), the first takes a full tank, and the car finishes with fuel left.
TEST(Race, TwoHoursTwoStopsAsPlanned) {
    ModelRun run("long_endurance", "<Race long=\"1\"/><Fuel " RECOMMENDED_FUEL "/><Plan stints=\"full\"/>",
                 {.simulator = standin::Simulator::Current}, " version=\"8\"");
    const std::string out = run.program.output();
    const standin::CarReport* car = viewedCar(run.model);
    ASSERT_TRUE(car);
    EXPECT_TRUE(car->finished && !car->ranDry);
    ASSERT_EQ(car->stops.size(), 2u);
    EXPECT_EQ(out.find("Plan: "), out.find("Plan: 2 stops, 100% and "));
    EXPECT_EQ(car->stops[0].menuPercent, 100);
    for (const auto& stop : car->stops) {
        // The board at the line before the stop's own describes the lap before that.
        const std::size_t board = out.find("Pitboard for 1: Lap " + std::to_string(stop.lap - 2) + "/");
        const std::size_t at = out.rfind("next stop from lap ", board);
        ASSERT_NE(at, std::string::npos);
        int from = 0, to = 0;
        ASSERT_EQ(std::sscanf(out.c_str() + at, "next stop from lap %d to lap %d.", &from, &to), 2);
        EXPECT_LE(from, stop.lap);
        EXPECT_GE(to + 2, stop.lap);
    }
}
