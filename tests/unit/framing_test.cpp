// Cutting the InSim stream into packets: however the bytes arrive, the same packets come out whole,
// handled types at their own sizes whatever their Size byte, other types read by it and dropped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/transcript.h"

namespace {

using transcript::bytes;

// Handled types with their Size byte wrong, and other types of Size 40, 4, 0 and 3.
const std::string kStream = bytes({4, 3, 0, 0}) +                          // IS_TINY
                            bytes({0, 24, 0, 7}) + std::string(16, '\1') +  // IS_LAP, Size 0
                            bytes({40, 77, 0, 0}) + std::string(36, '\3') +  // would read as IS_TINY headers
                            bytes({4, 200, 0, 0}) + bytes({0, 1, 0, 0}) + bytes({3, 36, 0, 0}) +
                            bytes({255, 25, 0, 7}) + std::string(12, '\0') +  // IS_SPX, Size 255
                            bytes({28, 5, 0, 0}) + std::string(24, '\0');    // IS_STA
const std::string kFrames = "whole 4, whole 20, drop 40, drop 4, drop 4, drop 4, whole 16, whole 28, ";

// Feeds the stream in pieces of these lengths (the rest in one last piece) and cuts every packet as
// soon as it is complete, as the link does; lists what each cut was.
std::string cut(const std::string& stream, const std::vector<std::size_t>& pieces) {
    const Program program;
    std::string frames, received;
    std::size_t at = 0;
    for (std::size_t piece = 0; at < stream.size(); ++piece) {
        const std::size_t length = piece < pieces.size() ? pieces[piece] : stream.size() - at;
        received += stream.substr(at, length);
        at += length;
        for (;;) {
            const Frame frame = framePacket(reinterpret_cast<const std::uint8_t*>(received.data()), received.size(),
                                            programRoutes(program), SizeUnit::Bytes);
            if (frame.kind == Frame::NeedMore) {
                EXPECT_GT(frame.size, received.size());  // never asks for what it has
                break;
            }
            frames += (frame.kind == Frame::Whole ? "whole " : "drop ") + std::to_string(frame.size) + ", ";
            received.erase(0, frame.size);
        }
    }
    return received.empty() ? frames : frames + "left " + std::to_string(received.size());
}

}  // namespace

// Coalesced in one read, split at every offset, one byte at a time: always the same packets.
TEST(Framing, HoweverTheBytesArrive) {
    EXPECT_EQ(cut(kStream, {}), kFrames);
    for (std::size_t offset = 1; offset < kStream.size(); ++offset) EXPECT_EQ(cut(kStream, {offset}), kFrames) << offset;
    EXPECT_EQ(cut(kStream, std::vector<std::size_t>(kStream.size(), 1)), kFrames);
}
