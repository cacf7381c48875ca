// When the stint plan's amount goes into the pit menu, and the board's advice with the plan on: a batch is
// some 200 key presses, so an amount that wobbles by a point or two from lap to lap is not typed again.
#include "strategy/plan_typing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "link/outgoing.h"

namespace {

constexpr unsigned kAmountMoves = 3;  // points the plan's amount falls by before it is typed again

}  // namespace

unsigned plannedAmountDue(PlanTyped& typed, const PitFuelState& state, std::uint32_t race, const IS_LAP& lap,
                          const StintPlan& plan, unsigned countSaid, const FuelSettings& settings) {
    if (plan.stops == 0 || plan.mandatory || !plan.inWindow) return 0;
    const unsigned amount = plannedPercent(plan.fuel, settings);
    const bool sameStint = typed.race == race && typed.plid == lap.PLID && typed.stint == lap.NumStops;
    const unsigned moved = std::max(amount, typed.amount) - std::min(amount, typed.amount);
    const bool standing = state.guard.held != 0 || amountSet(state, race, lap.PLID) == typed.amount;
    // A rise is typed however small: the menu left lower would stop the car short of the flag.
    const bool rose = amount > typed.amount;
    if (sameStint && countSaid == typed.stops && !rose && moved < kAmountMoves && standing) return 0;
    typed = {race, lap.PLID, lap.NumStops, countSaid, amount};
    return amount;
}

void advisePlan(BoardData& board, const StintPlan& plan, unsigned amountSet) {
    if (board.advice[0] != '\0' || (plan.stops == 0 && plan.saveUse == 0.0f)) return;
    std::string advice;
    if (plan.stops == 0) {  // no stop for the reserve alone: the use a lap that keeps it
        char save[24];
        std::snprintf(save, sizeof save, "SAVE %.2f%%", static_cast<double>(plan.saveUse) * 100.0);
        advice = save;
    } else if (!plan.inWindow || plan.mandatory || amountSet == 0) {
        advice = "BOX ";
        appendValue(advice, plan.windowFrom);
        advice += '-';
        appendValue(advice, plan.windowTo);
    } else {
        advice = "SET ";
        appendValue(advice, amountSet);
        advice += "% F";
    }
    const std::size_t length = std::min(advice.size(), sizeof board.advice - 1);
    std::memcpy(board.advice, advice.data(), length);
    board.advice[length] = '\0';
}
