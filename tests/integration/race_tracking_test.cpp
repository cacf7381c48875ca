// The real program following sessions against the stand-in: a race restart and a session end, a qualifying
// session with results and its board; console and wire checked exactly.
#include <gtest/gtest.h>

#include "support/hosted_run.h"

namespace {

std::string button(int clickId, int top, const std::string& text) {  // a 16-byte window, as on the wire
    return bytes({28, 45, clickId, 0, clickId, 0, 32, 0, 10, top, 20, 10}) + text;
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
    c.host.sendPacket(standin::makeRst(3, 0));
    c.host.sendPacket(standin::makeSta(4, 1, 3));  // no board yet: cleared
    EXPECT_EQ(c.sentUntilKeepAlive(16), kClearButtons + kClearButtons);
    const std::string restart =
        "Restart detected: Race! Number of laps: 3. Allocated 4620bytes.\n"
        "Cleared memory! Cleared pitboard!\n"
        "Pitting isn't mandatory.\n";
    EXPECT_EQ(c.consoleSinceHandshake(), restart);

    c.host.sendPacket(standin::makeSta(4, 0, 0));
    c.host.sendPacket(standin::makeSta(4, 0, 0));  // already ended: nothing
    EXPECT_EQ(c.sentUntilKeepAlive(8), kClearButtons);
    EXPECT_EQ(c.consoleSinceHandshake(), restart + "Session ended! Stopping tracking! Clearing buttons!\n");
}
