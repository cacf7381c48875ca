// The real program against a current simulator: refused as designed with the default cfg.xml and by one
// that answers above 10; whole fuel-critical races with version="8" and "10", the latter in fours both ways.
#include <gtest/gtest.h>

#include "support/hosted_run.h"

TEST(Versions, CurrentSimulatorRefusesTheDefaultAndAnAnswerAboveTen) {
    const struct {
        const char* attribute;  // on the InSim element of cfg.xml
        word lowest;            // the lowest version the simulator still provides
        const char* versionLine;
        const char* error;      // the stand-in's, naming byte 8 of the IS_ISI
    } cases[] = {
        {"", 5, "InSim version is 6 - Stintkeeper only supports InSim version 5. Exiting.\n",
         "the program asked for InSim version 0, was answered 6 and went no further"},
        {" version=\"8\"", 11, "InSim version is 11 - Stintkeeper only supports InSim versions 5 to 10. Exiting.\n",
         "the program asked for InSim version 8, was answered 11 and went no further"},
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

// With 10 every packet both ways counts its Size in fours: a batch misread would leave keys astray.
TEST(Versions, VersionsEightAndTenPlayTheFuelCriticalRaceThroughThePitMenu) {
    for (const std::string version : {"8", "10"}) {
        SCOPED_TRACE(version);
        ModelRun run("fuel_critical", "", {.simulator = standin::Simulator::Current}, " version=\"" + version + "\"");
        EXPECT_NE(run.program.output().find("\nInSim version is " + version + " - accepted.\n"), std::string::npos);
        run.expectTheLoopClosed();
        const auto& screens = run.session.screens();
        EXPECT_TRUE(std::any_of(screens.begin(), screens.end(), [&](const auto& screen) {  // PIT and the amount
            return screen.lines.size() == 4 && screen.lines[2].substr(7, 4) == " PIT" &&
                   screen.lines[3] == "SET " + std::to_string(run.amounts.back()) + "% F";
        }));
    }
}

// The bytes of InSim 10 on the wire: the IS_ISI's Size 11 and the OutGauge request's 2 fours; an unknown
// packet of 10 fours read whole, the clear of a restart sent as 2 fours and the keep-alive answered as 1.
// The pit guard of cfg.xml reads the viewed car's IS_PIT of 6 fours.
TEST(Versions, VersionTenBytesOnTheWire) {
    HostedRun run("<Pit guard=\"1\"/>", " version=\"10\"");
    run.handshake = run.host.handshake(5, kWaitMs, standin::Simulator::Current);
    ASSERT_TRUE(run.program.waitForOutput("Waiting for restart...\n", kWaitMs));
    const std::string isi(run.handshake.isi.begin(), run.handshake.isi.end());
    EXPECT_EQ(isi.substr(0, 4), bytes({11, 1, 1, 0}));  // Size 11, IS_ISI, ReqI 1
    EXPECT_EQ(isi[8], 10);                              // InSimVer
    EXPECT_EQ(std::string(run.handshake.request.begin(), run.handshake.request.end()),
              bytes({2, 4, 0, 2, 0x10, 0x27, 0, 0}));  // IS_SMALL SMALL_SSG, 10000 ms
    const std::string unknown = bytes({10, 77, 0, 0}) + std::string(36, '\4');
    run.host.send(unknown.data(), unknown.size());
    run.host.sendPacket(standin::makeRst(5, 0));  // Size 7
    EXPECT_EQ(run.sent(), bytes({2, 42, 0, 1, 0, 0, 0, 0}));  // then the reply 1, 3, 0, 0, or "(no answer)"
    EXPECT_NE(run.program.output().find("InSim version is 10 - accepted.\n"), std::string::npos);
    run.host.sendPacket(standin::makeSta(3, 1, 5));
    const std::string pit = bytes({6, 26, 0, 3, 9, 0, 0, 0, 40, 0, 1, 0}) + std::string(12, '\0');  // PLID 3, 40%
    run.host.send(pit.data(), pit.size());
    EXPECT_TRUE(run.program.waitForOutput("\nPit stop: adding 40% fuel.\n", kWaitMs)) << run.program.output();
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
