// The real program following sessions against the stand-in: a race restart and a session end, a qualifying
// session and a race board with their buttons, and OutGauge from this machine only; console and wire exactly.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/hosted_run.h"

namespace {

std::string button(int clickId, int top, const std::string& text) {  // the window is the whole text, as on the wire
    return bytes({12 + static_cast<int>(text.size()), 45, clickId, 0, clickId, 0, 32, 0, 10, top, 20, 10}) + text;
}

const std::string kRaceRestart =
    "Restart detected: Race! Number of laps: 5. Allocated 7700bytes.\n"
    "Cleared memory! Cleared pitboard!\n"
    "Pitting isn't mandatory.\n";

// A race of five laps with PLID 4 in view, which has crossed the line of lap 1 ahead of PLID 5.
void startRaceOfFiveLaps(HostedRun& c) {
    c.host.sendPacket(standin::makeRst(5, 0));
    c.host.sendPacket(standin::makeSta(4, 1, 5));  // no board yet: cleared
    c.host.sendPacket(standin::makeLap(4, 61000, 61000, 1));
    c.host.sendPacket(standin::makeLap(5, 62000, 62000, 1));
    EXPECT_EQ(c.sentUntilKeepAlive(16), kClearButtons + kClearButtons);
}

// This machine's first IPv4 address outside 127.0.0.0/8, if it has one.
std::optional<sockaddr_in> addressOfAnotherInterface() {
    ifaddrs* interfaces = nullptr;
    if (::getifaddrs(&interfaces) != 0) return std::nullopt;
    std::optional<sockaddr_in> found;
    for (const ifaddrs* i = interfaces; i != nullptr && !found; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
        const auto& address = *reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if ((ntohl(address.sin_addr.s_addr) >> 24) != 127) found = address;
    }
    ::freeifaddrs(interfaces);
    return found;
}

}  // namespace

TEST(RaceTrackingRun, QualifyingResultsAndTheViewedPlayersBoard) {
    HostedRun c;
    ASSERT_TRUE(c.handshake());
    c.host.sendPacket(standin::makeRst(0, 10, HOSTF_MUST_PIT));
    c.host.sendPacket(standin::makeSta(9, 2, 0));  // the board is about nobody yet: cleared
    c.host.sendPacket(standin::makeRes(1, 58000, 4, 0));
    c.host.sendPacket(standin::makeRes(9, 59000, 3, 1));
    c.host.sendPacket(standin::makeRes(9, 60000, 4, 255));
    c.host.sendPacket(standin::makeLap(9, 60000, 240000, 4));  // shows the standings of the 59000
    const std::string board = button(1, 50, "P2              ") + button(2, 58, "-1.00/+0.00     ") +
                              button(3, 66, "0:59.00         ");
    EXPECT_EQ(c.sentUntilKeepAlive(16 + board.size()), kClearButtons + kClearButtons + board);
    EXPECT_EQ(c.consoleSinceHandshake(),
              "Restart detected: Qualification! Duration: 10 Minutes.\n"
              "Cleared memory! Cleared pitboard!\n"
              "Pitting is mandatory!\n"
              "New registered laptime by PLID 1: 0:58.0\n"
              "ResultNum: 1 recieved.\n"
              "New result for 1: 58000\n"
              "New registered laptime by PLID 9: 0:59.0\n"
              "ResultNum: 2 recieved.\n"
              "New result for 9: 59000\n"
              "New registered laptime by PLID 9: 1:0.0\n"
              "9 failed to improve.\n"
              "Sent pitboard: P2" + std::string(24, ' ') + "\n"
              "-1.00/+0.00" + std::string(16, ' ') + "\n"
              "0:59.00" + std::string(16, ' ') + "\n");
}

TEST(RaceTrackingRun, RaceRestartAndSessionEndEachClearOnce) {
    HostedRun c;
    ASSERT_TRUE(c.handshake());
    startRaceOfFiveLaps(c);
    const std::string race = kRaceRestart + "New registered laptime by PLID 4: 1:1.0\n"
                                            "New registered laptime by PLID 5: 1:2.0\n";
    EXPECT_EQ(c.consoleSinceHandshake(), race);

    c.host.sendPacket(standin::makeSta(4, 0, 0));
    c.host.sendPacket(standin::makeSta(4, 0, 0));  // already ended: nothing
    EXPECT_EQ(c.sentUntilKeepAlive(8), kClearButtons);
    EXPECT_EQ(c.consoleSinceHandshake(), race + "Session ended! Stopping tracking! Clearing buttons!\n");
}

TEST(RaceTrackingRun, RaceBoardAtTheViewedCarsLapLineClearedAtItsNextSplit) {
    HostedRun c;
    ASSERT_TRUE(c.handshake());
    startRaceOfFiveLaps(c);
    c.host.sendPacket(standin::makeLap(4, 60000, 121000, 2));  // the board of lap 1
    const std::string board = kClearButtons + button(1, 50, "L1/5 P1         ") +
                              button(2, 58, "-0.00^9/+1.00       ") + button(3, 66, "1:01.00         ");
    EXPECT_EQ(c.sentUntilKeepAlive(board.size()), board);
    c.host.sendPacket(standin::makeSpx(5));  // another car's split
    EXPECT_EQ(c.sentUntilKeepAlive(), "");
    c.host.sendPacket(standin::makeSpx(4));
    EXPECT_EQ(c.sentUntilKeepAlive(8), kClearButtons);
}

// Only the simulator on this machine may give fuel readings: they make the program type key presses.
TEST(RaceTrackingRun, OutGaugeFromAnotherMachineIsDropped) {
    std::optional<sockaddr_in> other = addressOfAnotherInterface();
    if (!other) GTEST_SKIP() << "this machine has no address outside 127.0.0.0/8 to send from";
    HostedRun c;
    ASSERT_TRUE(c.handshake());
    startRaceOfFiveLaps(c);
    const int foreign = ::socket(AF_INET, SOCK_DGRAM, 0);
    other->sin_port = 0;
    ASSERT_EQ(::bind(foreign, reinterpret_cast<const sockaddr*>(&*other), sizeof *other), 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(c.outGaugePort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const OutGaugePack fromElsewhere = standin::makeOutGauge(1000, 0.75f);
    const auto sent = ::sendto(foreign, &fromElsewhere, sizeof fromElsewhere, 0, reinterpret_cast<const sockaddr*>(&to),
                               sizeof to);
    ::close(foreign);
    ASSERT_EQ(sent, static_cast<ssize_t>(sizeof fromElsewhere));
    ASSERT_TRUE(c.program.waitForOutput("Dropped an OutGauge datagram from another machine!\n"));
    standin::OutGaugeSender(c.outGaugePort).sendPacket(standin::makeOutGauge(2000, 0.5f));
    ASSERT_TRUE(c.program.waitForOutput("Fuel for 4: (pLaps+0->fuel[0] = 0.5\n"));
    EXPECT_EQ(c.consoleSinceHandshake(), kRaceRestart +
                                             "New registered laptime by PLID 4: 1:1.0\n"
                                             "New registered laptime by PLID 5: 1:2.0\n"
                                             "Dropped an OutGauge datagram from another machine!\n"
                                             "Fuel for 4: (pLaps+0->fuel[0] = 0.5\n");
}
