// Drives the program's handlers with raw input the way the link does: InSim packets cut from a byte
// stream and OutGauge datagrams of any length, checking after every step what must hold for any input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/transcript.h"

namespace fuzzing {

// Bytes still to be read from a fuzz input.
struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;

    std::size_t left() const { return size - pos; }
    // The next `count` bytes, or nullptr when the input ends first (then nothing is taken).
    const std::uint8_t* take(std::size_t count) {
        if (count > left()) return nullptr;
        pos += count;
        return data + pos - count;
    }
};

// Stops the fuzzer at the first violation, naming it.
class Session {
public:
    explicit Session(std::int32_t boardTimeOutMs = kDefaultBoardTimeOutMs, bool pitGuard = false) {
        program.boardTimeOutMs = boardTimeOutMs;
        program.pitFuel.guard.on = pitGuard;
    }

    Program program;
    Tracker& tracker = program.race;

    // Cuts the next packet off the input as the link cuts it from the stream; a packet of a type not
    // handled is read and dropped. False when the stream ends inside a packet: the link then closes.
    bool packetFrom(Input& in) {
        const Frame frame = framePacket(in.data + in.pos, in.left(), programRoutes(program), out_.sizeUnit());
        if (frame.kind == Frame::NeedMore) return false;
        const std::uint8_t* bytes = in.take(frame.size);
        if (frame.kind == Frame::Drop) return true;
        const std::vector<std::uint32_t> before = readings();
        dispatchPacket(programRoutes(program), program, bytes, frame.size, out_);
        const std::string said = output();
        check((bytes[1] == ISP_TINY && bytes[3] == TINY_NONE) == (said == "{keep-alive}"), "a keep-alive not answered alone");
        check(said.find("{press") == said.rfind("{press"), "one packet typed the pit fuel twice");
        if (said.find("{press") != std::string::npos) {
            // The line it was typed for: this lap line, or with the guard one held until this packet.
            const PitFuelState& typed = program.pitFuel;
            IS_LAP lap{};
            std::memcpy(&lap, bytes, std::min(sizeof lap, frame.size));
            const bool thisLine = bytes[1] == ISP_LAP && typed.race == tracker.races && typed.plid == lap.PLID &&
                                  typed.lap == lap.LapsDone;
            check(thisLine || typed.guard.on, "the pit fuel typed outside a lap line without the guard");
            check(typedLines_.insert({typed.race, typed.plid, typed.lap}).second, "the pit fuel typed twice for one lap line");
        }
        const bool storeChanged = bytes[1] == ISP_RST || (bytes[1] == ISP_STA && !tracker.pLaps);
        check(storeChanged || readings() == before, "a packet changed a fuel reading");
        return true;
    }

    // One OutGauge datagram of any length, as the link hands it over after a receive.
    void datagram(const std::uint8_t* bytes, std::size_t length) {
        const std::vector<std::uint32_t> before = readings();
        const std::uint32_t timeBefore = tracker.session.currentTime;
        onGauge(program, bytes, length, out_);
        const std::string said = output();
        const std::vector<std::uint32_t> after = readings();
        if (length != sizeof(OutGaugePack)) {
            check(said == "Unknown packet size!\n" && tracker.session.currentTime == timeBefore && after == before,
                  "a datagram of the wrong size had another effect than its line");
            return;
        }
        // A slot is written once, and only at a lap line of the viewed player.
        for (std::size_t i = 0; i < after.size() && i < before.size(); ++i) {
            if (after[i] == before[i]) continue;
            const IS_LAP& record = tracker.pLaps->block(i / kLapsPerBlock)->laps[i % kLapsPerBlock];
            check((before[i] & 0x7FFFFFFFu) == 0, "a fuel reading was overwritten");
            check(record.PLID != 0 && record.PLID == tracker.session.sta.ViewPLID, "fuel recorded for another player");
        }
    }

private:
    // Every fuel slot of the store, bit for bit, so that a change of any value, NaN included, shows.
    std::vector<std::uint32_t> readings() const {
        std::vector<std::uint32_t> bits;
        for (std::size_t b = 0; tracker.pLaps && b < tracker.pLaps->blockCount(); ++b) {
            bits.resize(bits.size() + kLapsPerBlock);
            std::memcpy(&bits[bits.size() - kLapsPerBlock], tracker.pLaps->block(b)->fuel, sizeof(LapBlock::fuel));
        }
        return bits;
    }

    // What the step printed and sent: only sends the program makes (no {bytes}), no NUL in the console;
    // and the lap store in shape after it: at most 64 records a block, each of the block's own lap and
    // not PLID 0, nothing behind them.
    std::string output() {
        out_.flushHeader();
        const std::string said = std::exchange(out_.text, {});
        check(said.find("{bytes") == std::string::npos && said.find('\0') == std::string::npos, "a malformed output");
        for (std::size_t b = 0; tracker.pLaps && b < tracker.pLaps->blockCount(); ++b) {
            const LapBlock& block = *tracker.pLaps->block(b);
            check(block.arrivals <= kLapsPerBlock, "more than 64 records in a block");
            for (std::size_t s = 0; s < kLapsPerBlock; ++s) {
                const IS_LAP& record = block.laps[s];
                if (s < block.arrivals) check(record.PLID != 0 && record.LapsDone == b + 1, "a record in the wrong block");
                else check(record.PLID == 0 && block.fuel[s] == 0.0f, "a slot behind the records is not empty");
            }
        }
        return said;
    }

    static void check(bool holds, const char* what) {
        if (holds) return;
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::fflush(stderr);
        __builtin_trap();
    }

    transcript::Recorder out_;
    std::set<std::tuple<std::uint32_t, std::uint8_t, std::uint16_t>> typedLines_;  // race, PLID, LapsDone
};

}  // namespace fuzzing
