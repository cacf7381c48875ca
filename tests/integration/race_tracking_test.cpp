// The real program following sessions against the stand-in: a race restart, a qualifying session
// with results and its board, and a session end; console and wire checked exactly.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "standin/insim_host.h"
#include "standin/packets.h"
#include "support/program.h"
#include "support/recording_port.h"

namespace {

constexpr int kWait = 5000;
const std::string kKeepAliveReply = bytes({4, 3, 0, 0});

std::string asString(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

// The program connected to the stand-in and waiting for a restart.
struct Connected {
    standin::InSimHost host;
    ProgramRun program{portsConfig(host.port(), standin::freePort(true))};

    bool handshake() {
        if (!host.accept(kWait)) return false;
        host.receiveBytes(44, kWait);  // IS_ISI
        host.sendPacket(standin::makeVer(5));
        host.receiveBytes(8, kWait);  // OutGauge request
        return program.waitForOutput("Waiting for restart...\n");
    }
    // What the program sends until its answer to a keep-alive sent now, that answer excluded.
    // The answer also proves that every packet before it has been handled and its console text written.
    std::string sentUntilKeepAlive(std::size_t expectedSize) {
        host.sendPacket(standin::makeTiny(TINY_NONE));
        const std::string all = asString(host.receiveBytes(expectedSize + kKeepAliveReply.size(), kWait));
        if (all.size() < kKeepAliveReply.size() || all.substr(all.size() - 4) != kKeepAliveReply) return "(" + all + ")";
        return all.substr(0, all.size() - 4);
    }
    std::string consoleSinceStart() const {
        const std::string out = program.output();
        const std::string start = "Waiting for restart...\n";
        return out.substr(out.find(start) + start.size());
    }
};

std::string button(int clickId, int top, const std::string& text) {  // a 16-byte window, as on the wire
    return bytes({28, 45, clickId, 0, clickId, 0, 32, 0, 10, top, 20, 10}) + text;
}

}  // namespace

TEST(RaceTrackingRun, RaceRestartPrintsThreeLinesAndClearsTheBoard) {
    Connected c;
    ASSERT_TRUE(c.handshake());
    c.host.sendPacket(standin::makeRst(5, 0));
    EXPECT_EQ(c.sentUntilKeepAlive(8), kClearButtons);
    EXPECT_EQ(c.consoleSinceStart(),
              "Restart detected: Race! Number of laps: 5. Allocated 7700bytes.\n"
              "Cleared memory! Cleared pitboard!\n"
              "Pitting isn't mandatory.\n");
}

TEST(RaceTrackingRun, QualifyingResultsAndTheViewedPlayersBoard) {
    Connected c;
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
    EXPECT_EQ(c.consoleSinceStart(),
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

TEST(RaceTrackingRun, SessionEndIsReportedAndClearedOnce) {
    Connected c;
    ASSERT_TRUE(c.handshake());
    c.host.sendPacket(standin::makeRst(3, 0));
    c.host.sendPacket(standin::makeSta(4, 1, 3));  // no board yet: cleared
    EXPECT_EQ(c.sentUntilKeepAlive(16), kClearButtons + kClearButtons);
    const std::string before = c.consoleSinceStart();

    c.host.sendPacket(standin::makeSta(4, 0, 0));
    c.host.sendPacket(standin::makeSta(4, 0, 0));  // already ended: nothing
    EXPECT_EQ(c.sentUntilKeepAlive(8), kClearButtons);
    EXPECT_EQ(c.consoleSinceStart(), before + "Session ended! Stopping tracking! Clearing buttons!\n");
}
