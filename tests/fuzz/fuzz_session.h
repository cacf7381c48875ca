// Drives the program's handlers with raw input the way the link does: InSim packets cut from a byte
// stream and OutGauge datagrams of any length, checking after every step what must hold for any input.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fuzz_seeds/settings_prefix.h"
#include "race/race_length.h"
#include "support/files.h"
#include "support/transcript.h"

// The checks walk the lap store after every step: left out of the coverage the fuzzer steers by, they
// neither slow it down nor count as paths of the program.
#if defined(__clang__)
#define FUZZ_UNCOUNTED __attribute__((no_sanitize("coverage")))
#else
#define FUZZ_UNCOUNTED
#endif

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

// Where the race logs of every input go: one directory for the whole run, emptied after each input and
// removed at exit; in memory where the system has a file system there, as a file made on disk for each
// input costs more than the rest of the input.
inline const std::filesystem::path& logDirectory() {
    static const TempDir directory("logs", std::getenv("TMPDIR") == nullptr && std::filesystem::is_directory("/dev/shm")
                                               ? "/dev/shm" : std::filesystem::temp_directory_path());
    return directory.path;
}
inline void emptyLogDirectory() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(logDirectory(), error)) std::filesystem::remove(entry, error);
}

// The settings as the program takes them from cfg.xml: defaults for what is 0, the logs in the run's directory.
inline Config settingsOf(Config config) {
    applyDefaults(config);
    if (!config.logDirectory.empty()) config.logDirectory = logDirectory().string();
    return config;
}

