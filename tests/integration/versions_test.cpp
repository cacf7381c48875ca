// The real program against a current simulator: a whole race with version="10", in fours both ways, and
// the pit guard waiting for a busy driver with version="8".
#include <gtest/gtest.h>

#include "support/hosted_run.h"

// With 10 every packet both ways counts its Size in fours: a batch misread would leave keys astray. Version 8
// closes the loop in the pit guard's race below.
TEST(Versions, VersionTenPlaysTheFuelCriticalRaceThroughThePitMenu) {
    ModelRun run("fuel_critical", "", {.simulator = standin::Simulator::Current}, " version=\"10\"");
    EXPECT_NE(run.program.output().find("\nInSim version is 10 - accepted.\n"), std::string::npos);
    run.expectTheLoopClosed();
    const auto& screens = run.session.screens();
    EXPECT_TRUE(std::any_of(screens.begin(), screens.end(), [&](const auto& screen) {  // PIT and the amount
        return screen.lines.size() == 4 && screen.lines[2].substr(7, 4) == " PIT" &&
               screen.lines[3] == "SET " + std::to_string(run.amounts.back()) + "% F";
    }));
}

// The driver has the pit instructions screen open at the lap line where the program must type: with the
// guard the amount waits until the screen closes, and the stop takes it; no key lands astray.
TEST(Versions, PitGuardWaitsForTheBusyDriver) {
    ModelRun run("busy_driver", "<Pit guard=\"1\"/>", {.simulator = standin::Simulator::Current}, " version=\"8\"");
    const std::string out = run.program.output();
    EXPECT_NE(out.find("\nPit fuel held: a screen is open\n"), std::string::npos);
    EXPECT_NE(out.find("\nPit stop: adding "), std::string::npos);
    EXPECT_EQ(run.model.strayPresses() + run.model.blockedPresses() + run.model.boxChanges(), 0);
    run.expectTheLoopClosed();
}
