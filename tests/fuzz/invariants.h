// What must hold for any input: the shape of every send on the InSim link and of the tracker's stores.
// Shared by the fuzz targets, which trap on a violation, and the unit tests, which show each check can fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "link/port.h"
#include "link/wire.h"
#include "race/session.h"

namespace invariants {

constexpr std::size_t kMstSize = sizeof(IS_MST);
constexpr std::size_t kLeftPresses = 99;  // the batch first takes the setting down to its lowest value

// memcmp against zeros: the fuzzers run these checks after every step, and a plain loop here would be
// instrumented for coverage and cost more than the code under test.
inline bool allZero(const void* bytes, std::size_t size) {
    static constexpr std::uint8_t kZeros[sizeof(LapBlock)] = {};
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t done = 0; done < size; done += sizeof kZeros) {
        const std::size_t part = size - done < sizeof kZeros ? size - done : sizeof kZeros;
        if (std::memcmp(p + done, kZeros, part) != 0) return false;
    }
    return true;
}

// The command text of one IS_MST, or a fault when its header or zero fill is wrong.
inline std::string mstText(const std::uint8_t* packet, std::string& fault) {
    if (packet[0] != kMstSize || packet[1] != ISP_MST || packet[2] != 0 || packet[3] != 0) {
        fault = "IS_MST with a wrong header";
        return {};
    }
    const char* msg = reinterpret_cast<const char*>(packet + 4);
    const std::size_t length = ::strnlen(msg, 64);
    if (length == 64) fault = "IS_MST text without terminator";
    else if (!allZero(msg + length, 64 - length)) fault = "IS_MST text not zero-filled";
    return std::string(msg, length);
}

// A whole "/press" batch in one send: F12, 99 x left, amount - 1 x right, F12, with amount 1 to 99.
// Returns the amount, or 0 with `fault` set.
inline unsigned checkPressBatch(const std::uint8_t* bytes, std::size_t size, std::string& fault) {
    if (size % kMstSize != 0) {
        fault = "IS_MST batch not a whole number of packets";
        return 0;
    }
    const std::size_t count = size / kMstSize;
    if (count < 101 || count > 199) {
        fault = "IS_MST batch of " + std::to_string(count) + " packets: amount outside 1 to 99";
        return 0;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::string text = mstText(bytes + i * kMstSize, fault);
        if (!fault.empty()) return 0;
        const char* expected = "/press right";
        if (i == 0 || i == count - 1) expected = "/press F12";
        else if (i <= kLeftPresses) expected = "/press left";
        if (text != expected) {
            fault = "IS_MST " + std::to_string(i) + " of the batch reads \"" + text + "\"";
            return 0;
        }
    }
    return static_cast<unsigned>(count - 100);
}

// Whether a button line may have this text window: 16 bytes for lines 1 and 3, 16 or 20 for line 2
// (qualifying or race), 12 for the advice line; no other ClickID is a board line.
inline bool windowFits(std::uint8_t clickId, std::size_t window) {
    switch (clickId) {
        case 1: case 3: return window == 16;
        case 2: return window == 16 || window == 20;
        case 4: return window == 12;
        default: return false;
    }
}

// A Port that checks every send as it happens and that console text carries no NUL.
// The first violation is kept in `fault`; later ones are not looked at.
class WireChecker final : public Port {
public:
    std::string fault;
    std::string lastLine;         // the last console text, to pair "Setting fuel to" with its batch
    std::size_t events = 0;       // sends and console writes so far
    std::size_t clears = 0;       // IS_BFN clears
    std::size_t keepAlives = 0;   // IS_TINY replies
    std::size_t buttons = 0;      // IS_BTN, header and text
    std::size_t batches = 0;      // "/press" batches

    void send(const void* data, std::size_t size) override {
        ++events;
        if (!fault.empty()) return;
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        if (pendingWindow_ != 0) return buttonText(bytes, size);
        if (size == sizeof(IS_BFN) && bytes[1] == ISP_BFN) {
            static constexpr std::uint8_t kClear[8] = {8, ISP_BFN, 0, BFN_CLEAR, 0, 0, 0, 0};
            if (std::memcmp(bytes, kClear, sizeof kClear) != 0) fault = "IS_BFN other than the 8 clear bytes";
            ++clears;
            return;
        }
        if (size == sizeof(IS_TINY)) {
            static constexpr std::uint8_t kReply[4] = {4, ISP_TINY, 0, TINY_NONE};
            if (std::memcmp(bytes, kReply, sizeof kReply) != 0) fault = "IS_TINY other than the keep-alive reply";
            ++keepAlives;
            return;
        }
        if (size == sizeof(IS_BTN_Header) && bytes[1] == ISP_BTN) return buttonHeader(bytes);
        if (size >= kMstSize && bytes[1] == ISP_MST) {
            const unsigned amount = checkPressBatch(bytes, size, fault);
            const std::string expected = "Setting fuel to " + std::to_string(amount) + "%\n";
            if (fault.empty() && lastLine != expected) fault = "batch of amount " + std::to_string(amount) +
                                                                " not announced by \"" + expected + "\"";
            ++batches;
            return;
        }
        fault = "unexpected send of " + std::to_string(size) + " bytes";
    }

