// The real program's start: --help and --version answered on the console, an unknown argument and a
// missing cfg.xml named on standard error, and what the connection waits for said every 10 seconds.
#include <gtest/gtest.h>

#include <chrono>

#include "support/hosted_run.h"

TEST(Startup, HelpAndVersionAnswerOnTheConsoleAndEndWithZero) {
    const struct { const char* argument; std::string firstLine; } cases[] = {
        {"--help", "Usage: stintkeeper [--help | --version]\n"}, {"--version", "Stintkeeper by Tessel. Version R4.\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        standin::ProgramRunner program(STINTKEEPER_BINARY);
        ASSERT_TRUE(program.start(std::nullopt, {c.argument}));
        EXPECT_EQ(program.wait(kWaitMs), 0);
        EXPECT_EQ(program.output().substr(0, program.output().find('\n') + 1), c.firstLine);
        EXPECT_EQ(program.errors(), "");
    }
}

// Without cfg.xml nothing is read: the console has no "Read InSim Port" line, the defaults are in use.
TEST(Startup, AnUnknownArgumentAndNoCfgXmlAreNamedAndTheProgramRunsOn) {
    standin::ProgramRunner program(STINTKEEPER_BINARY);
    ASSERT_TRUE(program.start(std::nullopt, {"--fast"}));
    ASSERT_TRUE(program.waitForOutput("Waiting for InSim... ", kWaitMs));
    EXPECT_EQ(program.output(), "Stintkeeper by Tessel. Version R4.\n"
                                "Reading cfg.xml using IrrXML... \n"
                                "Done!\n"
                                "Initialization done!\n"
                                "Waiting for InSim... ");
    EXPECT_EQ(program.errors(),
              "stintkeeper: the argument \"--fast\" is not known and is left aside (--help lists them)\n"
              "stintkeeper: no cfg.xml in the working directory: every setting takes its default\n"
              "stintkeeper: settings: InSim port 12500, OutGauge port 12501, board time-out 15 s, "
              "the simulator is not started\n");
}

TEST(Startup, WhileNothingAcceptsTheWaitIsNamedEveryTenSeconds) {
    const std::uint16_t port = standin::freePort(false), outGaugePort = standin::freePort(true);
    const std::string insim = std::to_string(port);
    standin::ProgramRunner program(STINTKEEPER_BINARY);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(program.start(standin::portsConfig(port, outGaugePort)));
    ASSERT_TRUE(program.waitForErrors("stintkeeper: waiting", 10000 + kWaitMs));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(9900));
    EXPECT_EQ(program.output(), consoleUntilWaiting(port));
    EXPECT_EQ(program.errors(), "stintkeeper: settings: InSim port " + insim + ", OutGauge port " +
                                    std::to_string(outGaugePort) +
                                    ", board time-out 15 s, the simulator is not started\n"
                                    "stintkeeper: waiting for the simulator on InSim port " + insim +
                                    ": the game opens it with /insim " + insim +
                                    " typed in the game, or when LFSExec in cfg.xml starts it\n");
}
