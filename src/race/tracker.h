// What race tracking keeps for the run: the session state, the lap and qualifying stores and the two boards.
// One plain record, so the program holds one and a test can start from a fresh one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "link/wire.h"

struct SessionState {
    IS_STA sta{};               // the last IS_STA, copied whole; all zero until the first
    bool tracking = false;      // a race or qualifying session is being followed
    bool mustPit = false;       // the current race was started with HOSTF_MUST_PIT
    std::uint32_t currentTime = 0;  // Time of the last accepted OutGauge datagram, ms
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

// One LapBlock per lap of the race; block i holds the records of lap i + 1.
// The block count is the race length the store was created with, and every access is bounded by it.
class RaceLapStore {
public:
    explicit RaceLapStore(std::size_t blockCount)
        : blockCount_(blockCount), blocks_(std::make_unique<LapBlock[]>(blockCount)) {}

    std::size_t blockCount() const { return blockCount_; }
    LapBlock* block(std::size_t index) { return index < blockCount_ ? &blocks_[index] : nullptr; }
    const LapBlock* block(std::size_t index) const { return index < blockCount_ ? &blocks_[index] : nullptr; }

private:
    std::size_t blockCount_;
    std::unique_ptr<LapBlock[]> blocks_;  // value-initialised: every byte zero
};

constexpr std::size_t kResultSlots = 256;   // slots of a qualifying store
constexpr std::size_t kUsedResultSlots = 255;  // new results go only into the first 255

struct QualifyingStore {
    IS_RES results[kResultSlots]{};  // one result per slot; BTime 0 = empty
};

struct BoardData {                 // the content of one pitboard
    std::uint8_t plid = 0;         // the player the board is about
    std::uint16_t position = 0;    // 1 = first
    std::uint8_t lap = 0;          // lap number shown
    std::uint8_t raceLaps = 0;     // race length; races only
    std::uint32_t lapTime = 0;     // ms
    std::uint32_t gapAhead = 0;    // ms to the car ahead, 0 = none
    std::uint32_t gapBehind = 0;   // ms to the car behind, 0 = none
    char marker[4] = {};           // "PIT", "D/T", "S&G", three spaces or empty
    char advice[12] = {};          // AdviceText: the advice line, NUL-terminated
    std::uint32_t shownAt = 0;     // OutGauge time the board was shown, 0 = not shown
};

// What the OutGauge step's last scan for unrecorded fuel covered, when it left none behind. Records
// are never removed, so while the race, the count, the viewed player and the bound stay the same the
// next scan would find nothing: an idle race costs a comparison, not a walk of every lap.
struct FuelScan {
    std::uint32_t race = 0;          // Tracker::races when it was made
    std::size_t records = SIZE_MAX;  // SIZE_MAX: no complete scan yet
    std::uint8_t viewPlid = 0;
    std::size_t blocks = 0;
    bool operator==(const FuelScan&) const = default;
};

struct Tracker {                   // everything race tracking keeps, for the whole run
    SessionState session;
    std::unique_ptr<RaceLapStore> pLaps;          // present from a race restart to the next restart or session end
    std::unique_ptr<QualifyingStore> qualifying;  // present from a qualifying restart until the next replaces it
    BoardData latestBoard;         // the board being composed for the viewed player
    BoardData previousBoard;       // the board shown before it
    std::uint32_t races = 0;       // race lap stores made since the program started
    FuelScan fuelScan;             // the OutGauge step's own: what its last complete scan covered
};
