// The pit guard's view of the game: the local screens, the cars standing in their pit boxes, who drives, and what a
// restart, a session end or a view change does to a held amount; the stop line of the viewed car.
#pragma once

#include "link/output.h"
#include "link/wire.h"
#include "race/tracker.h"
#include "strategy/pit_fuel.h"

// Each packet that may make typing safe types the held amount at once (typeHeldPitFuel).
void onInterfaceMode(PitFuelState& state, const Tracker& tracker, const IS_CIM& packet, Output& out);  // UCID 0 only
void onPitLane(PitFuelState& state, const Tracker& tracker, const IS_PLA& packet, Output& out);  // leaving it ends a stop
void onPitStopFinished(PitFuelState& state, const Tracker& tracker, const IS_PSF& packet, Output& out);
// A car at its lap line is out of its box, though the end of its stop never came (lost with the link, or not sent).
void onLapLineOfCar(PitFuelState& state, const IS_LAP& packet);
// The car stands in its box; for the viewed car, the "Pit stop: ..." line: what it takes and what was typed.
void onPitStop(PitFuelState& state, const Tracker& tracker, const IS_PIT& packet, Output& out);

// Who drives each car: the local connection from IS_NCN, a car's driver from IS_NPL, a driver swap from IS_TOC
// (the local driver taking the car types a held amount at once, as does an IS_NPL with him in it; one handing
// it away drops it), a car leaving the race from IS_PLL.
void onConnection(PitFuelState& state, const IS_NCN& packet);
void onPlayer(PitFuelState& state, const Tracker& tracker, const IS_NPL& packet, Output& out);
void onTakeOver(PitFuelState& state, const Tracker& tracker, const IS_TOC& packet, Output& out);
void onPlayerLeaves(PitFuelState& state, const IS_PLL& packet);

// After race tracking has taken an IS_STA: a session end or a view away from the held amount's car drops
// it, a dialog or text entry closed may type it. Nothing without the guard.
void afterState(PitFuelState& state, const Tracker& tracker, Output& out);
// After a restart: no car stands in its box, nothing was typed in this race, a held amount is dropped.
void afterRestart(PitFuelState& state, Output& out);
