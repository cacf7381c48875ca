// Qualifying results: each player's best kept in the qualifying store, and the viewed player's
// standings (position, gaps to the nearest better and worse bests) worked out for his board.
#include "race/handlers.h"
#include "race/lap_time.h"

namespace {

constexpr std::uint8_t kNotInTable = 255;  // ResultNum of a result the simulator did not add to its table

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
void storeResult(QualifyingStore& store, const IS_RES& packet, Output& out) {
    // A result without a best lap would read as an empty slot: storing it would lose the player's best.
    if (packet.BTime == 0) {
        printLine(out, "Result of PLID ", packet.PLID, " has no best lap. Not stored.");
        return;
    }
    if (IS_RES* stored = playerSlot(store, packet.PLID)) {
        if (stored->BTime >= packet.BTime) {
            printLine(out, "Updating PLID ", packet.PLID, " time: ", packet.BTime);
            *stored = packet;
        }
        return;
    }
    printLine(out, "New result for ", packet.PLID, ": ", packet.BTime);
    if (IS_RES* empty = firstEmptySlot(store)) *empty = packet;  // a full store drops it
}

// Qualifying position and the gaps to the nearest better and worse best laps of the other players.
// Slot order plays no part, and the player's own slot is never counted against him.
void workOutStandings(Tracker& tracker, const IS_RES& packet, Output& out) {
    tracker.previousBoard = tracker.latestBoard;
    BoardData& board = tracker.latestBoard;
    board.plid = packet.PLID;

    QualifyingStore& store = *tracker.qualifying;
    const IS_RES* own = playerSlot(store, packet.PLID);
    std::uint32_t best = 0;
    if (own != nullptr && own->BTime <= packet.BTime) {
        best = own->BTime;
    } else {
        printLine(out, "Caution: Best Lap Yet == 0!");
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

}  // namespace

bool onResult(Tracker& tracker, const IS_RES& packet, Output& out) {
    const SessionState& session = tracker.session;
    if (!session.tracking || session.sta.RaceInProg != RIP_QUALIFYING || !tracker.qualifying) return false;

    printLapTimeLine(out, packet.PLID, packet.BTime);
    if (packet.ResultNum == kNotInTable) {
        printLine(out, packet.PLID, " failed to improve.");
    } else {
        printLine(out, "ResultNum: ", packet.ResultNum + 1, " recieved.");
        storeResult(*tracker.qualifying, packet, out);
    }
    if (packet.PLID == session.sta.ViewPLID) workOutStandings(tracker, packet, out);
    return true;
}
