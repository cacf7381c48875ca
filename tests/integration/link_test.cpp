// The real program's link against the stand-in: start-up and handshake bytes, and OutGauge from this
// machine only.
#include <gtest/gtest.h>

#include <ifaddrs.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/hosted_run.h"

namespace {

std::string text(const standin::Packet& bytes) { return std::string(bytes.begin(), bytes.end()); }

const std::string kRaceOfFiveLaps =
    "Restart detected: Race! Number of laps: 5. Allocated 7700bytes.\n"
    "Cleared memory! Cleared pitboard!\n"
    "Pitting isn't mandatory.\n";

}  // namespace

TEST(Connection, StartUpConsoleAndHandshakeBytes) {
    HostedRun run;
    ASSERT_TRUE(run.connect());
    const int udp = run.outGaugePort;
    EXPECT_EQ(text(run.handshake.isi), bytes({44, 1, 1, 0})            // Size, IS_ISI, ReqI 1: the version reply wanted
                                           + bytes({udp & 255, udp >> 8})  // UDPPort: where OutGauge is to go
                                           + bytes({4, 0})                 // Flags: ISF_LOCAL
                                           + bytes({0, 0, 0, 0})           // InSimVer, Prefix, Interval: none
                                           + std::string(16, '\0')        // Admin: no password
                                           + "Stintkeeper" + std::string(5, '\0'));  // IName
    EXPECT_EQ(text(run.handshake.request), bytes({8, 4, 0, 2})            // Size, IS_SMALL, ReqI, SMALL_SSG
                                               + bytes({0x10, 0x27, 0, 0}));  // UVal: 10000 ms between datagrams
    EXPECT_EQ(run.program.output(), consoleUntilWaiting(run.host.port()) + kHandshakeLines);
}

// Only the simulator on this machine may give fuel readings: they make the program type key presses.
TEST(Connection, OutGaugeFromAnotherAddressIsDropped) {
    ifaddrs* interfaces = nullptr;
    ASSERT_EQ(::getifaddrs(&interfaces), 0);
    std::optional<sockaddr_in> other;  // an IPv4 address of this machine outside 127.0.0.0/8
    for (const ifaddrs* i = interfaces; i != nullptr && !other; i = i->ifa_next) {
        const auto* address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr);
        if (address && address->sin_family == AF_INET && ntohl(address->sin_addr.s_addr) >> 24 != 127) other = *address;
    }
    ::freeifaddrs(interfaces);
    if (!other) GTEST_SKIP() << "this machine has no address outside 127.0.0.0/8 to send from";

    HostedRun run;
    ASSERT_TRUE(run.connect());
    run.host.sendPacket(standin::makeRst(5, 0));
    run.host.sendPacket(standin::makeSta(4, 1, 5));
    run.host.sendPacket(standin::makeLap(4, 61000, 61000, 1));
    ASSERT_EQ(run.sent(), kClearButtons + kClearButtons);
    const int foreign = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    other->sin_port = 0;
    ASSERT_EQ(::bind(foreign, reinterpret_cast<const sockaddr*>(&*other), sizeof *other), 0);
    const sockaddr_in to = standin::loopback(run.outGaugePort);
    const OutGaugePack fromElsewhere = standin::makeOutGauge(1000, 0.75f);
    ::sendto(foreign, &fromElsewhere, sizeof fromElsewhere, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    ::close(foreign);
    ASSERT_TRUE(run.program.waitForOutput("Dropped an OutGauge datagram from another machine!\n", kWaitMs));
    standin::OutGaugeSender(run.outGaugePort).sendPacket(standin::makeOutGauge(2000, 0.5f));
    ASSERT_TRUE(run.program.waitForOutput("Fuel for 4: (pLaps+0->fuel[0] = 0.5\n", kWaitMs));
    EXPECT_EQ(run.consoleSinceHandshake(), kRaceOfFiveLaps +
                                               "New registered laptime by PLID 4: 1:1.0\n"
                                               "Dropped an OutGauge datagram from another machine!\n"
                                               "Fuel for 4: (pLaps+0->fuel[0] = 0.5\n");
}
