// When the stint plan's amount goes into the pit menu: at the line that starts the window's first lap, and
// again only for a change that matters; and the board's advice, which says what the menu holds.
#pragma once

#include <cstdint>

#include "link/wire.h"
#include "race/tracker.h"
#include "strategy/fuel_settings.h"
#include "strategy/pit_fuel.h"
#include "strategy/plan.h"

// What the plan last typed or held: for which stint of which car in which race, and the count said then.
struct PlanTyped {
    std::uint32_t race = 0;  // Tracker::races; 0: nothing yet
    std::uint8_t plid = 0;
    unsigned stint = 0;      // the stops the car had made (NumStops) at that line
    unsigned stops = 0;      // the count of stops the console had said
    unsigned amount = 0;     // percent
};

// The plan's next amount in percent when it is to be typed at the line of `lap`, 0 otherwise. With a fuel
// stop left and the car in its window: at the stint's first such line, then only when the count said
// (`countSaid`) changes, when the amount moves by 3 points or more, or when it no longer stands in the
// menu nor is held (a held amount dropped).
unsigned plannedAmountDue(PlanTyped& typed, const PitFuelState& state, std::uint32_t race, const IS_LAP& lap,
                          const StintPlan& plan, unsigned countSaid, const FuelSettings& settings);

// The board's advice with a stop left: the window ("BOX 27-47") before it, while an amount is held and
// until one was typed; in the window the amount the car's pit menu holds, `amountSet` ("SET 77% F"); with no
// stop and the reserve short, the use a lap that keeps it ("SAVE 2.57%"). Nothing when an advice was written
// at this line already.
void advisePlan(BoardData& board, const StintPlan& plan, unsigned amountSet);
