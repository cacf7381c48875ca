// IS_ISI byte for byte, the dispatch table's rest lengths and the keep-alive reply.
// The whole handshake on the wire is the start-up integration test's.
#include <gtest/gtest.h>

#include "link/dispatch.h"
#include "link/handshake.h"
#include "standin/packets.h"
#include "support/recording_port.h"

TEST(Handshake, InitPacketBytesWithThePasswordCutToFifteenCharacters) {
    std::string expected = bytes({44, 1, 1, 0,   // Size, ISP_ISI, ReqI: ask for IS_VER, Zero
                                  0xD5, 0x30,    // UDPPort 12501 (low, high)
                                  4, 0, 0, 0,    // Flags ISF_LOCAL, Sp0, Prefix
                                  0, 0});        // Interval
    expected += std::string("abcdefghijklmno") + '\0';               // Admin
    expected += std::string("Stintkeeper") + std::string(5, '\0');  // IName
    EXPECT_EQ(bytesOfPacket(makeInitPacket(12501, "abcdefghijklmnopqrst")), expected);
}

TEST(Dispatch, RestLengths) {
    for (int size : {0, 4, 200}) {  // handled types have fixed rests whatever the Size byte
        const auto s = static_cast<byte>(size);
        EXPECT_EQ(restLength({s, ISP_TINY, 0, 0}), 0u);
        EXPECT_EQ(restLength({s, ISP_STA, 0, 0}), 24u);
        EXPECT_EQ(restLength({s, ISP_RST, 0, 0}), 24u);
        EXPECT_EQ(restLength({s, ISP_LAP, 0, 0}), 16u);
        EXPECT_EQ(restLength({s, ISP_SPX, 0, 0}), 12u);
        EXPECT_EQ(restLength({s, ISP_RES, 0, 0}), 80u);
    }
    // Other types read their Size, and never a negative length.
    const std::pair<byte, std::size_t> others[] = {{40, 36}, {255, 251}, {4, 0}, {3, 0}, {1, 0}, {0, 0}};
    for (const auto& [size, rest] : others) EXPECT_EQ(restLength({size, 99, 0, 0}), rest) << int(size);
    EXPECT_EQ(restLength({40, 2, 0, 0}), 36u);  // IS_VER, which only the handshake reads
}

TEST(Dispatch, KeepAliveIsAnsweredWhateverItsReqIAndEverythingElseDroppedQuietly) {
    Tracker tracker;
    RecordingPort port;
    const IS_TINY keepAlive = standin::makeTiny(TINY_NONE, 7);
    const IS_TINY other = standin::makeTiny(1);
    std::uint8_t unknown[40] = {40, 77};
    dispatchPacket(tracker, reinterpret_cast<const std::uint8_t*>(&other), sizeof other, port);
    dispatchPacket(tracker, unknown, sizeof unknown, port);
    dispatchPacket(tracker, reinterpret_cast<const std::uint8_t*>(&keepAlive), sizeof keepAlive, port);
    EXPECT_EQ(port.sends(), std::vector<std::string>{bytes({4, 3, 0, 0})});
    EXPECT_EQ(port.console(), "");
}
