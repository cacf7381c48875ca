// Fuel estimation and the pit fuel setting as transcripts: the viewed car's readings at the two lap lines
// before, the estimate, the warning, the "/press" batch with its advice on the board, and the pit guard.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "strategy/pit_fuel.h"
#include "support/transcript.h"

using namespace transcript;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The lone viewed PLID 3 in a race of `raceLaps`: its readings `old` and `last` at the lines of laps
// L - 2 and L - 1 (none before), the `scene` (unseen), then its line of lap L.
Script lineAfterReadings(int lapsDone, int raceLaps, float old, float last, const Script& scene = {}) {
    std::vector<Line> lines(lapsDone - 3);
    lines.push_back({60000, 0, 0, old});
    lines.push_back({60000, 0, 0, last});
    return stint(raceLaps, lines, scene);
}

// The lone car's board about lap L - 1, after its fuel lines: "PIT" and the advice when an amount was set.
std::string loneBoard(int lapsDone, int raceLaps, unsigned amount) {
    const std::string lap = std::to_string(lapsDone - 1) + "/" + std::to_string(raceLaps);
    const std::string out = amount ? board(3, lap, "1:00.00 PIT", "-0 | +0\nP1 | PIT\n1:0.0") : board(3, lap, "1:00.00 ^1");
    if (amount == 0) return out;
    std::string window = advice(amount);
    for (std::size_t zero = window.size(); zero < 12; ++zero) window += "\\0";
    return out + "Sending advice:" + advice(amount) + "\n{btn 4 |" + window + "|}";
}

Program withFuel(int average, float reserve = 0.0f, bool toFinish = false) {
    Program program;
    program.fuel = FuelSettings{average, reserve, toFinish};
    return program;
}

const std::string kLapLine = "New registered laptime by PLID 3: 1:0.0\nSearching in 1 results.\n";

}  // namespace

// Warns only when short with three laps or more to go and both levels recorded; the need is printed
// uncapped, the amount capped. A reserve raises the need, filling to the finish takes off what the tank holds.
TEST(FuelEstimate, WhenItWarns) {
    const struct {
        int lapsDone, raceLaps;
        float old, last;
        const char *oldText, *lastText, *has, *uses, *need;  // need: nullptr when it does not warn
        unsigned amount;
        float reserve = 0.0f;
        bool toFinish = false;
    } cases[] = {
        {17, 20, 0.375f, 0.25f, "0.375", "0.25", "12.5", "12.5", "37.5", 38},  // the worked example
        {3, 10, 0.5f, 0.375f, "0.5", "0.375", "25", "12.5", "87.5", 88},  // the first with two readings
        {10, 20, 0.625f, 0.5f, "0.625", "0.5", "37.5", "12.5", nullptr, 0},  // exactly three laps' use: enough
        {10, 20, 0.625f, std::nextafter(0.5f, 0.0f), "0.625", "0.5", "37.5", "12.5", "125", 99},  // a step less
        {18, 20, 0.375f, 0.01f, "0.375", "0.01", "0", "36.5", nullptr, 0},  // two laps to go
        {8, 20, 0.125f, 0.875f, "0.125", "0.875", "162.5", "-75", nullptr, 0},  // a refuelling lap
        {12, 20, 0.375f, 0.0f, "0.375", "0", "0", "37.5", nullptr, 0},  // the last level never recorded
        {12, 20, kNaN, 0.25f, "nan", "0.25", "nan", "nan", nullptr, 0},
        {17, 20, 0.375f, 0.25f, "0.375", "0.25", "12.5", "12.5", "50", 51, 1.0f},  // a lap in reserve
        // To the finish: the level against the fuel to the flag, the amount less what the tank holds.
        {17, 20, 0.375f, 0.25f, "0.375", "0.25", "12.5", "12.5", "37.5", 26, 0.0f, true},
        {17, 20, 0.375f, 0.25f, "0.375", "0.25", "12.5", "12.5", "43.75", 32, 0.5f, true},  // half a lap in reserve
    };
    for (const auto& c : cases) {
        std::string expected = kLapLine + "Fuel in " + std::to_string(c.lapsDone - 3) + ": " + c.oldText +
                               ". Fuel one lap later: " + c.lastText + "\nPlayer has approx " + c.has +
                               "% fuel and consumes " + c.uses + "% per lap.\n";
        if (c.need) expected += "Player will run out of fuel! " + std::string(c.has) + "% < " + c.need + "%\n" + setting(c.amount);
        EXPECT_EQ(play(lineAfterReadings(c.lapsDone, c.raceLaps, c.old, c.last), withFuel(1, c.reserve, c.toFinish)),
                  expected + loneBoard(c.lapsDone, c.raceLaps, c.amount))
            << "lap " << c.lapsDone << ": " << c.oldText << " -> " << c.lastText << ", reserve " << c.reserve;
    }
}

