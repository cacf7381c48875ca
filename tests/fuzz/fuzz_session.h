// Drives one tracker with raw input the way the link does: InSim packets cut from a byte stream and
// OutGauge datagrams of any length, checking the invariants after every step.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/invariants.h"
#include "link/dispatch.h"
#include "race/handlers.h"

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
    invariants::WireChecker port;

    const std::string& fault() const { return fault_.empty() ? port.fault : fault_; }

    // Cuts the next packet as the link does: the 4-byte header, then restLength(header) bytes.
    // False when the stream ends inside the packet: the link then loses the connection.
    bool packetFrom(Input& in) {
        const std::uint8_t* header = in.take(kHeaderSize);
        if (header == nullptr) return false;
        InSimHeader h;
        std::memcpy(&h, header, kHeaderSize);
        const std::uint8_t* rest = in.take(restLength(h));
        if (rest == nullptr) return false;
        std::uint8_t packet[kMaxPacketSize];
        std::memcpy(packet, header, kHeaderSize);
        std::memcpy(packet + kHeaderSize, rest, restLength(h));
        this->packet(packet, kHeaderSize + restLength(h));
        return true;
    }

    // One whole packet through the dispatch, then the checks that follow from its type.
    void packet(const std::uint8_t* bytes, std::size_t size) {
        const std::size_t eventsBefore = port.events;
        const std::size_t keepAlivesBefore = port.keepAlives;
        const std::size_t recordsBefore = invariants::storedRecords(tracker);
        const RaceLapStore* storeBefore = tracker.pLaps.get();

        dispatchPacket(tracker, bytes, size, port);
        check(invariants::checkRecords(tracker));
        if (port.buttonOpen()) fail("a button header was sent without its text");

        const std::size_t records = invariants::storedRecords(tracker);
        // Every restart makes a new store, which may sit where the old one was.
        const bool sameStore = tracker.pLaps.get() == storeBefore && bytes[1] != ISP_RST;
        if (!sameStore && tracker.pLaps) check(invariants::checkLapStore(*tracker.pLaps));
        switch (bytes[1]) {
            case ISP_TINY:
                if (bytes[3] == TINY_NONE && (port.events != eventsBefore + 1 || port.keepAlives != keepAlivesBefore + 1))
                    fail("keep-alive not answered by exactly one reply");
                if (bytes[3] != TINY_NONE && port.events != eventsBefore) fail("an IS_TINY other than a keep-alive had an effect");
                break;
            case ISP_RST: checkRestart(bytes); break;
            case ISP_LAP: {
                if (!sameStore) fail("an IS_LAP replaced the lap store");
                if (records > recordsBefore + 1) fail("one IS_LAP stored more than one record");
                IS_LAP lap;
                std::memcpy(&lap, bytes, sizeof lap);
                // The only block this packet may have written.
                if (tracker.pLaps && lap.LapsDone >= 1) {
                    if (const LapBlock* block = tracker.pLaps->block(lap.LapsDone - 1u))
                        check(invariants::checkBlock(*block, lap.LapsDone - 1u));
                }
                break;
            }
            case ISP_STA:
                if (!sameStore && tracker.pLaps) fail("an IS_STA created a lap store");
                if (sameStore && records != recordsBefore) fail("an IS_STA changed the stored records");
                break;
            case ISP_SPX:
            case ISP_RES:
                if (!sameStore || records != recordsBefore) fail("a split or result changed the lap store");
                break;
            default:
                if (port.events != eventsBefore || !sameStore || records != recordsBefore)
                    fail("a packet of an unhandled type had an effect");
                break;
        }
        if (sameStore && fuelChanged()) fail("a packet changed a fuel reading");
        takeFuelShadow();
        report();
    }

    // One OutGauge datagram of any length, as the link hands it over after a receive.
    void datagram(const std::uint8_t* bytes, std::size_t length) {
        const std::uint32_t timeBefore = tracker.session.currentTime;
        const std::size_t eventsBefore = port.events;
        const RaceLapStore* storeBefore = tracker.pLaps.get();

        onOutGauge(tracker, bytes, length, port);
        check(invariants::checkRecords(tracker));
        if (tracker.pLaps.get() != storeBefore) fail("a datagram replaced the lap store");

        if (length != sizeof(OutGaugePack)) {
            if (tracker.session.currentTime != timeBefore) fail("a datagram of the wrong size moved the time");
            if (port.events != eventsBefore + 1 || port.lastLine != "Unknown packet size!\n")
                fail("a datagram of the wrong size not reported once");
            if (fuelChanged()) fail("a datagram of the wrong size recorded fuel");
        } else {
            OutGaugePack pack;
            std::memcpy(&pack, bytes, sizeof pack);
            if (tracker.session.currentTime != pack.Time) fail("the time does not follow the datagram");
            checkFuelWrites();
            checkFuelComplete(pack.Fuel);
        }
        takeFuelShadow();
        report();
    }

    // The whole tracker once more, at the end of an input.
    void finish() {
        check(invariants::checkTracker(tracker));
        report();
    }

