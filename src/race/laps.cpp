// Race laps and splits: every car's lap stored in the block of its lap in order of arrival, the end of
// tracking past the race length, and the viewed car's standings at a line read back from its block.
#include <algorithm>

#include "link/outgoing.h"
#include "race/handlers.h"
#include "race/lap_time.h"
#include "race/race_length.h"

namespace {

enum class Stored { Yes, Refused, Repeated };

// Stores the record in the block of its lap. Refused: no store, PLID 0 or lap 0 (they name no player
// and no block), a lap beyond the race length or beyond the blocks created, or a full block; a stored
// PLID 0 would end the block's list early and hide the records behind it. Repeated: the player has a
// record in that block already; one lap line is one record, and a second would put every car behind
// it a place back.
Stored storeLap(Tracker& tracker, const IS_LAP& packet, const RaceLength& length) {
    const std::uint16_t lap = packet.LapsDone;
    const bool beyond = length.kind == RaceLength::Laps && lap > length.count;
    if (!tracker.pLaps || packet.PLID == 0 || lap == 0 || beyond) return Stored::Refused;
    LapBlock* block = tracker.pLaps->blockToStore(lap - 1u);
    if (block == nullptr) return Stored::Refused;
    if (slotOf(*block, packet.PLID)) return Stored::Repeated;
    if (block->arrivals >= kLapsPerBlock) return Stored::Refused;
    block->laps[block->arrivals] = packet;
    ++block->arrivals;
    // The viewed car's new line waits for a reading: the OutGauge step's next scan starts at its block.
    if (packet.PLID == tracker.session.sta.ViewPLID) {
        tracker.fuelScan.from = std::min<std::size_t>(tracker.fuelScan.from, lap - 1u);
    }
    return Stored::Yes;
}

// A timed race ends at the first line the leader crosses at or after its time: the first record
// stored in a lap's block is the leader's.
void noteTimedFinish(RaceLapStore& store, const IS_LAP& packet, const RaceLength& length) {
    if (length.kind != RaceLength::Hours || store.finished() || packet.LapsDone == 0) return;
    const LapBlock* block = store.block(packet.LapsDone - 1u);
    const bool leader = block != nullptr && block->arrivals == 1 && block->laps[0].PLID == packet.PLID;
    if (leader && packet.ETime >= length.count * 3600000ull) store.finishTime = packet.ETime;
}

// |a - b| with the difference taken as a signed 32-bit number: the magnitude is the negation modulo
// 2^32, which also covers the most negative value (2147483648) without a signed overflow.
std::uint32_t etimeGap(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t difference = a - b;
    return difference < 0x80000000u ? difference : 0u - difference;
}

}  // namespace

LapRegistered registerLap(Tracker& tracker, const IS_LAP& packet, Output& out) {
    SessionState& session = tracker.session;
    if (!session.tracking) return {};
    const IS_STA& sta = session.sta;
    const bool viewed = packet.PLID != 0 && packet.PLID == sta.ViewPLID;  // ViewPLID 0: nobody is viewed
    if (sta.RaceInProg == RIP_QUALIFYING) {
        // Nothing of a qualifying lap is kept: the results carry the bests. Until a result of the
        // viewed player has been worked out there is no board to show.
        return {viewed && tracker.previousBoard.lapTime != 0 ? BoardDue::Qualifying : BoardDue::None, 0, viewed};
    }
    if (sta.RaceInProg != RIP_RACE) return {};

    printLapTimeLine(out, packet.PLID, packet.LTime);
    const RaceLength length = raceLength(tracker);
    const Stored stored = storeLap(tracker, packet, length);
    if (stored != Stored::Yes) printLine(out, "Memory allocation error!");
    LapRegistered registered{BoardDue::None, 0, viewed};
    if (stored == Stored::Yes) {
        // Stored last in the block of its lap: its place is the block's count of arrivals.
        registered.position = tracker.pLaps->block(packet.LapsDone - 1u)->arrivals;
        noteTimedFinish(*tracker.pLaps, packet, length);
    }

    // A timed race is tracked to the session's end; a lap race ends at a lap beyond its length.
    const std::uint16_t lap = packet.LapsDone;
    if (length.kind == RaceLength::Laps && lap > length.count) {
        printLine(out, "More laps than allocated! Ending tracking! Clearing buttons!");
        session.tracking = false;  // the store stays until the next restart or session end
        clearButtons(out);
        return registered;
    }
    // The board describes the lap before this one; it is built even when this record was refused
    // for a full block, but never from a block the store does not have, and never twice for one line.
    const LapBlock* before = lap >= 2 && tracker.pLaps ? tracker.pLaps->block(lap - 2u) : nullptr;
    // A partial lap that lacks the car's own record tells nothing of it: no board.
    const bool known = before != nullptr && (!tracker.pLaps->partial(lap - 2u) || slotOf(*before, packet.PLID));
    const bool boardDue = viewed && stored != Stored::Repeated && known;
    if (boardDue) registered.board = BoardDue::Race;
    if (stored == Stored::Yes && tracker.pLaps->partial(lap - 1u)) registered.placeUnknown = true;
    return registered;
}

std::optional<std::size_t> findStandings(Tracker& tracker, const IS_LAP& packet, Output& out) {
    // The block of the lap before; a lap before the second, or one past the blocks the store was
    // created with, has none.
    const LapBlock* block = nullptr;
    if (tracker.pLaps && packet.LapsDone >= 2) block = tracker.pLaps->block(packet.LapsDone - 2u);
    const std::size_t arrivals = block != nullptr ? std::min<std::size_t>(block->arrivals, kLapsPerBlock) : 0;
    printLine(out, "Searching in ", arrivals, " results.");
    const std::optional<std::size_t> slot = block != nullptr ? slotOf(*block, packet.PLID) : std::nullopt;
    if (!slot) return std::nullopt;

    // Arrival order at the line is the race order, so the neighbours in the block are the cars around.
    const std::size_t i = *slot;
    BoardData& board = tracker.latestBoard;
    // In a partial lap the cars around are not known: the lap time is all the board can tell.
    board.placeUnknown = tracker.pLaps->partial(packet.LapsDone - 2u);
    if (board.placeUnknown) {
        board.position = 0;
        board.gapAhead = 0;
        board.gapBehind = 0;
        board.lapTime = block->laps[i].LTime;
        return slot;
    }
    board.gapAhead = i == 0 ? 0 : etimeGap(block->laps[i].ETime, block->laps[i - 1].ETime);
    board.gapBehind = i + 1 == arrivals ? 0 : etimeGap(block->laps[i + 1].ETime, block->laps[i].ETime);
    board.position = static_cast<std::uint16_t>(i + 1);
    board.lapTime = block->laps[i].LTime;
    return slot;
}

void onSplit(Tracker& tracker, const IS_SPX& packet, Output& out) {
    // The board shown at the lap line goes at the viewed car's next split, whatever the session.
    if (packet.PLID == tracker.session.sta.ViewPLID) clearButtons(out);
}
