// What race tracking keeps for the run: the session state, the lap and qualifying stores and the two boards.
// One plain record, so the program holds one and a test can start from a fresh one.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/wire.h"

struct SessionState {
    IS_STA sta{};               // the last IS_STA, copied whole; all zero until the first
    bool tracking = false;      // a race or qualifying session is being followed
    bool mustPit = false;       // the current race was started with HOSTF_MUST_PIT
    std::uint32_t currentTime = 0;  // Time of the last accepted OutGauge datagram, ms
    word insimVersion = 0;      // the version the simulator answered in the handshake
};

constexpr std::size_t kLapsPerBlock = 64;    // lap records one lap can hold
constexpr std::size_t kMaxRaceLaps = 99;     // race lengths counted in single laps

struct LapBlock {                       // the lap records of one lap, in order of arrival at the line
    std::uint8_t arrivals;              // records stored, 0 to 64
    IS_LAP laps[kLapsPerBlock];         // laps[k]: the (k+1)-th car to complete this lap; PLID 0 ends the list
    float fuel[kLapsPerBlock];          // viewed player's fuel at the line of laps[k]; 0 = not recorded
};
static_assert(sizeof(LapBlock) == 1540, "the restart report counts 1540 bytes a lap");

// The player's slot in the block: his place at that lap line, counted from 0. A player has one record a block.
inline std::optional<std::size_t> slotOf(const LapBlock& block, std::uint8_t plid) {
    const std::size_t arrivals = block.arrivals < kLapsPerBlock ? block.arrivals : kLapsPerBlock;
    for (std::size_t s = 0; s < arrivals; ++s) {
        if (block.laps[s].PLID == plid) return s;
    }
    return std::nullopt;
}

// How long a race is and in what: laps, or hours of race time counted to the leader's line.
struct RaceLength {
    enum Kind { Laps, Hours } kind = Laps;
    unsigned count = 0;  // laps, or hours
};

// One LapBlock per lap of the race; block i holds the records of lap i + 1. A lap race's store has a
// block for every lap from the start, and every access is bounded by that count. A timed race's store
// grows a block at a time, as the leader starts each lap, up to kMaxTimedRaceLaps. Blocks are made in
// chunks, so a growing store never moves the blocks it has. The store keeps the length and kind its
// race started with.
class RaceLapStore {
public:
    static constexpr std::size_t kChunkBlocks = 64;
    static constexpr std::size_t kMaxTimedRaceLaps = 20000;  // 48 hours of laps of under 9 seconds

    explicit RaceLapStore(RaceLength length) : length_(length) {
        if (length.kind == RaceLength::Laps) blockCount_ = length.count;
        while (chunks_.size() * kChunkBlocks < blockCount_) addChunk();
    }

    RaceLength length() const { return length_; }
    std::size_t blockCount() const { return blockCount_; }
    LapBlock* block(std::size_t index) { return index < blockCount_ ? at(index) : nullptr; }
    const LapBlock* block(std::size_t index) const {
        return index < blockCount_ ? &chunks_[index / kChunkBlocks][index % kChunkBlocks] : nullptr;
    }
    // The block of lap `index` + 1 for a record to be stored in: in a timed race the next lap's block
    // is made when its first record comes (and in a race joined late, the blocks of the laps before it,
    // empty); nullptr when there is none and none can be made.
    LapBlock* blockToStore(std::size_t index) {
        while (index >= blockCount_ && length_.kind == RaceLength::Hours && blockCount_ < kMaxTimedRaceLaps) {
            if (blockCount_ == chunks_.size() * kChunkBlocks) addChunk();
            ++blockCount_;
        }
        return block(index);
    }

    // A fuel slot holding 0 reads as not recorded; a reading that was 0 itself is noted here, by block
    // and slot, where the race takes it as read.
    bool readAsZero(std::size_t index, std::size_t slot) const {
        return index < blockCount_ && (zeroReadings_[index] >> slot & 1u) != 0;
    }
    void noteReadAsZero(std::size_t index, std::size_t slot) {
        if (index < blockCount_) zeroReadings_[index] |= std::uint64_t{1} << slot;
    }

