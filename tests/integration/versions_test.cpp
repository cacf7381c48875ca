// The real program against a current simulator: refused as designed with the default cfg.xml, a whole
// fuel-critical race with version="8", and refused by a simulator that no longer provides version 8.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "standin/host_session.h"
#include "support/hosted_run.h"

TEST(Versions, CurrentSimulatorRefusesTheDefaultPlaysVersionEightAndRefusesEightWhenItStartsAtNine) {
    const struct {
        const char* attribute;  // on the InSim element of cfg.xml
        word lowest;            // the lowest version the simulator still provides
        const char* versionLines;
        int code;
        const char* error;  // the stand-in's, naming byte 8 of the IS_ISI; empty when the race was played
    } cases[] = {
        {"", 5, "InSim version is 6 - Stintkeeper only supports InSim version 5. Exiting.\n", 2,
         "the program asked for InSim version 0, was answered 6 and went no further"},
        {" version=\"8\"", 5, "InSim version is 8 - accepted.\nRequesting OutGauge...\nWaiting for restart...\n", 0,
         ""},
        {" version=\"8\"", 9, "InSim version is 9 - Stintkeeper only supports InSim versions 5 to 8. Exiting.\n", 2,
         "the program asked for InSim version 8, was answered 9 and went no further"},
    };
    const auto scenario = standin::loadScenario(STINTKEEPER_SOURCE_DIR "/tools/scenarios/fuel_critical.txt").scenario;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.versionLines);
        standin::InSimHost host;
        std::string config = standin::portsConfig(host.port(), standin::freePort(true));
        config.insert(config.find("\"/>") + 1, c.attribute);
        standin::ProgramRunner program(STINTKEEPER_BINARY);
        ASSERT_TRUE(program.start(config));
        standin::RaceModel model(scenario.value(), scenario->seed);
        std::ostringstream shown;
        standin::Console console(shown, false);
        standin::HostSession session(host, model, console,
                                     {.simulator = standin::Simulator::Current, .insimVersion = c.lowest});
        EXPECT_EQ(session.handshake(kWaitMs) && session.run(), c.code == 0);
        EXPECT_EQ(session.error(), c.error);
        EXPECT_EQ(program.wait(kWaitMs), c.code);
        const std::string out = program.output(), label = "\nSetting fuel to ",
                          head = consoleUntilWaiting(host.port()) + "Connected!\nSent ISI. Waiting for reply...\n" +
                                 c.versionLines;
        EXPECT_EQ(c.code == 0 ? out.substr(0, head.size()) : out, head);
        if (c.code != 0) continue;
        // One batch of key presses, none astray, PIT on the board; the car took that amount and finished.
        const int amount = std::atoi(out.c_str() + out.rfind(label) + label.size());
        EXPECT_EQ(session.keyPresses(), amount + 100);  // F12, 99 x left, amount - 1 x right, F12
        EXPECT_EQ(model.strayPresses(), 0);
        const auto& order = model.reports().at(0).order;
        const auto car = std::find_if(order.begin(), order.end(), [](const auto& car) { return car.plid == 1; });
        ASSERT_TRUE(car != order.end() && car->stops.size() == 1);
        EXPECT_EQ(car->stops[0].menuPercent, amount);
        EXPECT_TRUE(car->finished && !car->ranDry);
        EXPECT_TRUE(std::any_of(session.screens().begin(), session.screens().end(), [](const auto& screen) {
            return screen.lines.size() == 4 && screen.lines[2].substr(7, 4) == " PIT";
        }));
    }
}
