// The stint plan: its arithmetic as a table, its console lines, and the board's advice and the amount
// typed at the lap lines of a race with the plan on.
#include <gtest/gtest.h>

#include <optional>

#include "strategy/plan.h"
#include "support/transcript.h"

using namespace transcript;

namespace {

struct PlanCase {
    const char* what;
    float level, use;
    unsigned lapsToGo;
    float reserve;
    Stints stints;
    bool mandatory;
    // Expected: stops, the next and the last stop's percent, the window, the saving's use (0: none).
    unsigned stops, fuel, lastFuel, from, to;
    float saving;
    float high = 0.0f;  // the highest use of the last five laps; 0: the use
    float save = 0.0f;  // expected: no stop, the use that keeps the reserve
    std::optional<unsigned> said{};  // the count said before
    unsigned lapsAStop = 0;   // the laps each stop's time takes away (a timed race)
};

// The viewed car's lap line `n` on a sixteenth of the tank a lap, from a full tank.
Script sixteenthLine(int n) { return lap(3, 60000, 60000u * n, n) + gauge(n, 1.0f - 0.0625f * n); }

// A race of `raceLaps` with the plan of `stints`, fed up to lap line `lines`; what it printed.
std::string raceUpTo(Program& program, Stints stints, int raceLaps, int lines) {
    program.stints = stints;
    Script start = race(raceLaps, 3);
    for (int n = 1; n <= lines; ++n) start = start + sixteenthLine(n);
    return feed(start, program);
}

}  // namespace

