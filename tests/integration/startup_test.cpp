// The real program's start: --help and --version answered on the console, an unknown argument and a
// missing cfg.xml named on standard error.
#include <gtest/gtest.h>

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
