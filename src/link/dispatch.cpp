// Cutting the InSim stream into packets: how many bytes make the packet that starts the buffer.
#include "link/dispatch.h"

#include <algorithm>

Frame framePacket(const std::uint8_t* received, std::size_t count, std::size_t handledSize, SizeUnit unit) {
    if (count < kHeaderSize) return {Frame::NeedMore, kHeaderSize};
    const std::size_t sized = std::size_t{received[0]} * static_cast<std::size_t>(unit);
    const std::size_t size = handledSize != 0 ? handledSize : std::max(sized, kHeaderSize);
    if (count < size) return {Frame::NeedMore, size};
    return {handledSize != 0 ? Frame::Whole : Frame::Drop, size};
}
