// Setting the pit-stop fuel amount: the one place where the program types into the game, a batch of
// "/press" commands at most once per lap line, held while typing is not safe when the guard is on.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <set>
#include <string_view>

#include "link/outgoing.h"
#include "link/output.h"
#include "link/wire.h"
#include "race/tracker.h"

// What the pit guard knows of the game, from the packets pit_guard.cpp follows, and the amount it holds.
struct PitGuard {
    bool on = false;            // <Pit guard>, with InSim 8 or later accepted
    byte mode = CIM_NORMAL;     // the local interface from the last IS_CIM of UCID 0: until one comes,
    byte subMode = 0;           // the plain driving view
    std::bitset<256> inBox;     // by PLID: from its IS_PIT until its IS_PSF or its IS_PLA with PITLANE_EXIT
    unsigned held = 0;          // percent waiting to be typed for the lap line of PitFuelState; 0: none
    unsigned lastTyped = 0;     // the last amount typed since the last restart; 0: none
    // Who drives: the keys go to the local connection, which may be spectating its team's car. Until an
    // IS_NCN names the local connection and an IS_NPL or IS_TOC the driver of the car, the local one drives.
    std::optional<byte> localUcid;   // the connection without the remote bit
    std::bitset<256> driverKnown;    // by PLID
    std::array<byte, 256> driver{};  // by PLID: the connection driving the car
};
// The local connection drives the car, or who drives it is not known.
bool localDrives(const PitGuard& guard, byte plid);

// The lap line the pit fuel was last typed or held at, every line of this race it was typed or held at,
// so that a line repeated by the stream types nothing more, however late it comes again, and the guard.
struct PitFuelState {
    std::uint32_t race = 0;  // Tracker::races at that line
    std::uint8_t plid = 0;
    std::uint16_t lap = 0;   // LapsDone; 0: nothing typed yet
    std::set<std::uint32_t> lines;  // of race `race`: PLID << 16 | LapsDone
    std::uint32_t flagRace = 0;     // the race of `flagged`
    std::bitset<256> flagged;       // by PLID: the cars that took their flag in it
    PitGuard guard;
    struct Typed {                  // the amount last typed into the pit menu, and for which car of which race
        std::uint32_t race = 0;
        std::uint8_t plid = 0;
        unsigned amount = 0;        // percent; 0: none
    } typed;
};

// Types the amount for `need` (fraction of a full tank) at the lap line of `lap` and writes the advice
// into latestBoard.advice; nothing when it was typed at that line already. With the guard on and typing
// not safe, says why ("Pit fuel held: ...") and holds the amount instead, replacing one held before; its
// advice goes on the board with `adviseHeld` only. Returns the amount typed in percent, 0 when none was.
unsigned setPitFuel(PitFuelState& state, Tracker& tracker, const IS_LAP& lap, float need, bool adviseHeld, Output& out);
// The same for an amount in percent the stint plan decided; a held one's advice stays off the board.
unsigned setPlannedPitFuel(PitFuelState& state, Tracker& tracker, const IS_LAP& lap, unsigned amount, Output& out);
// The amount the car's pit menu holds as typed in race `race`; 0 when none was, or while a newer one is held.
unsigned amountSet(const PitFuelState& state, std::uint32_t race, std::uint8_t plid);
// The car of `plid` took its flag in race `race`: nothing is typed for it in that race from now on, however
// its lines come after.
void noteFlagTaken(PitFuelState& state, std::uint32_t race, std::uint8_t plid);
// Types the held amount if typing has become safe; called by every packet that may make it so.
void typeHeldPitFuel(PitFuelState& state, const Tracker& tracker, Output& out);
// Forgets the held amount, if any, saying why.
void dropHeldPitFuel(PitFuelState& state, std::string_view why, Output& out);

// The amount in percent set for a need: need x 100 truncated, plus one, at most `most` (99, or 100 for a
// planned stop that fills the tank); 1 for a need of zero or less, 0 (nothing to set) for a NaN.
unsigned pitFuelAmount(float need, unsigned most = kMaxPitFuelAmount);
