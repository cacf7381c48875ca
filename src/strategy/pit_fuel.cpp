// Setting the pit-stop fuel amount by typing it into the pit menu, once per lap line at most, and with
// the guard on only while typing is safe: the check and the typing are here and nowhere else.
#include "strategy/pit_fuel.h"

#include <cmath>
#include <cstring>
#include <string>

#include "link/outgoing.h"

namespace {

// The key of the panel the driver has beside the driving view, F9, F10 or F11 (SubModes 1 to 3), or
// nullptr. The F12 screen replaces such a panel, so typing over it is safe, and it is shown again after.
const char* panelKey(const PitGuard& guard) {
    static constexpr const char* kPanelKeys[] = {"F9", "F10", "F11"};
    if (!guard.on || guard.mode != CIM_NORMAL || guard.subMode == 0 || guard.subMode >= NRM_PIT_INSTRUCTIONS) {
        return nullptr;
    }
    return kPanelKeys[guard.subMode - 1];
}

// Why typing now would not be safe, or nullptr when it is: keys typed while a screen, a dialog or a text
// entry is open land there, and a new amount while the car stands in its box can cut its refuelling short.
const char* unsafeBecause(const PitGuard& guard, const IS_STA& sta) {
    if (!guard.on) return nullptr;
    if (guard.mode != CIM_NORMAL || (guard.subMode != 0 && !panelKey(guard))) return "a screen is open";
    if ((sta.Flags & ISS_DIALOG) != 0) return "a dialog is open";
    if ((sta.Flags & ISS_TEXT_ENTRY) != 0) return "a text entry is open";
    if (guard.inBox[sta.ViewPLID]) return "the car is in its pit box";
    if (!localDrives(guard, sta.ViewPLID)) return "another driver is in the car";
    return nullptr;
}

// The batch for `amount` and its console lines.
void typeAmount(PitGuard& guard, unsigned amount, Output& out) {
    printLine(out, "Setting fuel to ", amount, "%");
    const std::size_t size = sendPressBatch(out, amount);
    printLine(out, size, " bytes sent.");
    if (const char* key = panelKey(guard)) sendPress(out, key);  // the batch's last F12 took the panel away
    guard.lastTyped = amount;
    guard.held = 0;
}

std::string adviceOf(unsigned amount) {
    std::string advice = "SET ";
    appendValue(advice, amount);
    advice += "% F";
    return advice;
}

}  // namespace

bool localDrives(const PitGuard& guard, byte plid) {
    return !guard.localUcid || !guard.driverKnown[plid] || guard.driver[plid] == *guard.localUcid;
}

unsigned pitFuelAmount(float need, unsigned most) {
    // In double so that a need stored just below a whole percentage keeps that percentage.
    const double percent = static_cast<double>(need) * 100.0;
    if (std::isnan(percent)) return 0;  // no amount can be typed for an unknown need
    // Checked before the conversion: an out-of-range double has no integer value.
    if (percent >= static_cast<double>(most)) return most;
    if (percent < 0.0) return 1;  // nothing needed: the lowest setting
    return static_cast<unsigned>(percent) + 1;
}

namespace {

std::uint32_t lineOf(const IS_LAP& lap) { return std::uint32_t{lap.PLID} << 16 | lap.LapsDone; }

// A lap line repeated by the stream types nothing more, however late it comes again; nor does a line of a
// car after its flag.
bool cameAgain(const PitFuelState& state, const Tracker& tracker, const IS_LAP& lap, Output& out) {
    if (state.flagRace == tracker.races && state.flagged.test(lap.PLID)) {
        diagnose(out, "lap ", lap.LapsDone, " of PLID ", lap.PLID, " came after its flag: no pit fuel is typed");
        return true;
    }
    const std::uint32_t line = lineOf(lap);
    if (state.race == tracker.races && state.lines.count(line) != 0) {
        diagnose(out, "lap ", lap.LapsDone, " of PLID ", lap.PLID, " came again: its pit fuel is not typed twice");
        return true;
    }
    return false;
}

// The amount typed, or held while typing is not safe, at the line of `lap`, and the board's advice.
unsigned typeOrHold(PitFuelState& state, Tracker& tracker, const IS_LAP& lap, unsigned amount, bool adviseHeld,
                    Output& out) {
    const std::uint32_t line = lineOf(lap);
    if (state.race != tracker.races) state.lines.clear();
    state.lines.insert(line);
    state.race = tracker.races;
    state.plid = lap.PLID;
    state.lap = lap.LapsDone;
    unsigned typed = 0;
    if (const char* reason = unsafeBecause(state.guard, tracker.session.sta)) {
        printLine(out, "Pit fuel held: ", reason);
        state.guard.held = amount;
        if (!adviseHeld) return 0;
    } else {
        typeAmount(state.guard, amount, out);
        state.typed = {state.race, state.plid, amount};
        typed = amount;
    }

    // The board shows the amount decided, typed or held: the driver may set it by hand.
    const std::string advice = adviceOf(amount);
    print(out, "Set Advice: ", advice);
    // At most "SET 100% F": 10 characters and the terminator fit.
    std::memcpy(tracker.latestBoard.advice, advice.c_str(), advice.size() + 1);
    return typed;
}

}  // namespace

unsigned setPitFuel(PitFuelState& state, Tracker& tracker, const IS_LAP& lap, float need, bool adviseHeld, Output& out) {
    if (cameAgain(state, tracker, lap, out)) return 0;
    const unsigned amount = pitFuelAmount(need);
    if (amount == 0) {
        printLine(out, "Fuel need unknown! Pit fuel not set.");
        return 0;
    }
    return typeOrHold(state, tracker, lap, amount, adviseHeld, out);
}

unsigned setPlannedPitFuel(PitFuelState& state, Tracker& tracker, const IS_LAP& lap, unsigned amount, Output& out) {
    if (cameAgain(state, tracker, lap, out)) return 0;
    return typeOrHold(state, tracker, lap, amount, false, out);
}

unsigned amountSet(const PitFuelState& state, std::uint32_t race, std::uint8_t plid) {
    const bool ours = state.typed.race == race && state.typed.plid == plid;
    return ours && state.guard.held == 0 ? state.typed.amount : 0;
}

void noteFlagTaken(PitFuelState& state, std::uint32_t race, std::uint8_t plid) {
    if (state.flagRace != race) state.flagged.reset();
    state.flagRace = race;
    state.flagged.set(plid);
}

void typeHeldPitFuel(PitFuelState& state, const Tracker& tracker, Output& out) {
    if (state.guard.held == 0 || unsafeBecause(state.guard, tracker.session.sta) != nullptr) return;
    const unsigned amount = state.guard.held;
    typeAmount(state.guard, amount, out);
    state.typed = {state.race, state.plid, amount};
    // Outside a lap line: no board report follows to end the line, and the board already showed the advice.
    printLine(out, "Set Advice: ", adviceOf(amount));
}

void dropHeldPitFuel(PitFuelState& state, std::string_view why, Output& out) {
    if (state.guard.held == 0) return;
    state.guard.held = 0;
    printLine(out, "Pit fuel dropped: ", why);
}
