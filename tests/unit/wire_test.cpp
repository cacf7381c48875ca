// Every packet the program sends or reads, written out byte by byte, against its record both ways:
// what the program builds is exactly these bytes, and these bytes read into the record give its fields.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

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
template <class Record>
Record read(const std::string& wire) {
    EXPECT_EQ(wire.size(), sizeof(Record));
    Record record{};
    std::memcpy(&record, wire.data(), std::min(wire.size(), sizeof record));
    return record;
}

// Collects the bytes of every send, in order.
struct Sent final : Output {
    std::vector<std::string> sends;
    void send(const void* data, std::size_t size) override { sends.emplace_back(static_cast<const char*>(data), size); }
    void write(std::string_view) override {}
};

}  // namespace

TEST(WireSent, IS_ISI) {
    const std::string wire = bytes({44, 1, 1, 0,  // Size, Type ISP_ISI, ReqI 1: answer with IS_VER, Zero
                                    0xD5, 0x30,   // UDPPort 12501
                                    4, 0,         // Flags ISF_LOCAL
                                    0, 0,         // InSimVer: none asked for, Prefix
                                    0, 0}) +      // Interval
                             "abcdefghijklmno" + zeros(1) +  // Admin: the password's first 15 characters
                             "Stintkeeper" + zeros(5);       // IName
    EXPECT_EQ(bytesOf(makeInitPacket(12501, "abcdefghijklmnopqrst", 0)), wire);
    const IS_ISI isi = read<IS_ISI>(wire);
    EXPECT_EQ(std::tuple(isi.UDPPort, isi.Flags, std::string(isi.IName)), std::tuple(12501, ISF_LOCAL, "Stintkeeper"));
    std::string asking = wire;
    asking[8] = 8;  // InSimVer 8
    EXPECT_EQ(bytesOf(makeInitPacket(12501, "abcdefghijklmnopqrst", 8)), asking);
    EXPECT_EQ(read<IS_ISI>(asking).InSimVer, 8);
    asking[0] = 11;  // asking for 9 or 10: the Size in fours
    asking[8] = 10;
    EXPECT_EQ(bytesOf(makeInitPacket(12501, "abcdefghijklmnopqrst", 10)), asking);
}

TEST(WireSent, IS_SMALL_OutGaugeRequest) {
    const std::string wire = bytes({8, 4, 0, 2,              // Size, Type ISP_SMALL, ReqI, SubT SMALL_SSG
                                    0x10, 0x27, 0, 0});      // UVal 10000 ms between datagrams
    EXPECT_EQ(bytesOf(makeOutGaugeRequest(10000, SizeUnit::Bytes)), wire);
    EXPECT_EQ(read<IS_SMALL>(wire).UVal, 10000u);
    EXPECT_EQ(bytesOf(makeOutGaugeRequest(500, SizeUnit::Bytes)), bytes({8, 4, 0, 2, 0xF4, 0x01, 0, 0}));  // UVal 500
    EXPECT_EQ(bytesOf(makeOutGaugeRequest(500, SizeUnit::Fours)), bytes({2, 4, 0, 2, 0xF4, 0x01, 0, 0}));  // Size 2 fours
}

TEST(WireSent, IS_TINY_KeepAliveReplyAndIS_BFN_Clear) {
    Sent port;
    Program program;
    const std::string keepAlive = bytes({4, 3, 9, 0});  // read: Size, ISP_TINY, ReqI 9 (not looked at), TINY_NONE
    EXPECT_EQ(transcript::tiny(0, 9)[0].bytes, keepAlive);
    dispatchPacket(programRoutes(program), program, reinterpret_cast<const std::uint8_t*>(keepAlive.data()), 4, port);
    clearButtons(port);
    const std::string reply = bytes({4, 3, 0, 0});              // Size, Type ISP_TINY, ReqI, SubT TINY_NONE
    const std::string clear = bytes({8, 42, 0, 1, 0, 0, 0, 0});  // Size, ISP_BFN, ReqI, BFN_CLEAR, UCID, ClickID, Inst, Sp3
    EXPECT_EQ(port.sends, (std::vector<std::string>{reply, clear}));
    EXPECT_EQ(read<IS_TINY>(reply).SubT, TINY_NONE);
    EXPECT_EQ(read<IS_BFN>(clear).SubT, BFN_CLEAR);
}

