// The real program against a current simulator: refused as designed with the default cfg.xml, a whole
// fuel-critical race with version="8", and refused by a simulator that no longer provides version 8.
#include <gtest/gtest.h>

#include "support/hosted_run.h"

TEST(Versions, CurrentSimulatorRefusesTheDefaultAndEightWhenItStartsAtNine) {
    const struct {
        const char* attribute;  // on the InSim element of cfg.xml
        word lowest;            // the lowest version the simulator still provides
        const char* versionLine;
        const char* error;      // the stand-in's, naming byte 8 of the IS_ISI
    } cases[] = {
        {"", 5, "InSim version is 6 - Stintkeeper only supports InSim version 5. Exiting.\n",
         "the program asked for InSim version 0, was answered 6 and went no further"},
        {" version=\"8\"", 9, "InSim version is 9 - Stintkeeper only supports InSim versions 5 to 8. Exiting.\n",
         "the program asked for InSim version 8, was answered 9 and went no further"},
    };
    for (const auto& c : cases) {
        HostedRun run("", c.attribute);
        standin::RaceModel model = modelOf("fuel_critical");
        std::ostringstream shown;
        standin::Console console(shown, false);
        standin::HostSession session(run.host, model, console,
                                     {.simulator = standin::Simulator::Current, .insimVersion = c.lowest});
        EXPECT_FALSE(session.handshake(kWaitMs));
        EXPECT_EQ(session.error(), c.error);
        EXPECT_EQ(run.program.wait(kWaitMs), 2);
        EXPECT_EQ(run.program.output(), consoleUntilWaiting(run.host.port()) +
                                            "Connected!\nSent ISI. Waiting for reply...\n" + c.versionLine);
    }
}

TEST(Versions, VersionEightPlaysTheFuelCriticalRaceThroughThePitMenu) {
    ModelRun run("fuel_critical", "", {.simulator = standin::Simulator::Current}, " version=\"8\"");
    EXPECT_NE(run.program.output().find("\nInSim version is 8 - accepted.\n"), std::string::npos);
    run.expectTheLoopClosed();
    const auto& screens = run.session.screens();
    EXPECT_TRUE(std::any_of(screens.begin(), screens.end(), [&](const auto& screen) {  // PIT and the amount
        return screen.lines.size() == 4 && screen.lines[2].substr(7, 4) == " PIT" &&
               screen.lines[3] == "SET " + std::to_string(run.amounts.back()) + "% F";
    }));
}
