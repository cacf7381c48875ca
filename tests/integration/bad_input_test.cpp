// Bad input end to end: the real program when the simulator drops the link inside a packet, and
// OutGauge datagrams of the wrong size or with a fuel level that is not a number.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "standin/insim_host.h"
#include "standin/packets.h"
#include "support/program.h"

namespace {

using namespace standin;

constexpr int kWait = 5000;

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

struct Running {
    InSimHost host;
    std::uint16_t outGaugePort = freePort(true);
    ProgramRun program{portsConfig(host.port(), outGaugePort)};

    bool handshake() {
        if (!host.accept(kWait) || host.receiveBytes(sizeof(IS_ISI), kWait).size() != sizeof(IS_ISI)) return false;
        host.sendPacket(makeVer(INSIM_VERSION));
        return host.receiveBytes(sizeof(IS_SMALL), kWait).size() == sizeof(IS_SMALL) &&
               program.waitForOutput("Waiting for restart...\n");
    }
};

}  // namespace

TEST(BadInput, ConnectionDroppedInsideAPacketEndsTheProgramWithoutHandlingIt) {
    Running run;
    ASSERT_TRUE(run.handshake());
    const IS_RST restart = makeRst(5, 0);
    run.host.send(&restart, 14);  // the header and 10 of the 24 bytes that complete it
    run.host.closeClient();
    EXPECT_EQ(run.program.waitExit(kWait), 0);
    const std::string out = run.program.output();
    EXPECT_EQ(count(out, "Failed to receive data: "), 1);
    EXPECT_EQ(out.find("Restart detected"), std::string::npos);  // half a packet is never handled
    EXPECT_NE(out.find("Waiting for restart...\nFailed to receive data: "), std::string::npos);
    const std::string end = " - Setting exit-flag!\nExiting... ";
    ASSERT_GE(out.size(), end.size());
    EXPECT_EQ(out.substr(out.size() - end.size()), end);
}

TEST(BadInput, WrongSizeDatagramsAreReportedAndANaNFuelLevelIsKeptAsRead) {
    Running run;
    ASSERT_TRUE(run.handshake());
    OutGaugeSender gauge(run.outGaugePort);
    run.host.sendPacket(makeRst(5, 0));
    run.host.sendPacket(makeSta(1, 1, 5));
    run.host.sendPacket(makeLap(1, 61000, 61000, 1));
    ASSERT_TRUE(run.program.waitForOutput("New registered laptime by PLID 1: 1:1.0\n"));

    const std::string withId(sizeof(OutGaugePack) + 4, '\x01');
    gauge.send(withId.data(), withId.size());
    const std::string oversized(600, '\x02');  // longer than the 512-byte receive buffer
    gauge.send(oversized.data(), oversized.size());
    gauge.send("\x03", 1);
    ASSERT_TRUE(run.program.waitForOutput("Unknown packet size!\nUnknown packet size!\nUnknown packet size!\n"));

    gauge.sendPacket(makeOutGauge(5000, std::numeric_limits<float>::quiet_NaN(), 1));
    ASSERT_TRUE(run.program.waitForOutput("Fuel for 1: (pLaps+0->fuel[0] = nan\n"));
    gauge.sendPacket(makeOutGauge(5500, 0.5f, 1));  // the NaN counts as recorded: not overwritten
    run.host.sendPacket(makeLap(1, 61000, 122000, 2));
    ASSERT_TRUE(run.program.waitForOutput("New registered laptime by PLID 1: 1:1.0\nSearching in 1 results.\n"));

    run.host.closeClient();
    EXPECT_EQ(run.program.waitExit(kWait), 0);
    const std::string out = run.program.output();
    EXPECT_EQ(count(out, "Unknown packet size!\n"), 3);
    EXPECT_EQ(count(out, "Fuel for 1: (pLaps+0"), 1);
}