TEST(WireSent, IS_BTN_HeaderThenItsTextWindow) {
    Sent port;
    sendButton(port, 2, 58, "^2-1.80", 20);
    const std::string header = bytes({32, 45, 2, 0,   // Size 12 + 20, Type ISP_BTN, ReqI = ClickID, UCID 0
                                      2, 0, 32, 0,    // ClickID, Inst, BStyle ISB_DARK, TypeIn
                                      10, 58, 20, 10});  // L, T, W, H
    EXPECT_EQ(port.sends, (std::vector<std::string>{header, "^2-1.80" + zeros(13)}));
    const IS_BTN_Header button = read<IS_BTN_Header>(header);
    EXPECT_EQ(std::tuple(button.ClickID, button.T, button.BStyle), std::tuple(2, 58, ISB_DARK));
}

TEST(WireSent, IS_MST_PressCommand) {
    Sent port;
    EXPECT_EQ(sendPressBatch(port, 1), 101u * 68);  // amount 1: F12, 99 x left, F12
    const std::string f12 = bytes({68, 13, 0, 0}) + "/press F12" + zeros(54);  // Size, ISP_MST, ReqI, Zero, Msg
    ASSERT_EQ(port.sends.size(), 1u);
    EXPECT_EQ(port.sends[0].substr(0, 68), f12);
    EXPECT_EQ(port.sends[0].substr(68, 68), bytes({68, 13, 0, 0}) + "/press left" + zeros(53));
    EXPECT_STREQ(read<IS_MST>(f12).Msg, "/press F12");
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

TEST(WireRead, IS_VER) {
    const std::string wire = bytes({20, 2, 1, 0}) + "0.6B" + zeros(4) +  // Size, ISP_VER, ReqI, Zero, Version
                             "S2" + zeros(4) + bytes({5, 0});           // Product, InSimVer 5
    EXPECT_EQ(read<IS_VER>(wire).InSimVer, 5);
}

TEST(WireRead, IS_STA) {
    const std::string wire = bytes({28, 5, 0, 0,     // Size, ISP_STA, ReqI, Zero
                                    0, 0, 0, 0,      // ReplaySpeed
                                    0, 0, 0,         // Flags, InGameCam
                                    7,               // ViewPLID
                                    0, 0, 0,         // NumP, NumConns, NumFinished
                                    1, 0, 10,        // RaceInProg, QualMins, RaceLaps
                                    0, 0}) +         // Spare2, Spare3
                             zeros(8);               // Track, Weather, Wind
    EXPECT_EQ(transcript::sta(7, 1, 10)[0].bytes, wire);
    const IS_STA sta = read<IS_STA>(wire);
    EXPECT_EQ(std::tuple(sta.ViewPLID, sta.RaceInProg, sta.RaceLaps), std::tuple(7, 1, 10));
}

TEST(WireRead, IS_RST) {
    const std::string wire = bytes({28, 17, 0, 0,    // Size, ISP_RST, ReqI, Zero
                                    10, 5, 0, 0}) +  // RaceLaps, QualMins, NumP, Spare
                             zeros(8) +              // Track, Weather, Wind
                             bytes({64, 0}) +        // Flags HOSTF_MUST_PIT
                             zeros(10);              // NumNodes, Finish, Split1 to 3
    EXPECT_EQ(transcript::rst(10, 5, 64)[0].bytes, wire);
    const IS_RST rst = read<IS_RST>(wire);
    EXPECT_EQ(std::tuple(rst.RaceLaps, rst.QualMins, rst.Flags), std::tuple(10, 5, HOSTF_MUST_PIT));
}

TEST(WireRead, IS_LAP) {
    const std::string wire = bytes({20, 24, 0, 7,             // Size, ISP_LAP, ReqI, PLID
                                    0xFA, 0x45, 0x01, 0x00,   // LTime 83450
                                    0x10, 0xAC, 0x07, 0x00,   // ETime 502800
                                    6, 0, 0, 0,               // LapsDone, Flags
                                    0, 2, 1, 0});             // Sp0, Penalty, NumStops, Sp3
    EXPECT_EQ(transcript::lap(7, 83450, 502800, 6, 2, 1)[0].bytes, wire);
    const IS_LAP lap = read<IS_LAP>(wire);
    EXPECT_EQ(std::tuple(lap.PLID, lap.LTime, lap.ETime, lap.LapsDone, lap.Penalty, lap.NumStops),
              std::tuple(7, 83450u, 502800u, 6, PENALTY_DT_VALID, 1));
}

TEST(WireRead, IS_SPX) {
    const std::string wire = bytes({16, 25, 0, 7}) + zeros(12);  // Size, ISP_SPX, ReqI, PLID; STime, ETime, Split...
    EXPECT_EQ(transcript::spx(7)[0].bytes, wire);
    EXPECT_EQ(read<IS_SPX>(wire).PLID, 7);
}

TEST(WireRead, IS_RES) {
    const std::string wire = bytes({84, 35, 0, 7}) +          // Size, ISP_RES, ReqI, PLID
                             zeros(64) +                      // UName, PName, Plate, CName, TTime
                             bytes({0x78, 0xE6, 0, 0}) +      // BTime 59000
                             zeros(4) +                       // SpA, NumStops, Confirm, SpB
                             bytes({5, 1, 0, 0, 3, 0, 0, 0});  // LapsDone 261, Flags, ResultNum, NumRes, PSeconds
    EXPECT_EQ(transcript::res(7, 59000, 261, 3)[0].bytes, wire);
    const IS_RES res = read<IS_RES>(wire);
    EXPECT_EQ(std::tuple(res.PLID, res.BTime, res.LapsDone, res.ResultNum), std::tuple(7, 59000u, 261, 3));
}

TEST(WireRead, OutGaugeDatagram) {
    const std::string wire = bytes({0x40, 0xE2, 0x01, 0x00}) +  // Time 123456 ms
                             zeros(24) +                        // Car, Flags, Gear, PLID, Speed, RPM, Turbo, EngTemp
                             bytes({0x00, 0x00, 0xC0, 0x3E}) +  // Fuel 0.375
                             zeros(60);                         // OilPressure ... Display2
    EXPECT_EQ(transcript::gauge(123456, 0.375f)[0].bytes, wire);
    const OutGaugePack pack = read<OutGaugePack>(wire);
    EXPECT_EQ(std::tuple(pack.Time, pack.Fuel), std::tuple(123456u, 0.375f));
}

TEST(WireRead, IS_CIM_IS_PLA_IS_PIT_IS_PSF) {
    const std::string cim = bytes({8, 64, 0, 0, 0, 4, 0, 0});  // Size, ISP_CIM, ReqI, UCID, Mode, SubMode 4 (F12)
    EXPECT_EQ(transcript::cim(0, 4)[0].bytes, cim);
    EXPECT_EQ(std::tuple(read<IS_CIM>(cim).Mode, read<IS_CIM>(cim).SubMode), std::tuple(CIM_NORMAL, NRM_PIT_INSTRUCTIONS));
    const std::string pla = bytes({8, 28, 0, 7, 3, 0, 0, 0});  // Size, ISP_PLA, ReqI, PLID, Fact 3 (drive-through)
    EXPECT_EQ(transcript::pla(7, 3)[0].bytes, pla);
    EXPECT_EQ(std::tuple(read<IS_PLA>(pla).PLID, read<IS_PLA>(pla).Fact), std::tuple(7, 3));
    const std::string pit = bytes({24, 26, 0, 7,   // Size, ISP_PIT, ReqI, PLID
                                   12, 0, 0, 0,    // LapsDone 12, Flags
                                   38, 0, 1, 0}) + // FuelAdd 38, Penalty, NumStops 1, Sp3
                            zeros(12);             // Tyres, Work, Spare
    const IS_PIT stop = read<IS_PIT>(pit);
    EXPECT_EQ(std::tuple(stop.PLID, stop.LapsDone, stop.FuelAdd, stop.NumStops), std::tuple(7, 12, 38, 1));
    EXPECT_EQ(transcript::pit(7, 38)[0].bytes.substr(0, 10), pit.substr(0, 4) + zeros(4) + bytes({38, 0}));
    const std::string psf = bytes({12, 27, 0, 7, 0x10, 0x27, 0, 0}) + zeros(4);  // Size, ISP_PSF, ReqI, PLID, STime 10000
    EXPECT_EQ(std::tuple(read<IS_PSF>(psf).PLID, read<IS_PSF>(psf).STime), std::tuple(7, 10000u));
    EXPECT_EQ(transcript::psf(7)[0].bytes.substr(0, 4), psf.substr(0, 4));
}