// Stops the fuzzer at the first violation, naming it.
class Session {
public:
    // The program made from the settings as the real one is, after a handshake in which the simulator
    // speaks the version asked for (5 when none is).
    explicit Session(const Config& read) : program(settingsOf(read)) {
        useInSimVersion(program, static_cast<word>(read.insimVersion == 0 ? 5 : read.insimVersion), out_);
        out_.errors.clear();
    }
    ~Session() {
        if (program.log) {
            program.log.reset();
            emptyLogDirectory();
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Program program;
    Tracker& tracker = program.race;

    // Cuts the next packet off the input as the link cuts it from the stream; a packet of a type not
    // handled is read and dropped. False when the stream ends inside a packet: the link then closes.
    bool packetFrom(Input& in) {
        const Frame frame = framePacket(in.data + in.pos, in.left(), programRoutes(program), out_.sizeUnit());
        if (frame.kind == Frame::NeedMore) return false;
        const std::uint8_t* bytes = in.take(frame.size);
        if (frame.kind == Frame::Drop) return true;
        dispatchPacket(programRoutes(program), program, bytes, frame.size, out_);
        if (bytes[1] == ISP_LAP) noteFlag(bytes, frame.size);
        const std::string said = output();
        check((bytes[1] == ISP_TINY && bytes[3] == TINY_NONE) == (said == "{keep-alive}"), "a keep-alive not answered alone");
        check(said.find("{press") == said.rfind("{press"), "one packet typed the pit fuel twice");
        if (said.find("{press") != std::string::npos) typed(bytes, frame.size);
        check(said.find("{panel") == std::string::npos || said.find("{press") < said.find("{panel"),
              "a panel shown again without a batch before it");
        storeAfter(false);
        return true;
    }

    // One OutGauge datagram of any length, as the link hands it over after a receive.
    void datagram(const std::uint8_t* bytes, std::size_t length) {
        const std::uint32_t timeBefore = tracker.session.currentTime;
        onGauge(program, bytes, length, out_);
        const std::string said = output();
        const bool whole = length == sizeof(OutGaugePack);
        check(whole || (said == "Unknown packet size!\n" && tracker.session.currentTime == timeBefore),
              "a datagram of the wrong size had another effect than its line");
        storeAfter(whole);
    }

    // The link lost and made again between two packets, as the link does it: the loss (a held amount
    // dropped; with join the answers to come decide, without it the race ends), then the new handshake's
    // version. Nothing is typed then, and nothing stays held.
    void linkLostAndFound() {
        onLinkLost(program, out_);
        useInSimVersion(program, tracker.session.insimVersion, out_);
        const std::string said = output();
        check(said.find("{press") == std::string::npos && program.pitFuel.guard.held == 0, "an amount kept across a lost link");
        storeAfter(false);
    }

    // At the end of the input: the whole store in shape.
    FUZZ_UNCOUNTED void finish() {
        if (tracker.pLaps) wholeStoreInShape(*tracker.pLaps);
    }

private:
    // The amount typed by this packet: for this lap line, or with the guard one held until a packet made
    // typing safe; never while the guard's rules hold it, never twice for one line.
    void typed(const std::uint8_t* bytes, std::size_t size) {
        const PitFuelState& typed = program.pitFuel;
        IS_LAP lap{};
        std::memcpy(&lap, bytes, std::min(sizeof lap, size));
        const bool thisLine = bytes[1] == ISP_LAP && typed.race == tracker.races && typed.plid == lap.PLID &&
                              typed.lap == lap.LapsDone;
        const PitGuard& guard = typed.guard;
        check(thisLine || guard.on, "the pit fuel typed outside a lap line without the guard");
        const IS_STA& sta = tracker.session.sta;
        // Over the plain view or the F9 to F11 panels, which the F12 screen the batch opens replaces.
        check(!guard.on || (guard.mode == CIM_NORMAL && guard.subMode < NRM_PIT_INSTRUCTIONS &&
                            (sta.Flags & (ISS_DIALOG | ISS_TEXT_ENTRY)) == 0 && !guard.inBox[sta.ViewPLID]),
              "the pit fuel typed while the guard holds it");
        check(!guard.on || localDrives(guard, sta.ViewPLID), "the pit fuel typed while another driver is in the car");
        check(flagged_.count({typed.race, typed.plid}) == 0, "the pit fuel typed at or after the car's flag");
        check(typedLines_.insert({typed.race, typed.plid, typed.lap}).second, "the pit fuel typed twice for one lap line");
    }

    // A line of the viewed car that the store holds, at or after its flag: the race's length reached, or
    // in a timed race a line at or after the leader's known finish (an estimate of it is no flag).
    FUZZ_UNCOUNTED void noteFlag(const std::uint8_t* bytes, std::size_t size) {
        IS_LAP lap{};
        std::memcpy(&lap, bytes, std::min(sizeof lap, size));
        const RaceLapStore* store = tracker.pLaps.get();
        if (!tracker.session.tracking || store == nullptr || lap.PLID != tracker.session.sta.ViewPLID) return;
        if (lap.LapsDone == 0 || lap.LapsDone > store->blockCount() || !slotOf(*store->block(lap.LapsDone - 1u), lap.PLID)) return;
        const bool flag = store->length().kind == RaceLength::Hours ? store->finished() && lap.ETime >= store->finishTime
                                                                     : distanceAt(tracker, lap).lapsToGo == 0;
        if (flag) flagged_.insert({tracker.races, lap.PLID});
    }

    // What the step printed and sent: only sends the program makes (no {bytes}), no NUL in the console.
    std::string output() {
        out_.flushHeader();
        std::string said = std::exchange(out_.text, {});
        check(said.find("{bytes") == std::string::npos && said.find('\0') == std::string::npos, "a malformed output");
        return said;
    }

    // The lap store after a step, against what it held before: within its cap; records only added, at
    // most 64 a block, each of the block's own lap and not PLID 0; a fuel reading written only by a
    // datagram of the right size, once, and only at a lap line of the viewed player. A store made anew
    // by the step is checked whole.
    FUZZ_UNCOUNTED void storeAfter(bool readingsMayFill) {
        const RaceLapStore* store = tracker.pLaps.get();
        const bool replaced = store != seenStore_ || tracker.races != seenRaces_;
        seenStore_ = store;
        seenRaces_ = tracker.races;
        if (store == nullptr) return;
        const bool timed = store->length().kind == RaceLength::Hours;
        const std::size_t cap = timed ? RaceLapStore::kMaxTimedRaceLaps : tracker.longRaces ? kMaxLongRaceLaps : kMaxRaceLaps;
        check(store->blockCount() <= cap && (timed || store->blockCount() == store->length().count),
              "the lap store beyond its cap");
        if (replaced) {
            wholeStoreInShape(*store);
            arrivals_.assign(store->blockCount(), 0);
            fuel_.assign(store->blockCount() * kLapsPerBlock, 0);
            readAsZero_.assign(store->blockCount() * kLapsPerBlock, false);
            return;
        }
        arrivals_.resize(store->blockCount(), 0);  // a timed race's store grows
        fuel_.resize(store->blockCount() * kLapsPerBlock, 0);
        readAsZero_.resize(store->blockCount() * kLapsPerBlock, false);
        for (std::size_t b = 0; b < store->blockCount(); ++b) {
            const LapBlock& block = *store->block(b);
            check(block.arrivals <= kLapsPerBlock && block.arrivals >= arrivals_[b], "records of a lap lost or too many");
            for (std::size_t s = arrivals_[b]; s < block.arrivals; ++s) {
                check(block.laps[s].PLID != 0 && block.laps[s].LapsDone == b + 1, "a record in the wrong block");
            }
            arrivals_[b] = block.arrivals;
            for (std::size_t s = 0; s < block.arrivals; ++s) {
                std::uint32_t bits;
                std::memcpy(&bits, &block.fuel[s], sizeof bits);
                std::uint32_t& before = fuel_[b * kLapsPerBlock + s];
                // A reading of 0 taken as read (with long races read) stays, like any other reading.
                const bool zeroBefore = readAsZero_[b * kLapsPerBlock + s];
                const bool zeroNow = store->readAsZero(b, s);
                readAsZero_[b * kLapsPerBlock + s] = zeroNow;
                if (bits == before && zeroNow == zeroBefore) continue;
                check(readingsMayFill, "a fuel reading changed by a packet or a datagram of the wrong size");
                check((before & 0x7FFFFFFFu) == 0 && !zeroBefore, "a fuel reading was overwritten");
                check(block.laps[s].PLID == tracker.session.sta.ViewPLID, "fuel recorded for another player");
                before = bits;
            }
        }
    }

    // Every block: at most 64 records, each of the block's own lap and not PLID 0, nothing behind them.
    FUZZ_UNCOUNTED static void wholeStoreInShape(const RaceLapStore& store) {
        for (std::size_t b = 0; b < store.blockCount(); ++b) {
            const LapBlock& block = *store.block(b);
            check(block.arrivals <= kLapsPerBlock, "more than 64 records in a block");
            for (std::size_t s = 0; s < kLapsPerBlock; ++s) {
                const IS_LAP& record = block.laps[s];
                if (s < block.arrivals) check(record.PLID != 0 && record.LapsDone == b + 1, "a record in the wrong block");
                else check(record.PLID == 0 && block.fuel[s] == 0.0f, "a slot behind the records is not empty");
            }
        }
    }

    static void check(bool holds, const char* what) {
        if (holds) return;
        std::fprintf(stderr, "invariant violated: %s\n", what);
        std::fflush(stderr);
        __builtin_trap();
    }

    static constexpr std::size_t kMaxLongRaceLaps = 1000;  // RaceLaps 190 with long races read

    transcript::Recorder out_;
    std::set<std::tuple<std::uint32_t, std::uint8_t, std::uint16_t>> typedLines_;  // race, PLID, LapsDone
    std::set<std::pair<std::uint32_t, std::uint8_t>> flagged_;  // race, PLID: the cars that took their flag
    const RaceLapStore* seenStore_ = nullptr;  // the store as the last step left it
    std::uint32_t seenRaces_ = 0;
    std::vector<std::uint8_t> arrivals_;  // its records a block
    std::vector<std::uint32_t> fuel_;     // and its readings, bit for bit, so a change of any value, NaN included, shows
    std::vector<bool> readAsZero_;        // and the slots whose reading of 0 was taken as read
};

// The settings prefix of an input and then its steps, in a session of those settings; false when the
// input is too short for the prefix.
template <class Steps>
bool runInput(const std::uint8_t* data, std::size_t size, Steps steps) {
    Config read;
    if (!readPrefix(data, size, read)) return false;
    Session session(read);
    Input in{data, size, kPrefixBytes};
    steps(session, in);
    session.finish();
    return true;
}

}  // namespace fuzzing