private:
    void fail(const char* what) {
        if (fault_.empty()) fault_ = what;
    }
    void check(const std::string& fault) {
        if (fault_.empty() && !fault.empty()) fault_ = fault;
    }
    void report() {
        if (!trap_ || fault().empty()) return;
        std::fprintf(stderr, "invariant violated: %s\n", fault().c_str());
        std::fflush(stderr);
        __builtin_trap();
    }

    void checkRestart(const std::uint8_t* bytes) {
        IS_RST rst;
        std::memcpy(&rst, bytes, sizeof rst);
        const bool race = rst.RaceLaps >= 1 && rst.RaceLaps <= kMaxRaceLaps;
        if (race) {
            if (!tracker.pLaps || tracker.pLaps->blockCount() != rst.RaceLaps) fail("race restart without its blocks");
            else if (invariants::storedRecords(tracker) != 0) fail("a new lap store holds records");
            if (!tracker.session.tracking) fail("race restart does not track");
        } else {
            if (tracker.pLaps) fail("a lap store outlived a restart that is not a race");
            if (rst.RaceLaps == 0 && rst.QualMins != 0 && (!tracker.qualifying || !tracker.session.tracking))
                fail("qualifying restart without its store");
        }
        if (tracker.session.mustPit != ((rst.Flags & HOSTF_MUST_PIT) != 0)) fail("mustPit does not follow the restart");
    }

    // The fuel readings as they stood after the last step, bit for bit, so that a change of any value,
    // NaN included, is seen; kept for the store it was taken from.
    void takeFuelShadow() {
        shadowStore_ = tracker.pLaps.get();
        if (!shadowStore_) return;
        shadow_.resize(shadowStore_->blockCount() * kLapsPerBlock);
        for (std::size_t b = 0; b < shadowStore_->blockCount(); ++b)
            std::memcpy(&shadow_[b * kLapsPerBlock], shadowStore_->block(b)->fuel, sizeof(LapBlock::fuel));
    }
    bool fuelChanged() const {
        if (!tracker.pLaps || tracker.pLaps.get() != shadowStore_) return false;
        for (std::size_t b = 0; b < shadowStore_->blockCount(); ++b) {
            if (std::memcmp(&shadow_[b * kLapsPerBlock], shadowStore_->block(b)->fuel, sizeof(LapBlock::fuel)) != 0)
                return true;
        }
        return false;
    }

    // A slot is written once, and only for a record of the viewed player.
    void checkFuelWrites() {
        if (!fuelChanged()) return;
        for (std::size_t b = 0; b < shadowStore_->blockCount(); ++b) {
            const LapBlock& block = *shadowStore_->block(b);
            for (std::size_t s = 0; s < kLapsPerBlock; ++s) {
                std::uint32_t now;
                std::memcpy(&now, &block.fuel[s], sizeof now);
                const std::uint32_t before = shadow_[b * kLapsPerBlock + s];
                if (now == before) continue;
                float old;
                std::memcpy(&old, &before, sizeof old);
                if (old != 0.0f) return fail("a recorded fuel level was overwritten");
                if (block.laps[s].PLID == 0 || block.laps[s].PLID != tracker.session.sta.ViewPLID)
                    return fail("fuel recorded for a player not viewed");
            }
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
            for (std::size_t s = 0; s < block.arrivals && s < kLapsPerBlock; ++s) {
                if (block.laps[s].PLID == sta.ViewPLID && block.fuel[s] == 0.0f)
                    return fail("a lap line of the viewed player left without its reading");
            }
        }
    }

    bool trap_;
    std::string fault_;
    const RaceLapStore* shadowStore_ = nullptr;  // the store the shadow was taken from
    std::vector<std::uint32_t> shadow_;          // its fuel readings, bit for bit
};

}  // namespace fuzzing
