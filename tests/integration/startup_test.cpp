// The real program against the stand-in: start-up, handshake bytes, the loop's reads and shutdown.
#include <gtest/gtest.h>

#include <thread>

#include "support/hosted_run.h"

TEST(Startup, ConsoleAndHandshakeBytes) {
    HostedRun s;
    ASSERT_TRUE(s.handshake());
    std::string expectedIsi = bytes({44, 1, 1, 0, s.outGaugePort & 0xFF, s.outGaugePort >> 8, 4, 0, 0, 0, 0, 0});
    expectedIsi += std::string(16, '\0') + "Stintkeeper" + std::string(5, '\0');
    EXPECT_EQ(s.isi, expectedIsi);
    EXPECT_EQ(s.small, bytes({8, 4, 0, 2, 0x10, 0x27, 0, 0}));
    EXPECT_EQ(s.program.output(),
              "Stintkeeper by Tessel. Version R4.\n"
              "Reading cfg.xml using IrrXML... Read InSim Port: " + std::to_string(s.host.port()) + "\n"
              "Done!\n"
              "Initialization done!\n"
              "Waiting for InSim... Connected!\n"
              "Sent ISI. Waiting for reply...\n"
              "InSim version is 5 - accepted.\n"
              "Requesting OutGauge...\n"
              "Waiting for restart...\n");
}

TEST(Startup, ClosedConnectionEndsTheProgramInOrder) {
    HostedRun s;
    ASSERT_TRUE(s.handshake());
    s.host.closeClient();
    EXPECT_EQ(s.program.waitExit(kWaitMs), 0);
    const std::string out = s.program.output();
    const auto failure = out.find("Failed to receive data: ");
    ASSERT_NE(failure, std::string::npos);
    EXPECT_EQ(out.find("Failed to receive data: ", failure + 1), std::string::npos);  // printed once
    EXPECT_NE(out.find(" - Setting exit-flag!\nExiting... ", failure), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 11), "Exiting... ");
}

// Each packet read whole, whatever its type and however it arrives; only the keep-alive answered.
TEST(Startup, PacketsOfEveryKindAreReadWholeAndOnlyTheKeepAliveAnswered) {
    HostedRun s;
    ASSERT_TRUE(s.handshake());
    s.host.sendPacket(standin::makeTiny(5));  // not a keep-alive
    std::uint8_t forty[40] = {40, 77, 0, 0};
    for (int i = 4; i < 40; ++i) forty[i] = 3;  // would look like IS_TINY headers if misread
    const std::uint8_t four[4] = {4, 200, 0, 0};
    const std::uint8_t tiny[4] = {2, 201, 0, 0};  // Size below 4, type unknown: nothing more is read
    s.host.send(forty, sizeof forty);
    s.host.send(four, sizeof four);
    s.host.send(tiny, sizeof tiny);
    const IS_RST restart = standin::makeRst(5, 0);  // in three pieces
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&restart);
    for (const auto& [from, size] : {std::pair{0, 2}, std::pair{2, 10}, std::pair{12, 16}}) {
        s.host.send(raw + from, static_cast<std::size_t>(size));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(s.sentUntilKeepAlive(8), kClearButtons);
    EXPECT_TRUE(s.host.receiveBytes(1, 300).empty());
    EXPECT_EQ(s.consoleSinceHandshake(),
              "Restart detected: Race! Number of laps: 5. Allocated 7700bytes.\n"
              "Cleared memory! Cleared pitboard!\n"
              "Pitting isn't mandatory.\n");
}

TEST(Startup, InSimVersionFourIsRefused) {
    HostedRun s;
    ASSERT_TRUE(s.handshake(4));
    EXPECT_EQ(s.program.waitExit(kWaitMs), 2);
    EXPECT_NE(s.program.output().find("\nInSim version is 4 - Stintkeeper only supports InSim version 5. Exiting.\n"),
              std::string::npos);
}

TEST(Startup, ConnectionClosedBeforeVersionReply) {
    HostedRun s;
    ASSERT_TRUE(s.host.accept(kWaitMs));
    s.host.receiveBytes(44, kWaitMs);
    s.host.sendPacket(std::uint8_t{20});  // one byte of a reply, then the simulator goes away
    s.host.closeClient();
    EXPECT_EQ(s.program.waitExit(kWaitMs), 2);
    const std::string out = s.program.output();
    EXPECT_NE(out.find("Sent ISI. Waiting for reply...\nConnection closed before the InSim version reply! Exiting!\n"),
              std::string::npos);
    EXPECT_EQ(out.find("InSim version is"), std::string::npos);
}

TEST(Startup, WaitingForALateSimulatorCostsAlmostNoCpu) {
    const std::uint16_t port = standin::freePort(false);
    ProgramRun program(portsConfig(port, standin::freePort(true)));
    ASSERT_TRUE(program.waitForOutput("Waiting for InSim... "));
    // Only the waiting counts: start-up work before it (slow under the sanitizers) is left out.
    const auto before = processStat(program.pid());
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const auto after = processStat(program.pid());
    ASSERT_TRUE(before.has_value() && after.has_value());
    EXPECT_LT(after->cpuSeconds - before->cpuSeconds, 0.1);  // a spinning retry would use about 2 s
    standin::InSimHost host(port);
    ASSERT_TRUE(host.accept(kWaitMs));
    EXPECT_TRUE(program.waitForOutput("Waiting for InSim... Connected!\n"));
    EXPECT_EQ(program.output().find("Waiting for InSim... Connected!\n"),
              program.output().find("Waiting for InSim... "));  // nothing printed between
}