// The batch and the advice for each amount are the estimate's above; the rounding and its limits here,
// and one typing per lap line.
TEST(PitFuel, AmountIsTruncatedPercentPlusOneCappedAt99AndTypedOncePerLapLine) {
    const std::pair<float, unsigned> cases[] = {
        {0.375f, 38}, {0.001f, 1}, {0.5f, 51}, {0.29f, 29} /* stored just below 29% */, {0.97f, 98}, {0.98f, 99},
        {7.5f, 99},   {kInf, 99},  {0.0f, 1},  {-0.5f, 1},  {-kInf, 1},  {kNaN, 0}};
    for (const auto& [need, amount] : cases) EXPECT_EQ(pitFuelAmount(need), amount) << need;
    // Typed once per lap line: the same race, player and lap again types nothing; another player's or race's is typed.
    const std::tuple<std::uint32_t, int, int, float> lines[] = {
        {0, 3, 5, 0.001f}, {0, 3, 5, 0.5f}, {0, 4, 5, 0.001f}, {1, 4, 5, 0.001f}, {1, 4, 6, kNaN}};
    Program program;
    PitFuelState state;
    Recorder port;
    for (const auto& [race, plid, lapsDone, need] : lines) {
        program.race.races = race;
        IS_LAP line{};
        line.PLID = static_cast<byte>(plid);
        line.LapsDone = static_cast<word>(lapsDone);
        setPitFuel(state, program.race, line, need, true, port);
    }
    EXPECT_EQ(port.text, setting(1) + setting(1) + setting(1) + "Fuel need unknown! Pit fuel not set.\n");
    EXPECT_EQ(port.errors, "lap 5 of PLID 3 came again: its pit fuel is not typed twice\n");
}

// The use per lap averaged over the last valid laps (its rows are FuelRules'): a level never read warns of
// nothing, here lap 3's line that came late, after the reading at lap 4's.
TEST(FuelAverage, ALineThatCameLate) {
    const Script late = race(20, 3) + lap(3, 60000, 60000, 1) + gauge(1, 0.875f) + lap(3, 60000, 120000, 2) +
                        gauge(2, 0.75f) + lap(3, 60000, 240000, 4) + gauge(3, 0.25f) + lap(3, 60000, 180000, 3) +
                        mark() + lap(3, 60000, 300000, 5);
    EXPECT_EQ(play(late, withFuel(3)), kLapLine + "Fuel in 2: 0. Fuel one lap later: 0.25\n"
                                                  "Average use over 1 laps: 12.5% per lap.\n"
                                                  "Player has approx 12.5% fuel and consumes 12.5% per lap.\n" +
                                           loneBoard(5, 20, 0));
}

namespace {

Program guarded() {
    Config config;  // as start-up makes it
    applyDefaults(config);
    config.pitGuard = true;
    return Program(config);
}

// The worked example's lap line up to its pit fuel: 38% due.
const std::string kShort = kLapLine +
                           "Fuel in 14: 0.375. Fuel one lap later: 0.25\n"
                           "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
                           "Player will run out of fuel! 12.5% < 37.5%\n";
std::string held(const std::string& reason, unsigned amount) {
    return "Pit fuel held: " + reason + "\nSet Advice: " + advice(amount);
}
std::string released(unsigned amount) { return setting(amount) + "\n"; }  // outside a lap line: the line ends

struct GuardRow {
    const char* name;
    Script scene, after;  // before the worked example's line (unseen) and after it
    std::string console;  // from that line on, or from the last mark of `after`
    bool guard = true;
};

// Held for `reason` at the line, nothing typed at `notYet` (the keep-alive's answer shows it; `stop`, the
// line of a car that stops while the amount is held), typed once at the packet that releases it.
GuardRow holds(const char* reason, Script scene, Script notYet, Script release, const std::string& stop = "") {
    return {reason, scene, notYet + tiny(0) + release + release,
            kShort + held(reason, 38) + loneBoard(17, 20, 38) + stop + "{keep-alive}" + released(38)};
}
// Typed at the line as without the guard.
GuardRow typedAtTheLine(const char* name, Script scene, bool guard = true) {
    return {name, scene, {}, kShort + setting(38) + loneBoard(17, 20, 38), guard};
}
// Typed over the panel `key`, which is shown again after the batch.
std::string over(const char* key) {
    std::string typed = setting(38);
    return typed.insert(typed.find("Set Advice"), std::string("{panel ") + key + "}");
}

}  // namespace

