// The IS_ISI written out byte by byte: the password the transcripts do not show, cut to its 15
// characters.
#include <gtest/gtest.h>

#include <string>

#include "link/handshake.h"
#include "support/transcript.h"

namespace {

using transcript::bytes;
std::string zeros(std::size_t count) { return std::string(count, '\0'); }

}  // namespace

TEST(WireSent, IS_ISI) {
    const IS_ISI isi = makeInitPacket(12501, "abcdefghijklmnopqrst", 8);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&isi), sizeof isi),
              bytes({44, 1, 1, 0, 0xD5, 0x30, 4, 0, 8, 0, 0, 0}) +  // Size, ISP_ISI, ReqI 1, Zero, UDPPort 12501,
                                                                     // Flags ISF_LOCAL, InSimVer 8, Prefix, Interval
                  "abcdefghijklmno" + zeros(1) +                     // Admin: the password's first 15 characters
                  "Stintkeeper" + zeros(5));                         // IName
}

