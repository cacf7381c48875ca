// Drives one tracker with raw input the way the link does: InSim packets cut from a byte stream and
// OutGauge datagrams of any length, checking after every step what must hold for any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
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
        const std::uint8_t* first = data + pos;
        pos += count;
        return first;
    }
};

class Session {
public:
    // With `trap`, the first violation is printed and the process stops at once, as a fuzzer needs;
    // without, it is kept in fault() for a test to report.
    explicit Session(bool trap, std::int32_t boardTimeOutMs = 15000) : trap_(trap) {
        tracker.boardTimeOutMs = boardTimeOutMs;
    }

    Tracker tracker;
    const std::string& fault() const { return fault_; }

    // Cuts the next packet off the input as the link cuts it from the stream; a packet of a type not
    // handled is read and dropped. False when the stream ends inside a packet: the link then closes.
    bool packetFrom(Input& in) {
        const Frame frame = framePacket(in.data + in.pos, in.left());
        if (frame.kind == Frame::NeedMore) return false;
        const std::uint8_t* bytes = in.take(frame.size);
        if (frame.kind == Frame::Whole) packet(bytes, frame.size);
        return true;
    }

    void packet(const std::uint8_t* bytes, std::size_t size) {
        const Shadow before = shadow();
        dispatchPacket(tracker, bytes, size, out_);
        const std::string said = output();
        const bool keepAlive = bytes[1] == ISP_TINY && bytes[3] == TINY_NONE;
        if (keepAlive != (said.find("{keep-alive}") != std::string::npos) || (keepAlive && said != "{keep-alive}"))
            fail("a keep-alive not answered by exactly one reply, or another packet answered");
        if (bytes[1] == ISP_RST) {
            checkRestart(bytes);
        } else {
            const bool sessionEnd = bytes[1] == ISP_STA && !tracker.pLaps;
            if (tracker.pLaps.get() != before.store && !sessionEnd) fail("a packet replaced the lap store");
            if (!sessionEnd && recorded() != before.fuel) fail("a packet changed a fuel reading");
            if (records() > before.records + (bytes[1] == ISP_LAP ? 1u : 0u)) fail("a packet stored more than its lap");
        }
        report();
    }

    // One OutGauge datagram of any length, as the link hands it over after a receive.
    void datagram(const std::uint8_t* bytes, std::size_t length) {
        const Shadow before = shadow();
        const std::uint32_t timeBefore = tracker.session.currentTime;
        onOutGauge(tracker, bytes, length, out_);
        const std::string said = output();
        if (tracker.pLaps.get() != before.store || records() != before.records) fail("a datagram changed the lap store");
        if (length != sizeof(OutGaugePack)) {
            if (tracker.session.currentTime != timeBefore || recorded() != before.fuel || said != "Unknown packet size!\n")
                fail("a datagram of the wrong size had another effect than its line");
        } else {
            checkFuelWrites(before.fuel);
            float reading;
            std::memcpy(&reading, bytes + 28, sizeof reading);
            checkFuelComplete(reading);
        }
        report();
    }

    void finish() { report(); }

private:
    struct Shadow {
        const RaceLapStore* store;
        std::size_t records;
        std::vector<std::uint32_t> fuel;
    };
    Shadow shadow() const { return {tracker.pLaps.get(), records(), recorded()}; }

    std::size_t records() const {
        std::size_t total = 0;
        for (std::size_t b = 0; tracker.pLaps && b < tracker.pLaps->blockCount(); ++b) total += tracker.pLaps->block(b)->arrivals;
        return total;
    }
    // Every fuel slot of the store, bit for bit, so that a change of any value, NaN included, shows.
    std::vector<std::uint32_t> recorded() const {
        std::vector<std::uint32_t> bits;
        for (std::size_t b = 0; tracker.pLaps && b < tracker.pLaps->blockCount(); ++b) {
            const LapBlock& block = *tracker.pLaps->block(b);
            bits.resize(bits.size() + kLapsPerBlock);
            std::memcpy(&bits[bits.size() - kLapsPerBlock], block.fuel, sizeof block.fuel);
        }
        return bits;
    }

