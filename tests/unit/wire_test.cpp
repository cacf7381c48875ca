// Packets written out byte by byte: what the program builds that the transcripts do not show (the IS_ISI's
// password, the sizes in fours), and the simulator's packets as the transcripts' helpers write them.
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

// The transcripts' helpers write each packet as the simulator does.
TEST(WireRead, TheTranscriptsPackets) {
    using namespace transcript;
    const std::pair<Script, std::string> cases[] = {
        {tiny(0, 9), bytes({4, 3, 9, 0})},  // Size, ISP_TINY, ReqI, TINY_NONE
        // Size, ISP_STA, ReqI, Zero, ReplaySpeed, Flags 16 (ISS_DIALOG), InGameCam, ViewPLID, NumP, NumConns,
        // NumFinished, RaceInProg, QualMins, RaceLaps, Spare2, Spare3, Track, Weather, Wind
        {sta(7, 1, 10, 16), bytes({28, 5, 0, 0, 0, 0, 0, 0, 16, 0, 0, 7, 0, 0, 0, 1, 0, 10, 0, 0}) + zeros(8)},
        // Size, ISP_RST, ReqI, Zero, RaceLaps, QualMins, NumP, Spare, Track, Weather, Wind, Flags HOSTF_MUST_PIT,
        // NumNodes, Finish, Split1 to 3
        {rst(10, 5, 64), bytes({28, 17, 0, 0, 10, 5, 0, 0}) + zeros(8) + bytes({64, 0}) + zeros(10)},
        // Size, ISP_LAP, ReqI, PLID, LTime 83450, ETime 502800, LapsDone, Flags, Sp0, Penalty, NumStops, Fuel200
        {lap(7, 83450, 502800, 6, 2, 1, 50),
         bytes({20, 24, 0, 7, 0xFA, 0x45, 1, 0, 0x10, 0xAC, 7, 0, 6, 0, 0, 0, 0, 2, 1, 50})},
        {spx(7), bytes({16, 25, 0, 7}) + zeros(12)},  // Size, ISP_SPX, ReqI, PLID; STime, ETime, Split...
        // Size, ISP_RES, ReqI, PLID, UName, PName, Plate, CName, TTime, BTime 59000, SpA, NumStops, Confirm, SpB,
        // LapsDone 261, Flags, ResultNum, NumRes, PSeconds
        {res(7, 59000, 261, 3), bytes({84, 35, 0, 7}) + zeros(64) + bytes({0x78, 0xE6, 0, 0}) + zeros(4) +
                                    bytes({5, 1, 0, 0, 3, 0, 0, 0})},
        {cim(0, 4, 2), bytes({8, 64, 0, 2, 0, 4, 0, 0})},  // Size, ISP_CIM, ReqI, UCID, Mode, SubMode 4 (F12)
        {pla(7, 3), bytes({8, 28, 0, 7, 3, 0, 0, 0})},     // Size, ISP_PLA, ReqI, PLID, Fact 3 (drive-through)
        // Size, ISP_PIT, ReqI, PLID, LapsDone, Flags, FuelAdd 38, Penalty, NumStops, Sp3, Tyres, Work, Spare
        {pit(7, 38), bytes({24, 26, 0, 7, 0, 0, 0, 0, 38}) + zeros(15)},
        {psf(7), bytes({12, 27, 0, 7}) + zeros(8)},  // Size, ISP_PSF, ReqI, PLID, STime, Spare
        // Time 123456 ms; Car, Flags, Gear, PLID, Speed, RPM, Turbo, EngTemp; Fuel 0.375; OilPressure ... Display2
        {gauge(123456, 0.375f), bytes({0x40, 0xE2, 1, 0}) + zeros(24) + bytes({0, 0, 0xC0, 0x3E}) + zeros(60)},
    };
    for (const auto& [script, wire] : cases) EXPECT_EQ(script[0].bytes, wire) << static_cast<int>(wire[1]);
}