// The worked example's line with 38 % due, and what the guard makes of it: each thing in the way holds
// the amount with the board as usual; a packet that leaves something in the way types nothing; the one that
// ends it types it at once, and nothing types it again. F12 replaces the F9 to F11 panels: typed over them.
// A restart, a session end, a view away, the flag drop it. Who drives the viewed car: while a team mate
// does the amount is held; who drives is known only from the local connection (an IS_NCN without the remote
// bit) and the car's driver together, else the local one drives. Without the guard its packets are dropped.
TEST(PitGuard, WhatHoldsReleasesAndDropsTheAmount) {
    const std::string board = loneBoard(17, 20, 38), screen = "a screen is open", mate = "another driver is in the car";
    const Script typed = mark();  // the line's output set aside
    const GuardRow rows[] = {
        holds(screen.c_str(), cim(0, 4), cim(0, 0, 2) /* another connection's */, cim(0, 0)),
        holds(screen.c_str(), cim(4, 0), cim(0, 4), cim(0, 0)),
        holds("a dialog is open", sta(3, 1, 20, 16), sta(3, 1, 20, 32784), sta(3, 1, 20)),
        holds("a text entry is open", sta(3, 1, 20, 32768), sta(3, 1, 20, 32768), sta(3, 1, 20)),
        // The car in its box: after the line.
        holds(screen.c_str(), cim(0, 4), pit(3, 30) + cim(0, 0) + pla(3, 1) + psf(4), psf(3), "Pit stop: adding 30% fuel.\n"),
        holds(screen.c_str(), cim(0, 4), pit(3, 30) + cim(0, 0) + pla(4, 0), pla(3, 0), "Pit stop: adding 30% fuel.\n"),
        // An IS_CIM of the plain view, and a stop whose end never came (its lap line ends it).
        typedAtTheLine("nothing in the way", cim(0, 4) + cim(0, 0) + pit(3, 30)),
        {"F9", cim(0, 1), {}, kShort + over("F9") + board},
        {"F10", cim(0, 2), {}, kShort + over("F10") + board},
        {"F11", cim(0, 3), {}, kShort + over("F11") + board},
        {"F12 closed to F11", cim(0, 4), cim(0, 3), kShort + held(screen, 38) + board + over("F11") + "\n"},
        {"another SubMode", cim(0, 5), cim(0, 0), kShort + held(screen, 38) + board + released(38)},
        {"another mode", cim(6, 1), cim(0, 0), kShort + held(screen, 38) + board + released(38)},
        {"restart", cim(0, 4), mark() + rst(20, 0) + cim(0, 0),
         restart("Race! Number of laps: 20. Allocated 30800bytes.") + "Pit fuel dropped: the session restarted\n"},
        {"session end", cim(0, 4), mark() + sta(3, 0, 0) + cim(0, 0),
         "Session ended! Stopping tracking! Clearing buttons!\n{clear}Pit fuel dropped: the session ended\n"},
        {"view change", cim(0, 4), mark() + sta(4, 1, 20) + cim(0, 0), "{clear}Pit fuel dropped: the view changed\n"},
        {"the viewed car's finishing line", cim(0, 4),
         lap(3, 60000, 18 * 60000, 18) + lap(3, 60000, 19 * 60000, 19) + mark() + lap(3, 60000, 20 * 60000, 20) + cim(0, 0),
         kLapLine + "Fuel in 17: 0. Fuel one lap later: 0\nPlayer has approx 0% fuel and consumes 0% per lap.\n"
                    "Pit fuel dropped: the race is over\n" + transcript::board(3, "19/20", "1:00.00 ^1") +
                    "Sending advice:FINISHED\n{btn 4 |FINISHED\\0\\0\\0\\0|}"},
        {"a lap beyond the race length", cim(0, 4), sta(3, 1, 17) + mark() + lap(3, 60000, 18 * 60000, 18) + cim(0, 0),
         "New registered laptime by PLID 3: 1:0.0\nMemory allocation error!\n"
         "More laps than allocated! Ending tracking! Clearing buttons!\n{clear}Pit fuel dropped: the race is over\n"},
        // At an IS_PIT of the viewed car: what the stop takes, and the amount typed in this race.
        {"stop", {}, typed + pit(3, 40), "Pit stop: adding 40% fuel (the menu was set to 38%).\n"},
        {"stop, fuel hidden", {}, typed + pit(3, 255), "Pit stop: fuel not shown.\n"},
        {"another car's stop", {}, typed + pit(4, 40), ""},
        {"a stop in the next race", {}, typed + rst(20, 0) + sta(3, 1, 20) + mark() + pit(3, 40), "Pit stop: adding 40% fuel.\n"},
        {"a stop of nothing", {}, typed + rst(20, 0) + sta(3, 1, 20) + mark() + pit(3, 0), "Pit stop: adding 0% fuel.\n"},
        {"a team mate drives, then the car is ours", ncn(0, false) + ncn(5, true) + npl(3, 5), toc(3, 5, 0) + toc(3, 5, 0),
         kShort + held(mate, 38) + board + released(38)},
        {"a team mate drives, then the car joins with the local driver", ncn(0, false) + ncn(5, true) + npl(3, 5),
         npl(3, 0), kShort + held(mate, 38) + board + released(38)},
        {"ours, then taken over by the team mate", npl(3, 0) + ncn(0, false) + cim(0, 4), toc(3, 0, 5) + cim(0, 0),
         kShort + held(screen, 38) + board + "Pit fuel dropped: another driver took the car\n"},
        {"handed to the team mate before the line", ncn(0, false) + npl(3, 0) + toc(3, 0, 5), cim(0, 0),
         kShort + held(mate, 38) + board},
        typedAtTheLine("the team mate drives another car", ncn(0, false) + npl(4, 5)),
        typedAtTheLine("no local connection known", ncn(5, true) + npl(3, 5)),
        typedAtTheLine("no driver known", ncn(0, false)),
        typedAtTheLine("the car left the race", ncn(0, false) + npl(3, 5) + pll(3)),
        typedAtTheLine("without the guard: the driver's packets dropped", ncn(0, false) + npl(3, 5), false),
        // Without the guard the table has no row for IS_CIM and the pit packets: read by their Size byte and
        // dropped, a malformed one too, and nothing holds the pit fuel or is said of a stop.
        {"without the guard: its packets dropped", cim(0, 4) + sta(3, 1, 20, 16 | 32768) + pit(3, 30),
         cim(0, 0) + psf(3) + pla(3, 0) + pit(3, 40) + stream(bytes({8, 26, 0, 3, 0, 0, 0, 0})) + tiny(0),
         kShort + setting(38) + board + "{keep-alive}", false},
    };
    for (const GuardRow& row : rows) {
        EXPECT_EQ(play(lineAfterReadings(17, 20, 0.375f, 0.25f, row.scene) + row.after, row.guard ? guarded() : Program{}),
                  row.console) << row.name;
    }
}

// Held at the line of lap 16, then again at lap 17 with a new amount: only the newer one is typed.
TEST(PitGuard, ANewerAmountReplacesTheHeldOne) {
    std::string again = loneBoard(17, 20, 29);
    again.replace(again.find("1:00.00 PIT     "), 16, "1:00.00 ^1PIT   ");  // PIT again, unchanged: red
    const Script script = lineAfterReadings(16, 20, 0.375f, 0.25f, cim(0, 4)) + gauge(16, 0.15625f) +
                          lap(3, 60000, 17 * 60000, 17) + cim(0, 0);
    const std::string out = play(script, guarded());
    EXPECT_NE(out.find(held("a screen is open", 51) + loneBoard(16, 20, 51)), std::string::npos) << out;
    EXPECT_NE(out.find(held("a screen is open", 29) + again + released(29)), std::string::npos) << out;
    EXPECT_EQ(out.find("Setting fuel"), out.rfind("Setting fuel")) << out;
}
