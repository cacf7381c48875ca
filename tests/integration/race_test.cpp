// Whole races against the real program: noisy fuel use with the fuel settings closing the loop through
// the pit menu, a race of an hour, the 64-car 99-lap race, and a soak of races back to back with noise
// between the packets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "support/hosted_run.h"

// The recommended Fuel element's attributes, as the README names them.
#define RECOMMENDED_FUEL \
    "longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\""

// Fuel use that varies from lap to lap, in- and out-laps of their own: the average of three laps, a lap in
// reserve and the fill to the finish make one stop do. The amount typed at the stop's own line comes from
// the reading of the line before, after the stop it can no longer matter.
TEST(Race, NoisyUseOneStopFilledToTheFinishWithALapInReserve) {
    ModelRun run("noisy_fuel", "<Fuel average=\"3\" reserve=\"1\" fill=\"finish\"/>");
    EXPECT_EQ(run.amounts, (std::vector<int>{59, 56, 57}));
    EXPECT_EQ(count(run.program.output(), "\nAverage use over 3 laps: "), 16);  // lap lines 5 to 20
    EXPECT_EQ(run.model.strayPresses(), 0);
    const standin::CarReport* car = run.stoppedOnce();
    ASSERT_TRUE(car);
    EXPECT_EQ(std::pair(car->stops[0].lap, car->stops[0].menuPercent), std::pair(12, 56));  // typed at lap 11's line
    EXPECT_DOUBLE_EQ(car->stops[0].takenPercent, 56);
    EXPECT_NEAR(car->lapLineFuel.back(), 0.033, 0.001);  // half a lap's fuel left at the flag
}

// The same race from today's simulator, Fuel200 at every line, under the recommended setting: one stop at
// the amount typed at the line before it, the least typed once the tank reaches the flag, and fuel left.
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

// A race of one hour read as such: the viewed car's laps to go count to the leader's finish, its one
// stop takes the amount typed at the line before it, and it finishes with fuel left.
TEST(Race, TimedRaceOfAnHourOneStopToTheFlag) {
    ModelRun run("endurance", "<Race long=\"1\"/><Fuel average=\"3\" reserve=\"1\" fill=\"finish\"/>");
    const std::string out = run.program.output();
    EXPECT_EQ(count(out, "Restart detected: Race! Duration: 60 Minutes.\n"), 1);
    EXPECT_EQ(count(out, "Memory allocation error!"), 0);
    EXPECT_NE(out.find("\nPitboard for 1: Lap 59/~60\n"), std::string::npos);
    EXPECT_NE(out.find("\nSending advice:FINISHED\n"), std::string::npos);
    EXPECT_EQ(run.model.strayPresses(), 0);
    const standin::CarReport* car = run.stoppedOnce();
    ASSERT_TRUE(car && run.amounts.size() > 1);
    EXPECT_EQ(car->stops[0].menuPercent, run.amounts.at(run.amounts.size() - 2));  // typed at the line before it
}

TEST(Race, SixtyFourCarsOverNinetyNineLapsFillTheStore) {
    ModelRun run("long_race");
    run.expectTheLoopClosed();
    const std::string out = run.program.output();
    EXPECT_EQ(count(out, "Restart detected: Race! Number of laps: 99. Allocated 152460bytes.\n"), 1);
    EXPECT_GT(count(out, "\nSearching in 64 results.\n"), 0);  // a full lap block
    EXPECT_EQ(count(out, "Memory allocation error!"), 0);
    EXPECT_EQ(run.model.reports().at(0).order.size(), 64u);
}

// Every car's lap lines and the viewed car's fuel falling fast enough to need a stop, and at every lap an
// OutGauge flood, datagrams of the wrong size, packets of unknown types and an IS_TINY that is no keep-alive.
TEST(Race, SoakOfRacesBackToBack) {
    HostedRun run;
    ASSERT_TRUE(run.connect());
    standin::OutGaugeSender gauge(run.outGaugePort);
    const int races = 20;
    const std::string noise = bytes({40, 36, 0, 0}) + std::string(36, '\x33') + bytes({4, 200, 0, 0, 4, 3, 0, 9});
    const std::string withId(sizeof(OutGaugePack) + 4, '\x07');  // the optional ID: the wrong size
    std::uint32_t clock = 1000;
    for (int race = 0; race < races; ++race) {
        static constexpr byte kLaps[] = {99, 12, 5, 30, 8};  // the store made again in other sizes
        const byte laps = kLaps[race % 5], viewed = static_cast<byte>(1 + race % 10);
        run.host.sendPacket(standin::makeRst(laps, 0));
        run.host.sendPacket(standin::makeSta(viewed, 1, laps));
        for (word lap = 1; lap <= laps; ++lap) {
            for (byte car = 1; car <= 10; ++car) {
                const byte plid = lap % 2 == 0 ? car : static_cast<byte>(11 - car);  // places change
                run.host.sendPacket(standin::makeLap(plid, 61000 + plid * 37, lap * 61000u + car * 450u, lap));
                if (plid == viewed) gauge.sendPacket(standin::makeOutGauge(clock += 1000, 0.9f - 0.09f * lap, viewed));
            }
            for (int i = 0; i < 20; ++i) gauge.sendPacket(standin::makeOutGauge(clock += 10, 0.5f, viewed));
            gauge.send(withId.data(), withId.size());
            run.host.send(noise.data(), noise.size());
            ASSERT_NE(run.sent(), "(no answer)") << "race " << race + 1 << ", lap " << lap;
        }
        run.host.sendPacket(standin::makeSta(viewed, 0, laps));
    }
    run.host.closeClient();
    EXPECT_EQ(run.program.wait(kWaitMs), 0);
    const std::string out = run.program.output();
    EXPECT_EQ(count(out, "Restart detected: Race! Number of laps: "), races);
    EXPECT_EQ(count(out, "\nSession ended! Stopping tracking! Clearing buttons!\n"), races);
    EXPECT_EQ(count(out, "Memory allocation error!"), 0);
    EXPECT_GE(count(out, " bytes sent.\n"), races);  // fuel ran short in every race
    EXPECT_GT(count(out, "\nUnknown packet size!\n"), races);
    EXPECT_EQ(out.substr(out.size() - 11), "Exiting... ");
}