    // A timed race ends at the leader's first line at or after its time: its elapsed time then.
    std::uint32_t finishTime = 0;  // 0: not yet
    bool finished() const { return finishTime != 0; }

    // Laps that cars completed while the program was not there to see (before it joined the race, or
    // while the link was down) lack those records: an arrival in their blocks is no place, and the gap
    // to the record beside it no gap. Blocks partialFrom to partialTo - 1; every block from partialFrom
    // on while the cars' laps are not known yet.
    static constexpr std::size_t kLapsNotKnown = static_cast<std::size_t>(-1);
    std::size_t partialFrom = 0;
    std::size_t partialTo = 0;
    bool partial(std::size_t index) const { return index >= partialFrom && index < partialTo; }

private:
    void addChunk() {
        chunks_.push_back(std::make_unique<LapBlock[]>(kChunkBlocks));  // every byte zero
        zeroReadings_.resize(chunks_.size() * kChunkBlocks);
    }
    LapBlock* at(std::size_t index) { return &chunks_[index / kChunkBlocks][index % kChunkBlocks]; }

    RaceLength length_;
    std::size_t blockCount_ = 0;
    std::vector<std::unique_ptr<LapBlock[]>> chunks_;
    std::vector<std::uint64_t> zeroReadings_;  // a bit per slot of each block
};
static_assert(kLapsPerBlock <= 64, "a block's zero readings are bits of one 64-bit word");

constexpr std::size_t kResultSlots = 256;   // slots of a qualifying store
constexpr std::size_t kUsedResultSlots = 255;  // new results go only into the first 255

struct QualifyingStore {
    IS_RES results[kResultSlots]{};  // one result per slot; BTime 0 = empty
};

struct BoardData {                 // the content of one pitboard
    std::uint8_t plid = 0;         // the player the board is about
    std::uint16_t position = 0;    // 1 = first
    std::uint16_t lap = 0;         // lap number shown
    std::uint16_t raceLaps = 0;    // race length, laps; races only
    bool raceLapsEstimated = false;  // a timed race's: what the car will have done at the flag
    std::uint32_t lapTime = 0;     // ms
    std::uint32_t gapAhead = 0;    // ms to the car ahead, 0 = none
    std::uint32_t gapBehind = 0;   // ms to the car behind, 0 = none
    bool placeUnknown = false;     // built from a partial lap: position and gaps are not known
    char marker[4] = {};           // "PIT", "D/T", "S&G", three spaces or empty
    char advice[16] = {};          // AdviceText: the advice line, NUL-terminated ("BOX 65535-65535" the longest)
    std::uint32_t shownAt = 0;     // OutGauge time the board was shown, 0 = not shown
};

// Where the OutGauge step's next scan for the viewed player's unrecorded lap lines starts: below
// `from` none waits for a reading, while the race, the viewed player and the bound stay those of the
// last scan. A record of the viewed player stored later lowers it. So an idle race costs a comparison,
// and a long one a look at the laps still in progress, not a walk of every lap.
struct FuelScan {
    std::uint32_t race = 0;      // Tracker::races when it was made
    std::uint8_t viewPlid = 0;
    std::size_t blocks = 0;      // the bound it scanned to
    std::size_t from = 0;
};

// The lines of the board last sent, by ClickID 1 to 4, as the game shows them: colour codes kept, the spaces
// that pad a line over a longer one before it left out; nothing for a line not sent.
using BoardLines = std::array<std::optional<std::string>, 4>;

struct Tracker {                   // everything race tracking keeps, for the whole run
    SessionState session;
    std::unique_ptr<RaceLapStore> pLaps;          // present from a race restart to the next restart or session end
    std::unique_ptr<QualifyingStore> qualifying;  // present from a qualifying restart until the next replaces it
    BoardData latestBoard;         // the board being composed for the viewed player
    BoardData previousBoard;       // the board shown before it
    BoardLines boardLines;         // of the last board sent, race or qualifying
    std::uint32_t races = 0;       // race lap stores made since the program started
    bool longRaces = false;        // RaceLaps from 100 on is read as a long lap race or a timed race
    FuelScan fuelScan;             // the OutGauge step's own: what its last complete scan covered
};