// At the line of lap 20, a tank of 1 and the stops made with the reserve left.
TEST(Plan, StopsFuelWindowAndSaving) {
    const PlanCase cases[] = {
        {"no stop", 0.5f, 0.04f, 10, 0.0f, Stints::Even, false, 0, 0, 0, 0, 0, 0.0f},
        // Fuel for 8 laps, not the reserve: no stop for it, but one when a recent lap burnt more.
        {"the reserve alone", 0.5f, 0.0625f, 8, 1.0f, Stints::Even, false, 0, 0, 0, 0, 0, 0.0f, 0.0f, 0.5f / 9},
        {"the highest lap makes a stop", 0.5f, 0.0625f, 8, 1.0f, Stints::Even, false, 1, 7, 7, 21, 27, 0.0f, 0.0626f},
        {"no stop with the reserve", 0.5f, 0.0625f, 7, 1.0f, Stints::Even, false, 0, 0, 0, 0, 0, 0.0f},
        // 14 laps, then tanks of 28 whole laps: the earliest stop after lap 24.
        {"two even", 0.5f, 0.0345f, 60, 0.0f, Stints::Even, false, 2, 79, 79, 24, 34, 0.0f},
        {"two full", 0.5f, 0.0345f, 60, 0.0f, Stints::Full, false, 2, 100, 59, 24, 34, 0.0f},
        {"five full", 0.3f, 0.05f, 100, 0.5f, Stints::Full, false, 5, 100, 93, 25, 25, 0.0f},
        {"five even", 0.3f, 0.05f, 100, 0.5f, Stints::Even, false, 5, 95, 95, 25, 25, 0.0f},
        // Stints of 19 whole laps down to the reserve: 5 + 19 + 19 + 19 laps do not reach 63.
        {"four full, whole stints", 0.31f, 0.05f, 63, 0.5f, Stints::Full, false, 4, 100, 6, 21, 25, 1.0f / 20.5f},
        // A tank gives 10 laps and leaves 6.25 %: stops at laps 23, 33 and 43 where the fuel would count two.
        {"the 3/32 tank", 0.28125f, 0.09375f, 24, 0.0f, Stints::Full, false, 3, 100, 10, 21, 23, 1.0f / 11},
        {"already in its window", 0.25f, 0.0625f, 17, 0.0f, Stints::Even, false, 1, 82, 82, 21, 24, 0.0f},
        // 5.5 % needed, but a stop takes a lap's use at the least.
        {"saving at 0.9 x the use", 0.5f, 0.0617f, 9, 0.0f, Stints::Even, false, 1, 7, 7, 21, 28, 0.5f / 9},
        {"saving just below it", 0.5f, 0.0618f, 9, 0.0f, Stints::Even, false, 1, 7, 7, 21, 28, 0.0f},
        {"mandatory, fuel enough", 0.5f, 0.04f, 10, 0.0f, Stints::Full, true, 1, 0, 0, 21, 29, 0.0f},
        {"mandatory among fuel stops", 0.5f, 0.0345f, 60, 0.0f, Stints::Even, true, 2, 79, 79, 24, 34, 0.0f},
        {"no tank lasts a lap", 0.5f, 0.99f, 60, 0.5f, Stints::Full, false, 0, 0, 0, 0, 0, 0.0f},
        // 14 laps, then tanks of 28 whole laps: 71 laps need three stops, and two at 1 % less a lap (29 laps a tank).
        {"three by the floor of the tank", 0.5f, 0.0345f, 71, 0.0f, Stints::Full, false, 3, 100, 4, 21, 34, 1.0f / 29},
        {"two said, kept within the noise", 0.5f, 0.0345f, 71, 0.0f, Stints::Full, false, 2, 100, 97, 34, 34, 0.0f,
         0.0f, 0.0f, 2},
        {"four said, not kept", 0.5f, 0.0345f, 71, 0.0f, Stints::Full, false, 3, 100, 4, 21, 34, 1.0f / 29, 0.0f, 0.0f, 4},
        {"one said, not kept", 0.5f, 0.0345f, 71, 0.0f, Stints::Full, false, 3, 100, 4, 21, 34, 1.0f / 29, 0.0f, 0.0f, 1},
        // 72 laps need three stops; but with two the car completes only 70, which two do.
        // Fuel for 8 laps and a quarter of the reserve: no stop once none was said, though a recent lap burnt more.
        {"a stop by the highest lap", 0.5f, 0.06f, 8, 0.5f, Stints::Even, false, 1, 6, 6, 21, 27, 0.5f / 8.5f, 0.065f},
        {"no stop said, kept", 0.5f, 0.06f, 8, 0.5f, Stints::Even, false, 0, 0, 0, 0, 0, 0.0f, 0.065f, 0.5f / 8.5f, 0},
        {"no stop said, half the reserve short", 0.49f, 0.06f, 8, 0.5f, Stints::Even, false, 1, 6, 6, 21, 27, 0.49f / 8.5f,
         0.065f, 0.0f, 0},
        {"each stop takes a lap away", 0.5f, 0.0345f, 72, 0.0f, Stints::Full, false, 2, 100, 94, 34, 34, 0.0f, 0.0f,
         0.0f, 0, 1},
    };
    for (const PlanCase& c : cases) {
        CarAtLine car{.estimated = true, .lapsDone = 20, .use = c.use, .highUse = c.high, .level = c.level,
                      .lapsToGo = c.lapsToGo, .mandatoryStopDue = c.mandatory};
        for (unsigned k = 0; k < kStopsTimed; ++k) car.lapsWithStops[k] = car.lapsFuelled[k] = c.lapsToGo - (k + 1) * c.lapsAStop;
        const FuelSettings settings{.reserve = c.reserve};
        const StintPlan plan = planStints(car, settings, c.stints, c.said);
        const unsigned fuel = plan.stops > 0 && !plan.mandatory ? plannedPercent(plan.fuel, settings) : 0;
        const unsigned lastFuel = plan.stops > 0 && !plan.mandatory ? plannedPercent(plan.lastFuel, settings) : 0;
        EXPECT_EQ(plan.stops, c.stops) << c.what;
        EXPECT_EQ(plan.mandatory, c.mandatory && c.stops == 1 && c.fuel == 0) << c.what;
        EXPECT_EQ(fuel, c.fuel) << c.what;
        EXPECT_EQ(lastFuel, c.lastFuel) << c.what;
        EXPECT_EQ(plan.windowFrom, c.from) << c.what;
        EXPECT_EQ(plan.windowTo, c.to) << c.what;
        EXPECT_NEAR(plan.savingUse, c.saving, 1e-5f) << c.what;
        EXPECT_NEAR(plan.saveUse, c.save, 1e-6f) << c.what;
    }
}