    void write(std::string_view text) override {
        ++events;
        if (!fault.empty()) return;
        if (pendingWindow_ != 0) fault = "console text between a button header and its text";
        else if (text.find('\0') != std::string_view::npos) fault = "console text with a NUL byte";
        lastLine.assign(text);
    }

    bool buttonOpen() const { return pendingWindow_ != 0; }

private:
    void buttonHeader(const std::uint8_t* b) {
        IS_BTN_Header header;
        std::memcpy(&header, b, sizeof header);
        const std::size_t window = header.Size >= 12 ? header.Size - 12u : 0u;
        if (!windowFits(header.ClickID, window)) fault = "IS_BTN " + std::to_string(header.ClickID) +
                                                         " with a window of " + std::to_string(window);
        else if (header.ReqI != header.ClickID || header.UCID != 0 || header.Inst != 0 ||
                 header.BStyle != ISB_DARK || header.TypeIn != 0 || header.L != 10 ||
                 header.T != 42 + 8 * header.ClickID || header.W != 20 || header.H != 10)
            fault = "IS_BTN header fields";
        pendingWindow_ = window;
        pendingClickId_ = header.ClickID;
    }

    void buttonText(const std::uint8_t* bytes, std::size_t size) {
        const std::size_t window = pendingWindow_;
        pendingWindow_ = 0;
        ++buttons;
        if (size != window) {
            fault = "IS_BTN text of " + std::to_string(size) + " bytes for a window of " + std::to_string(window);
            return;
        }
        const auto* text = reinterpret_cast<const char*>(bytes);
        const std::size_t length = ::strnlen(text, size);
        if (pendingClickId_ == 4) {
            // The advice line is sent as stored: not empty, and terminated within its 12 bytes.
            if (length == 0 || length == size) fault = "advice button empty or unterminated";
        } else if (!allZero(text + length, size - length)) {
            fault = "IS_BTN text window not zero-filled after its text";
        }
    }

    std::size_t pendingWindow_ = 0;  // after a header: the text send that must follow
    std::uint8_t pendingClickId_ = 0;
};

// One block of the race lap store: at most 64 records, `arrivals` equal to the records, every record
// in the block of its own lap, and nothing at or after `arrivals`.
inline std::string checkBlock(const LapBlock& block, std::size_t index) {
    const std::string where = "block " + std::to_string(index) + ": ";
    if (block.arrivals > kLapsPerBlock) return where + "arrivals " + std::to_string(block.arrivals);
    for (std::size_t s = 0; s < block.arrivals; ++s) {
        const IS_LAP& lap = block.laps[s];
        if (lap.PLID == 0) return where + "record " + std::to_string(s) + " with PLID 0 ends the list early";
        if (lap.LapsDone != index + 1) return where + "record of lap " + std::to_string(lap.LapsDone);
    }
    const std::size_t empty = kLapsPerBlock - block.arrivals;
    if (!allZero(&block.laps[block.arrivals], empty * sizeof(IS_LAP)) ||
        !allZero(&block.fuel[block.arrivals], empty * sizeof(float))) {
        for (std::size_t s = block.arrivals;; ++s) {  // name the first slot that is not empty
            if (!allZero(&block.laps[s], sizeof(IS_LAP)) || !allZero(&block.fuel[s], sizeof(float)))
                return where + "slot " + std::to_string(s) + " at or after arrivals is not empty";
        }
    }
    return {};
}

// The whole race lap store: the blocks as created, each as checkBlock says.
inline std::string checkLapStore(const RaceLapStore& store) {
    if (store.blockCount() < 1 || store.blockCount() > kMaxRaceLaps) return "lap store of " +
                                                                          std::to_string(store.blockCount()) + " blocks";
    for (std::size_t b = 0; b < store.blockCount(); ++b) {
        std::string fault = checkBlock(*store.block(b), b);
        if (!fault.empty()) return fault;
    }
    return {};
}

// The records of the tracker other than the lap store stay within their capacity.
inline std::string checkRecords(const Tracker& tracker) {
    if (tracker.qualifying && !allZero(&tracker.qualifying->results[kResultSlots - 1], sizeof(IS_RES)))
        return "qualifying result stored in the last slot";
    for (const BoardData* board : {&tracker.latestBoard, &tracker.previousBoard}) {
        if (::strnlen(board->marker, sizeof board->marker) == sizeof board->marker) return "marker unterminated";
        if (::strnlen(board->advice, sizeof board->advice) > 9) return "advice longer than 9 characters";
    }
    return {};
}

// Every record of the tracker that has a fixed capacity stays within it.
inline std::string checkTracker(const Tracker& tracker) {
    if (tracker.pLaps) {
        std::string fault = checkLapStore(*tracker.pLaps);
        if (!fault.empty()) return fault;
    }
    return checkRecords(tracker);
}

// Records stored in the whole lap store.
inline std::size_t storedRecords(const Tracker& tracker) {
    std::size_t total = 0;
    if (tracker.pLaps) {
        for (std::size_t b = 0; b < tracker.pLaps->blockCount(); ++b) total += tracker.pLaps->block(b)->arrivals;
    }
    return total;
}

}  // namespace invariants
