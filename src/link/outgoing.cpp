// The bytes of every packet the program sends once connected.
#include "link/outgoing.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Button places: every line shares left, width and height.
constexpr std::uint8_t kButtonLeft = 10;
constexpr std::uint8_t kButtonWidth = 20;
constexpr std::uint8_t kButtonHeight = 10;

constexpr std::size_t kLeftPresses = 99;  // reach the lowest setting, 1%, from any setting
constexpr std::size_t kMaxBatch = 1 + kLeftPresses + (kFullTankPercent - 1) + 1;

// Size is set when the batch is sent, in the link's unit.
template <std::size_t N>
IS_MST command(const char (&text)[N]) {
    static_assert(N <= sizeof(IS_MST::Msg), "a command fits the message field with its terminator");
    IS_MST packet{};  // Msg zero-filled behind the text
    packet.Type = ISP_MST;
    std::memcpy(packet.Msg, text, N);
    return packet;
}

const IS_MST kPressF12 = command("/press F12");
const IS_MST kPressLeft = command("/press left");
const IS_MST kPressRight = command("/press right");

}  // namespace

void answerKeepAlive(const IS_TINY& tiny, Output& out) {
    if (tiny.SubT != TINY_NONE) return;
    const IS_TINY reply{sizeByte(sizeof(IS_TINY), out.sizeUnit()), ISP_TINY, 0, TINY_NONE};
    out.send(&reply, sizeof reply);
}

void sendRequests(Output& out, std::span<const byte> subTypes) {
    if (subTypes.empty()) return;
    std::vector<IS_TINY> requests;
    for (const byte subType : subTypes) {
        requests.push_back({sizeByte(sizeof(IS_TINY), out.sizeUnit()), ISP_TINY, kAskReqI, subType});
    }
    out.send(requests.data(), requests.size() * sizeof(IS_TINY));
}

void clearButtons(Output& out) {
    const IS_BFN clear{sizeByte(sizeof(IS_BFN), out.sizeUnit()), ISP_BFN, 0, BFN_CLEAR, 0, 0, 0, 0};
    out.send(&clear, sizeof clear);
}

void sendButton(Output& out, std::uint8_t clickId, std::uint8_t top, std::string_view text, std::size_t window) {
    const byte size = sizeByte(sizeof(IS_BTN_Header) + window, out.sizeUnit());
    const IS_BTN_Header header{
        size,                                                // Size
        ISP_BTN,                                             // Type
        clickId,                                             // ReqI
        0,                                                   // UCID: the local screen
        clickId,                                             // ClickID
        0,                                                   // Inst
        ISB_DARK,                                            // BStyle
        0,                                                   // TypeIn
        kButtonLeft,                                         // L
        top,                                                 // T
        kButtonWidth,                                        // W
        kButtonHeight,                                       // H
    };
    out.send(&header, sizeof header);
    std::string shown(window, '\0');  // a short text leaves zero bytes behind it
    text.copy(shown.data(), window);
    out.send(shown.data(), shown.size());
}

void sendPress(Output& out, std::string_view key) {
    IS_MST packet = command("/press ");
    constexpr std::size_t kAt = sizeof("/press ") - 1;
    key.copy(packet.Msg + kAt, std::min(key.size(), sizeof packet.Msg - kAt - 1));  // the terminator stays
    packet.Size = sizeByte(sizeof(IS_MST), out.sizeUnit());
    out.send(&packet, sizeof packet);
}

std::size_t sendPressBatch(Output& out, unsigned amount) {
    // On the stack: the batch is made and sent within this call, at most 200 packets.
    std::array<IS_MST, kMaxBatch> batch;
    std::size_t count = 0;
    batch[count++] = kPressF12;
    for (std::size_t k = 0; k < kLeftPresses; ++k) batch[count++] = kPressLeft;
    for (unsigned k = 1; k < amount && k < kFullTankPercent; ++k) batch[count++] = kPressRight;
    batch[count++] = kPressF12;
    const byte packetSize = sizeByte(sizeof(IS_MST), out.sizeUnit());
    for (std::size_t k = 0; k < count; ++k) batch[k].Size = packetSize;
    const std::size_t size = count * sizeof(IS_MST);
    out.send(batch.data(), size);
    return size;
}
