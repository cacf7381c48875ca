// The real program against the stand-in: start-up, handshake bytes, the loop's reads and shutdown.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "standin/insim_host.h"
#include "standin/packets.h"
#include "support/program.h"
#include "support/recording_port.h"

namespace {

using standin::InSimHost;

constexpr int kWait = 5000;

std::string asString(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Starts the program against `host`, answers IS_ISI with `insimVer`.
struct Session {
    InSimHost host;
    std::uint16_t outGaugePort = standin::freePort(true);
    ProgramRun program{portsConfig(host.port(), outGaugePort)};
    std::string isi, small;

    bool handshake(word insimVer = 5) {
        if (!host.accept(kWait)) return false;
        isi = asString(host.receiveBytes(44, kWait));
        host.sendPacket(standin::makeVer(insimVer));
        if (insimVer != 5) return true;
        small = asString(host.receiveBytes(8, kWait));
        return program.waitForOutput("Waiting for restart...\n");
    }
    // The program's reply to a keep-alive: proves every packet before it was read whole.
    std::string keepAliveRoundTrip() {
        host.sendPacket(standin::makeTiny(TINY_NONE, 9));
        return asString(host.receiveBytes(4, kWait));
    }
};

}  // namespace

TEST(Startup, ConsoleAndHandshakeBytes) {
    Session s;
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
    Session s;
    ASSERT_TRUE(s.handshake());
    s.host.closeClient();
    EXPECT_EQ(s.program.waitExit(kWait), 0);
    const std::string out = s.program.output();
    const auto failure = out.find("Failed to receive data: ");
    ASSERT_NE(failure, std::string::npos);
    EXPECT_EQ(out.find("Failed to receive data: ", failure + 1), std::string::npos);  // printed once
    EXPECT_NE(out.find(" - Setting exit-flag!\nExiting... ", failure), std::string::npos);
    EXPECT_EQ(out.substr(out.size() - 11), "Exiting... ");
}

TEST(Startup, KeepAliveAnsweredAndOtherTinyIgnored) {
    Session s;
    ASSERT_TRUE(s.handshake());
    s.host.sendPacket(standin::makeTiny(5));  // not a keep-alive
    EXPECT_EQ(s.keepAliveRoundTrip(), bytes({4, 3, 0, 0}));
    EXPECT_TRUE(s.host.receiveBytes(1, 300).empty());  // nothing for the other IS_TINY
}

TEST(Startup, UnknownPacketsAreReadWholeAndDropped) {
    Session s;
    ASSERT_TRUE(s.handshake());
    std::uint8_t forty[40] = {40, 77, 0, 0};
    for (int i = 4; i < 40; ++i) forty[i] = 3;  // would look like IS_TINY headers if misread
    std::uint8_t four[4] = {4, 200, 0, 0};
    std::uint8_t tiny[3] = {2, 201, 0};  // Size below 4, type unknown: nothing more is read
    s.host.send(forty, sizeof forty);
    s.host.send(four, sizeof four);
    s.host.send(tiny, sizeof tiny);
    s.host.send("\0", 1);  // fourth header byte of that packet
    EXPECT_EQ(s.keepAliveRoundTrip(), bytes({4, 3, 0, 0}));
    EXPECT_TRUE(s.host.receiveBytes(1, 300).empty());
}

TEST(Startup, PacketInThreePiecesIsHandledAsOne) {
    Session s;
    ASSERT_TRUE(s.handshake());
    const IS_RST restart = standin::makeRst(5, 0);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&restart);
    s.host.send(raw, 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    s.host.send(raw + 2, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    s.host.send(raw + 12, 16);
    EXPECT_EQ(s.keepAliveRoundTrip().size(), 4u);
    EXPECT_TRUE(s.program.waitForOutput("Restart detected: Race! Number of laps: 5. Allocated 7700bytes.\n"));
}

TEST(Startup, InSimVersionFourIsRefused) {
    Session s;
    ASSERT_TRUE(s.handshake(4));
    EXPECT_EQ(s.program.waitExit(kWait), 2);
    const std::string out = s.program.output();
    EXPECT_NE(out.find("\nInSim version is 4 - Stintkeeper only supports InSim version 5. Exiting.\n"),
              std::string::npos);
}

TEST(Startup, ConnectionClosedBeforeVersionReply) {
    InSimHost host;
    ProgramRun program(portsConfig(host.port(), standin::freePort(true)));
    ASSERT_TRUE(host.accept(kWait));
    host.receiveBytes(44, kWait);
    host.sendPacket(std::uint8_t{20});  // one byte of a reply, then the simulator goes away
    host.closeClient();
    EXPECT_EQ(program.waitExit(kWait), 2);
    const std::string out = program.output();
    EXPECT_NE(out.find("Sent ISI. Waiting for reply...\nConnection closed before the InSim version reply! Exiting!\n"),
              std::string::npos);
    EXPECT_EQ(out.find("InSim version is"), std::string::npos);
}

namespace {
double cpuSeconds(pid_t pid) {  // user + system time of a running process
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}
}  // namespace

TEST(Startup, WaitingForALateSimulatorCostsAlmostNoCpu) {
    const std::uint16_t port = standin::freePort(false);
    ProgramRun program(portsConfig(port, standin::freePort(true)));
    ASSERT_TRUE(program.waitForOutput("Waiting for InSim... "));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_LT(cpuSeconds(program.pid()), 0.1);
    InSimHost host(port);
    ASSERT_TRUE(host.accept(kWait));
    EXPECT_TRUE(program.waitForOutput("Waiting for InSim... Connected!\n"));
    EXPECT_EQ(program.output().find("Waiting for InSim... Connected!\n"),
              program.output().find("Waiting for InSim... "));  // nothing printed between
}
