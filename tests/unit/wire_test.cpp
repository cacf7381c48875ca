// Packets written out byte by byte: what the program builds that the transcripts do not show, the IS_ISI's
// password and the sizes in fours.
#include <gtest/gtest.h>

#include <string>

#include "link/dispatch.h"
#include "link/handshake.h"
#include "link/outgoing.h"
#include "support/transcript.h"

namespace {

using transcript::bytes;
std::string zeros(std::size_t count) { return std::string(count, '\0'); }

template <class Record>
std::string bytesOf(const Record& record) {
    return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

// Collects the bytes of every send, in order.
struct Sent final : Output {
    std::vector<std::string> sends;
    void send(const void* data, std::size_t size) override { sends.emplace_back(static_cast<const char*>(data), size); }
    void write(std::string_view) override {}
};

}  // namespace

TEST(WireSent, IS_ISI) {
    EXPECT_EQ(bytesOf(makeInitPacket(12501, "abcdefghijklmnopqrst", 8)),
              bytes({44, 1, 1, 0, 0xD5, 0x30, 4, 0, 8, 0, 0, 0}) +  // Size, ISP_ISI, ReqI 1, Zero, UDPPort 12501,
                                                                     // Flags ISF_LOCAL, InSimVer 8, Prefix, Interval
                  "abcdefghijklmno" + zeros(1) +                     // Admin: the password's first 15 characters
                  "Stintkeeper" + zeros(5));                         // IName
}

// From InSim 9 on every packet sent gives its Size in fours; the rest of its bytes stay as they are.
TEST(WireSent, SizesInFours) {
    Sent port;
    port.setSizeUnit(SizeUnit::Fours);
    Program program;
    const std::string keepAlive = bytes({1, 3, 0, 0});  // read in fours too
    dispatchPacket(programRoutes(program), program, reinterpret_cast<const std::uint8_t*>(keepAlive.data()), 4, port);
    clearButtons(port);
    sendButton(port, 4, 74, "SET 38% F", 12);
    EXPECT_EQ(sendPressBatch(port, 2), 102u * 68);
    ASSERT_EQ(port.sends.size(), 5u);
    EXPECT_EQ(port.sends[0], bytes({1, 3, 0, 0}));                  // the keep-alive reply: 1 four
    EXPECT_EQ(port.sends[1], bytes({2, 42, 0, 1, 0, 0, 0, 0}));     // IS_BFN: 2 fours
    EXPECT_EQ(port.sends[2], bytes({6, 45, 4, 0, 4, 0, 32, 0, 10, 74, 20, 10}));  // IS_BTN: 12 + 12 bytes, 6 fours
    const std::string& batch = port.sends[4];
    EXPECT_EQ(batch.substr(0, 68), bytes({17, 13, 0, 0}) + "/press F12" + zeros(54));  // each IS_MST: 17 fours
    EXPECT_EQ(batch.substr(100 * 68, 68), bytes({17, 13, 0, 0}) + "/press right" + zeros(52));
    EXPECT_EQ(batch.substr(101 * 68, 68), bytes({17, 13, 0, 0}) + "/press F12" + zeros(54));
}