    // What the step printed and sent: every send one the program makes (no {bytes}), a batch only
    // right after its announcement, no NUL in console text; and the store in shape after it.
    std::string output() {
        out_.flushHeader();
        std::string said = std::exchange(out_.text, {});
        if (said.find("{bytes") != std::string::npos) fail("a send the program never makes");
        if (said.find('\0') != std::string::npos) fail("console text with a NUL byte");
        for (std::size_t at = said.find("{press "); at != std::string::npos; at = said.find("{press ", at + 1)) {
            const std::string amount = said.substr(at + 7, said.find('}', at) - at - 7);
            const std::string announced = "Setting fuel to " + amount + "%\n";
            if (at < announced.size() || said.compare(at - announced.size(), announced.size(), announced) != 0)
                fail("a batch not announced with its amount");
        }
        checkStore();
        return said;
    }

    // At most 64 records a block, each of the block's own lap and not PLID 0; nothing behind them.
    void checkStore() {
        for (std::size_t b = 0; tracker.pLaps && b < tracker.pLaps->blockCount(); ++b) {
            const LapBlock& block = *tracker.pLaps->block(b);
            if (block.arrivals > kLapsPerBlock) return fail("more than 64 records in a block");
            for (std::size_t s = 0; s < kLapsPerBlock; ++s) {
                const IS_LAP& record = block.laps[s];
                const bool stored = s < block.arrivals;
                if (stored && (record.PLID == 0 || record.LapsDone != b + 1)) return fail("a record in the wrong block");
                if (!stored && (record.PLID != 0 || record.LTime != 0 || block.fuel[s] != 0.0f))
                    return fail("a slot behind the records is not empty");
            }
        }
    }

    void checkRestart(const std::uint8_t* bytes) {
        const int laps = bytes[4];
        if (laps >= 1 && laps <= 99 && (!tracker.pLaps || tracker.pLaps->blockCount() != static_cast<std::size_t>(laps) ||
                                        records() != 0 || !tracker.session.tracking))
            fail("a race restart without its empty store of its laps");
        if ((laps < 1 || laps > 99) && tracker.pLaps) fail("a lap store outlived a restart that is not a race");
        if (tracker.session.mustPit != ((bytes[16] & HOSTF_MUST_PIT) != 0)) fail("mustPit does not follow the restart");
    }

    // A slot is written once, and only for a record of the viewed player.
    void checkFuelWrites(const std::vector<std::uint32_t>& before) {
        const std::vector<std::uint32_t> now = recorded();
        for (std::size_t i = 0; i < now.size() && i < before.size(); ++i) {
            if (now[i] == before[i]) continue;
            const IS_LAP& record = tracker.pLaps->block(i / kLapsPerBlock)->laps[i % kLapsPerBlock];
            if (before[i] != 0 && before[i] != 0x80000000u) fail("a recorded fuel level was overwritten");
            if (record.PLID == 0 || record.PLID != tracker.session.sta.ViewPLID) fail("fuel recorded for a player not viewed");
        }
    }

    // After a reading in a race, every lap line of the viewed player within the blocks that the last
    // IS_STA and the store both cover has one, unless the reading was 0, which records nothing.
    void checkFuelComplete(float reading) {
        const IS_STA& sta = tracker.session.sta;
        if (!tracker.pLaps || sta.RaceInProg != 1 || sta.ViewPLID == 0 || reading == 0.0f) return;
        const std::size_t blocks = std::min<std::size_t>(sta.RaceLaps, tracker.pLaps->blockCount());
        for (std::size_t b = 0; b < blocks; ++b) {
            const LapBlock& block = *tracker.pLaps->block(b);
            for (std::size_t s = 0; s < block.arrivals; ++s) {
                if (block.laps[s].PLID == sta.ViewPLID && block.fuel[s] == 0.0f)
                    return fail("a lap line of the viewed player left without its reading");
            }
        }
    }

    void fail(const char* what) {
        if (fault_.empty()) fault_ = what;
    }
    void report() {
        if (!trap_ || fault_.empty()) return;
        std::fprintf(stderr, "invariant violated: %s\n", fault_.c_str());
        std::fflush(stderr);
        __builtin_trap();
    }

    bool trap_;
    std::string fault_;
    transcript::Recorder out_;
};

}  // namespace fuzzing