// At most a line a lap line: the first of a race, after a stop, a new count that held at two lines, the next
// amount moved by 3 points, the window opening; the saving once a stint, when lower as printed.
TEST(Plan, ConsoleLines) {
    const auto plan = [](unsigned stops, float fuel, float lastFuel, unsigned from, unsigned to, float saving = 0.0f,
                         bool inWindow = false) {
        return StintPlan{.made = true, .use = 0.034f, .stops = stops, .fuel = fuel, .lastFuel = lastFuel,
                         .windowFrom = from, .windowTo = to, .inWindow = inWindow, .savingUse = saving};
    };
    const StintPlan spare{.made = true, .spareLaps = 1.44f};
    const StintPlan save{.made = true, .spareLaps = 1.44f, .saveUse = 0.024f};
    StintPlan mandatory = plan(1, 0.0f, 0.0f, 21, 29);
    mandatory.mandatory = true;
    const struct {
        std::uint32_t race;
        unsigned stopsMade;
        StintPlan plan;
        const char* console;
    } steps[] = {
        {1, 0, plan(2, 0.765f, 0.765f, 27, 47), "Plan: 2 stops, 77% and 77%, next stop from lap 27 to lap 47.\n"},
        {1, 0, plan(2, 0.775f, 0.775f, 28, 47, 0.0326f), "Plan: one stop fewer at 3.26% a lap (now 3.40%).\n"},
        {1, 0, plan(2, 0.785f, 0.785f, 28, 47, 0.0327f), ""},
        {1, 0, plan(3, 1.0f, 0.395f, 28, 30), ""},  // a new count, said once it holds
        {1, 0, plan(2, 0.765f, 0.765f, 28, 47), ""},
        {1, 0, plan(3, 1.0f, 0.395f, 28, 30), ""},
        {1, 0, plan(3, 1.0f, 0.395f, 28, 30), "Plan: 3 stops, 100%, 100% and 40%, next stop from lap 28 to lap 30.\n"},
        {1, 0, plan(3, 1.0f, 0.425f, 29, 30), ""},
        {1, 0, plan(3, 1.0f, 0.425f, 29, 30, 0.0f, true), "Plan: window open now, until lap 30.\n"},
        {1, 1, plan(15, 1.0f, 0.395f, 5, 16), "Plan: 15 stops, 14 full tanks and 40%, next stop from lap 5 to lap 16.\n"},
        {1, 1, plan(15, 0.94f, 0.94f, 5, 16), "Plan: 15 stops of 94%, next stop from lap 5 to lap 16.\n"},
        {1, 1, plan(15, 0.94f, 0.94f, 5, 16, 0.03401f), ""},  // 3.40 % as printed
        {1, 1, spare, ""},
        {1, 1, spare, "Plan: no stop needed, 1.4 laps spare.\n"},
        {1, 1, save, "Plan: no stop, 2.40% a lap keeps the reserve.\n"},
        {2, 0, mandatory, "Plan: 1 stop (mandatory), no fuel needed.\n"},
        {2, 0, StintPlan{}, ""},
    };
    PlanShown shown;
    for (const auto& step : steps) {
        Recorder out;
        reportPlan(shown, step.race, step.stopsMade, step.plan, FuelSettings{}, out);
        EXPECT_EQ(out.text, step.console);
    }
}

// The count said, less the stops made since: what the plan keeps within the noise of the use.
TEST(Plan, CountSaidLessTheStopsMadeSince) {
    PlanShown shown;
    Recorder out;
    reportPlan(shown, 1, 2, StintPlan{.made = true, .use = 0.034f, .stops = 3, .fuel = 1.0f, .lastFuel = 0.395f,
                                      .windowFrom = 28, .windowTo = 30},
               FuelSettings{}, out);
    ASSERT_EQ(out.text, "Plan: 3 stops, 100%, 100% and 40%, next stop from lap 28 to lap 30.\n");
    const struct {
        std::uint32_t race;
        unsigned stopsMade;
        std::optional<unsigned> said;
    } rows[] = {{1, 2, 3}, {1, 3, 2}, {1, 5, 0}, {1, 6, 0}, {2, 2, std::nullopt}, {1, 1, std::nullopt}};
    for (const auto& row : rows) EXPECT_EQ(countSaid(shown, row.race, row.stopsMade), row.said) << row.stopsMade;
    shown.mandatory = true;
    EXPECT_EQ(countSaid(shown, 1, 2), std::nullopt);
}

