// Lap, split and result registration: stores race laps by lap, keeps qualifying bests,
// works out the viewed player's qualifying standings and hands the viewed player's lap line to the pitboard.
#include "race/handlers.h"
#include "strategy/pitboard.h"

namespace {

constexpr std::uint8_t kRace = 1;
constexpr std::uint8_t kQualifying = 2;
constexpr std::uint8_t kNotInTable = 255;  // ResultNum of a result the simulator did not add to its table

// Stores the record in the block of its lap; false when it cannot be stored: no store, PLID 0 or
// lap 0 (they name no player and no block), a lap beyond the race length or beyond the blocks created,
// or a full block. A stored PLID 0 would end the block's list early and hide the records behind it.
bool storeLap(Tracker& tracker, const IS_LAP& packet) {
    const std::uint16_t lap = packet.LapsDone;
    if (!tracker.pLaps || packet.PLID == 0 || lap == 0 || lap > tracker.session.sta.RaceLaps) return false;
    LapBlock* block = tracker.pLaps->block(lap - 1u);
    if (block == nullptr || block->arrivals >= kLapsPerBlock) return false;
    block->laps[block->arrivals] = packet;
    ++block->arrivals;
    return true;
}

// A slot that holds a result: BTime 0 marks an empty one.
bool occupied(const IS_RES& slot) { return slot.BTime != 0; }

// The player's stored result among the slots new results go into; nullptr when he has none.
// A player has at most one, because a worse result never adds a second.
IS_RES* playerSlot(QualifyingStore& store, std::uint8_t plid) {
    for (std::size_t i = 0; i < kUsedResultSlots; ++i) {
        IS_RES& slot = store.results[i];
        if (occupied(slot) && slot.PLID == plid) return &slot;
    }
    return nullptr;
}

IS_RES* firstEmptySlot(QualifyingStore& store) {
    for (std::size_t i = 0; i < kUsedResultSlots; ++i) {
        if (!occupied(store.results[i])) return &store.results[i];
    }
    return nullptr;
}

// Keeps the player's best: a first result takes an empty slot, an equal or better one replaces
// the stored one, a worse one changes nothing.
void storeResult(QualifyingStore& store, const IS_RES& packet, Port& port) {
    // A result without a best lap would read as an empty slot: storing it would lose the player's best.
    if (packet.BTime == 0) {
        printLine(port, "Result of PLID ", packet.PLID, " has no best lap. Not stored.");
        return;
    }
    if (IS_RES* stored = playerSlot(store, packet.PLID)) {
        if (stored->BTime >= packet.BTime) {
            printLine(port, "Updating PLID ", packet.PLID, " time: ", packet.BTime);
            *stored = packet;
        }
        return;
    }
    printLine(port, "New result for ", packet.PLID, ": ", packet.BTime);
    if (IS_RES* empty = firstEmptySlot(store)) *empty = packet;  // a full store drops it
}

// Qualifying position and the gaps to the nearest better and worse best laps of the other players.
// Slot order plays no part, and the player's own slot is never counted against him.
void workOutStandings(Tracker& tracker, const IS_RES& packet, Port& port) {
    tracker.previousBoard = tracker.latestBoard;
    BoardData& board = tracker.latestBoard;
    board.plid = packet.PLID;

    QualifyingStore& store = *tracker.qualifying;
    const IS_RES* own = playerSlot(store, packet.PLID);
    std::uint32_t best = 0;
    if (own != nullptr && own->BTime <= packet.BTime) {
        best = own->BTime;
    } else {
        printLine(port, "Caution: Best Lap Yet == 0!");
        best = packet.BTime;
    }
    board.lapTime = packet.BTime;
    board.lap = static_cast<std::uint8_t>(packet.LapsDone & 0xFF);

    std::uint16_t better = 0;
    std::uint32_t nearestBetter = 0;  // 0: nobody is better
    std::uint32_t nearestWorse = 0;   // 0: nobody is worse
    for (std::size_t i = 0; i < kUsedResultSlots; ++i) {
        const IS_RES& slot = store.results[i];
        if (!occupied(slot) || slot.PLID == packet.PLID) continue;
        if (slot.BTime < best) {
            ++better;
            if (slot.BTime > nearestBetter) nearestBetter = slot.BTime;
        } else if (slot.BTime > best && (nearestWorse == 0 || slot.BTime < nearestWorse)) {
            nearestWorse = slot.BTime;
        }
    }
    board.position = static_cast<std::uint16_t>(better + 1);  // equal times share a position
    board.gapAhead = nearestBetter != 0 ? best - nearestBetter : 0;
    board.gapBehind = nearestWorse != 0 ? nearestWorse - best : 0;
}

void printLapTimeLine(Port& port, std::uint8_t plid, std::uint32_t ms) {
    std::string time;
    appendConsoleTime(time, ms);
    printLine(port, "New registered laptime by PLID ", plid, ": ", time);
}

}  // namespace

void appendConsoleTime(std::string& out, std::uint32_t ms) {
    appendValue(out, ms / 60000);
    out += ':';
    appendValue(out, (ms / 1000) % 60);
    out += '.';
    appendValue(out, (ms % 1000) / 10);
}

void onLap(Tracker& tracker, const IS_LAP& packet, Port& port) {
    SessionState& session = tracker.session;
    if (!session.tracking) return;
    const IS_STA& sta = session.sta;
    const bool viewed = packet.PLID != 0 && packet.PLID == sta.ViewPLID;  // ViewPLID 0: nobody is viewed
    if (sta.RaceInProg == kQualifying) {
        // Nothing of a qualifying lap is kept: the results carry the bests. Until a result of the
        // viewed player has been worked out there is no board to show.
        if (viewed && tracker.previousBoard.lapTime != 0) showQualifyingBoard(tracker, port);
        return;
    }
    if (sta.RaceInProg != kRace) return;

    printLapTimeLine(port, packet.PLID, packet.LTime);
    if (!storeLap(tracker, packet)) printLine(port, "Memory allocation error!");

    const std::uint16_t lap = packet.LapsDone;
    if (lap > sta.RaceLaps) {
        printLine(port, "More laps than allocated! Ending tracking! Clearing buttons!");
        session.tracking = false;  // the store stays until the next restart or session end
        clearButtons(port);
        return;
    }
    // The board describes the lap before this one; it is built even when this record was refused
    // for a full block, but never from a block the store does not have.
    if (viewed && lap >= 2 && tracker.pLaps && tracker.pLaps->block(lap - 2u) != nullptr) {
        showRaceBoard(tracker, packet, port);
    }
}

void onSplit(Tracker& tracker, const IS_SPX& packet, Port& port) {
    // The board shown at the lap line goes at the viewed car's next split, whatever the session.
    if (packet.PLID == tracker.session.sta.ViewPLID) clearButtons(port);
}

void onResult(Tracker& tracker, const IS_RES& packet, Port& port) {
    const SessionState& session = tracker.session;
    if (!session.tracking || session.sta.RaceInProg != kQualifying || !tracker.qualifying) return;

    printLapTimeLine(port, packet.PLID, packet.BTime);
    if (packet.ResultNum == kNotInTable) {
        printLine(port, packet.PLID, " failed to improve.");
    } else {
        printLine(port, "ResultNum: ", packet.ResultNum + 1, " recieved.");
        storeResult(*tracker.qualifying, packet, port);
    }
    if (packet.PLID == session.sta.ViewPLID) workOutStandings(tracker, packet, port);
}
