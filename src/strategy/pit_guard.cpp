// The pit guard's view of the game: the local screens, the cars standing in their pit boxes, who drives, and what a
// restart, a session end or a view change does to a held amount; the stop line of the viewed car.
#include "strategy/pit_guard.h"

namespace {

constexpr byte kFuelHidden = 255;  // IS_PIT FuelAdd when the host does not show the fuel

}  // namespace

void onInterfaceMode(PitFuelState& state, const Tracker& tracker, const IS_CIM& packet, Output& out) {
    if (packet.UCID != 0) return;  // another connection's screens: the keys go to the local one
    state.guard.mode = packet.Mode;
    state.guard.subMode = packet.SubMode;
    typeHeldPitFuel(state, tracker, out);
}

void onPitLane(PitFuelState& state, const Tracker& tracker, const IS_PLA& packet, Output& out) {
    if (packet.Fact != PITLANE_EXIT) return;
    state.guard.inBox.reset(packet.PLID);
    typeHeldPitFuel(state, tracker, out);
}

void onPitStopFinished(PitFuelState& state, const Tracker& tracker, const IS_PSF& packet, Output& out) {
    state.guard.inBox.reset(packet.PLID);
    typeHeldPitFuel(state, tracker, out);
}

void onLapLineOfCar(PitFuelState& state, const IS_LAP& packet) { state.guard.inBox.reset(packet.PLID); }

void onPitStop(PitFuelState& state, const Tracker& tracker, const IS_PIT& packet, Output& out) {
    state.guard.inBox.set(packet.PLID);
    if (packet.PLID == 0 || packet.PLID != tracker.session.sta.ViewPLID) return;
    if (packet.FuelAdd == kFuelHidden) {
        printLine(out, "Pit stop: fuel not shown.");
    } else if (state.guard.lastTyped == 0) {
        printLine(out, "Pit stop: adding ", packet.FuelAdd, "% fuel.");
    } else {
        printLine(out, "Pit stop: adding ", packet.FuelAdd, "% fuel (the menu was set to ", state.guard.lastTyped,
                  "%).");
    }
}

void onConnection(PitFuelState& state, const IS_NCN& packet) {
    if ((packet.Flags & NCN_REMOTE) == 0) state.guard.localUcid = packet.UCID;
}

void onPlayer(PitFuelState& state, const Tracker& tracker, const IS_NPL& packet, Output& out) {
    state.guard.driver[packet.PLID] = packet.UCID;
    state.guard.driverKnown.set(packet.PLID);
    // A car that joins again with the local driver in it: what was held while another drove it is typed.
    typeHeldPitFuel(state, tracker, out);
}

void onTakeOver(PitFuelState& state, const Tracker& tracker, const IS_TOC& packet, Output& out) {
    PitGuard& guard = state.guard;
    guard.driver[packet.PLID] = packet.NewUCID;
    guard.driverKnown.set(packet.PLID);
    if (packet.PLID == state.plid && !localDrives(guard, packet.PLID)) {
        dropHeldPitFuel(state, "another driver took the car", out);
    }
    typeHeldPitFuel(state, tracker, out);
}

void onPlayerLeaves(PitFuelState& state, const IS_PLL& packet) { state.guard.driverKnown.reset(packet.PLID); }

void afterState(PitFuelState& state, const Tracker& tracker, Output& out) {
    if (!state.guard.on) return;
    const IS_STA& sta = tracker.session.sta;
    if (sta.RaceInProg == RIP_NO_RACE) dropHeldPitFuel(state, "the session ended", out);
    if (sta.ViewPLID != state.plid) dropHeldPitFuel(state, "the view changed", out);
    typeHeldPitFuel(state, tracker, out);
}

void afterRestart(PitFuelState& state, Output& out) {
    if (!state.guard.on) return;
    state.guard.inBox.reset();
    state.guard.lastTyped = 0;
    dropHeldPitFuel(state, "the session restarted", out);
}