// A race of 30 laps on a sixteenth of the tank a lap with the guard on: one stop from lap 14 to 16. The plan's
// 88 % goes at the line that starts lap 14, held while a screen is open, the board showing the window until
// it is typed; then again when it rises (90 % at line 14) or falls by 3 points or more (85 % at line 15, held).
TEST(Plan, BoardAndAmountTyped) {
    Program program;
    program.pitFuel.guard.on = true;
    const std::string planned = raceUpTo(program, Stints::Even, 30, 9);  // the same plan from lap 3 on: said once
    EXPECT_EQ(planned.find("Plan: "), planned.rfind("Plan: "));
    EXPECT_NE(planned.find("\nPlan: 1 stop, 88%, next stop from lap 14 to lap 16.\n"), std::string::npos);
    const struct {
        Script script;
        std::string typed, advice;  // the amounts typed, the board's last advice
    } steps[] = {
        {sixteenthLine(10) + sixteenthLine(11) + sixteenthLine(12), "", "BOX 14-16"},
        {cim(0, 4) + lap(3, 60000, 60000u * 13, 13) + gauge(13, 0.1864f), "", "BOX 14-16"},  // held: F12 is open
        {cim(0, 0), "88 ", ""},
        {lap(3, 60000, 60000u * 14, 14) + gauge(14, 0.1257f), "90 ", "SET 90% F"},
        {cim(0, 4) + lap(3, 60000, 60000u * 15, 15), "", "BOX 16-16"},  // 90 % in the menu, 85 % held
        {cim(0, 0), "85 ", ""},
    };
    for (const auto& step : steps) {
        const std::string out = feed(step.script, program);
        std::string typed;
        for (auto at = out.find("Setting fuel to "); at != std::string::npos; at = out.find("Setting fuel to ", at + 1))
            typed += std::to_string(std::atoi(out.c_str() + at + 16)) + " ";
        const auto advice = out.rfind("Sending advice:");
        EXPECT_EQ(typed, step.typed) << out;
        EXPECT_EQ(advice == std::string::npos ? "" : out.substr(advice + 15, out.find('\n', advice) - advice - 15), step.advice)
            << out;
    }
}

// After an amount of 40 % was typed at the line of a stint, with 2 stops said: a later line's amount is typed
// again when it rises at all (a menu left lower stops the car short), falls by 3 points or more, or comes with
// another count said.
TEST(Plan, AnAmountTypedAgain) {
    const struct {
        float fuel;
        unsigned countSaid, typed;
    } rows[] = {
        {0.3995f, 2, 0}, {0.4095f, 2, 41}, {0.3795f, 2, 0}, {0.3695f, 2, 37}, {0.3995f, 1, 40},
    };
    for (const auto& row : rows) {
        PitFuelState state;
        state.typed = {1, 3, 40};
        PlanTyped typed{1, 3, 0, 2, 40};
        const StintPlan plan{.stops = 2, .fuel = row.fuel, .inWindow = true};
        IS_LAP line{};
        line.PLID = 3;
        EXPECT_EQ(plannedAmountDue(typed, state, 1, line, plan, row.countSaid, FuelSettings{}), row.typed)
            << row.fuel << " " << row.countSaid;
    }
}

// A planned full tank is typed as 100 %, the pit menu's highest setting, where a fuel call types 99 % at the
// most: 200 packets. Forty laps on a sixteenth of the tank a lap, two stops left, typed at the line of lap 7
// that starts the window (laps 8 to 16).
TEST(Plan, AFullTankIsTypedAsTheHighestSetting) {
    Program program;
    raceUpTo(program, Stints::Full, 40, 6);
    const std::string console = feed(sixteenthLine(7), program);
    EXPECT_NE(console.find("Plan: window open now, until lap 16.\nSetting fuel to 100%\n{press 100}13600 bytes sent.\n"),
              std::string::npos) << console;
    EXPECT_NE(console.find("Sending advice:SET 100% F\n{btn 4 |SET 100% F\\0\\0|}"), std::string::npos) << console;
}

// Sixteen laps on a sixteenth of the tank a lap and a reserve of half a lap: the fuel to the flag, not the
// reserve. No stop, nothing typed; the use that keeps the reserve, said once and on the board.
TEST(Plan, NoStopForTheReserveAlone) {
    Program program;
    program.fuel.reserve = 0.5f;
    program.fuel.toFinish = program.fuel.topUp = true;
    const std::string console = raceUpTo(program, Stints::Full, 16, 14);
    EXPECT_EQ(console.find("Plan: "), console.find("Plan: no stop, 6.02% a lap keeps the reserve.\n"));
    EXPECT_EQ(console.find("Plan: "), console.rfind("Plan: "));
    EXPECT_EQ(console.find("Setting fuel"), std::string::npos);
    EXPECT_NE(console.find("Fuel for 3: (pLaps+13->fuel[0] = 0.125\n"), std::string::npos);
    EXPECT_NE(console.find("Sending advice:SAVE 5.00%\n{btn 4 |SAVE 5.00%\\0\\0|}Fuel for 3: (pLaps+13"), std::string::npos);
}
