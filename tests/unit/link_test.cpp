// The handshake packets byte for byte, the dispatch table's rest lengths and the keep-alive reply.
#include <gtest/gtest.h>

#include "link/dispatch.h"
#include "link/handshake.h"
#include "standin/packets.h"
#include "support/recording_port.h"

TEST(Handshake, InitPacketBytes) {
    const IS_ISI isi = makeInitPacket(12501, "secret");
    std::string expected = bytes({
        44,          // Size
        1,           // Type ISP_ISI
        1,           // ReqI: ask for IS_VER
        0,           // Zero
        0xD5, 0x30,  // UDPPort 12501 (low, high)
        4, 0,        // Flags ISF_LOCAL
        0,           // Sp0
        0,           // Prefix
        0, 0,        // Interval
    });
    expected += std::string("secret") + std::string(10, '\0');      // Admin
    expected += std::string("Stintkeeper") + std::string(5, '\0');  // IName
    EXPECT_EQ(bytesOfPacket(isi), expected);
}

TEST(Handshake, PasswordIsCutToFifteenCharacters) {
    const IS_ISI longPassword = makeInitPacket(1, "abcdefghijklmnopqrst");
    EXPECT_EQ(std::string(longPassword.Admin, 16), std::string("abcdefghijklmno") + '\0');
    const IS_ISI empty = makeInitPacket(1, "");
    EXPECT_EQ(empty.Admin[0], '\0');
}

TEST(Handshake, OutGaugeRequestBytes) {
    EXPECT_EQ(bytesOfPacket(makeOutGaugeRequest()), bytes({8, 4, 0, 2, 0x10, 0x27, 0, 0}));  // UVal 10000
}

TEST(Dispatch, HandledTypesHaveFixedRestsWhateverTheSizeByte) {
    for (int size : {0, 4, 200}) {
        const auto s = static_cast<byte>(size);
        EXPECT_EQ(restLength({s, ISP_TINY, 0, 0}), 0u);
        EXPECT_EQ(restLength({s, ISP_STA, 0, 0}), 24u);
        EXPECT_EQ(restLength({s, ISP_RST, 0, 0}), 24u);
        EXPECT_EQ(restLength({s, ISP_LAP, 0, 0}), 16u);
        EXPECT_EQ(restLength({s, ISP_SPX, 0, 0}), 12u);
        EXPECT_EQ(restLength({s, ISP_RES, 0, 0}), 80u);
    }
}

TEST(Dispatch, OtherTypesReadTheirSizeAndNeverANegativeLength) {
    EXPECT_EQ(restLength({40, 2, 0, 0}), 36u);
    EXPECT_EQ(restLength({40, 36, 0, 0}), 36u);
    EXPECT_EQ(restLength({255, 0, 0, 0}), 251u);
    EXPECT_EQ(restLength({4, 99, 0, 0}), 0u);
    for (byte size : {0, 1, 3}) EXPECT_EQ(restLength({size, 99, 0, 0}), 0u);
}

TEST(Dispatch, KeepAliveIsAnsweredOnceWhateverItsReqI) {
    Tracker tracker;
    RecordingPort port;
    const IS_TINY keepAlive = standin::makeTiny(TINY_NONE, 7);
    dispatchPacket(tracker, reinterpret_cast<const std::uint8_t*>(&keepAlive), sizeof keepAlive, port);
    ASSERT_EQ(port.sends().size(), 1u);
    EXPECT_EQ(port.sends()[0], bytes({4, 3, 0, 0}));
    EXPECT_EQ(port.console(), "");
}

TEST(Dispatch, OtherTinyAndUnknownPacketsAreDroppedQuietly) {
    Tracker tracker;
    RecordingPort port;
    const IS_TINY other = standin::makeTiny(1);
    dispatchPacket(tracker, reinterpret_cast<const std::uint8_t*>(&other), sizeof other, port);
    std::uint8_t unknown[40] = {40, 77};
    dispatchPacket(tracker, unknown, sizeof unknown, port);
    EXPECT_TRUE(port.events.empty());
}
