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
// L - 2 and L - 1, the `scene` (unseen), then its line of lap L.
Script lineAfterReadings(int lapsDone, int raceLaps, float old, float last, const Script& scene = {}) {
    return race(raceLaps, 3) + lap(3, 60000, (lapsDone - 2) * 60000, lapsDone - 2) + gauge(1, old) +
           lap(3, 60000, (lapsDone - 1) * 60000, lapsDone - 1) + gauge(2, last) + scene + mark() +
           lap(3, 60000, lapsDone * 60000, lapsDone);
}

// The lone car's board about lap L - 1, after its fuel lines: "PIT" and the advice when an amount was set.
std::string loneBoard(int lapsDone, int raceLaps, unsigned amount) {
    const std::string lap = std::to_string(lapsDone - 1) + "/" + std::to_string(raceLaps);
    std::string out = "Pitboard for 3: Lap " + lap + "\n-0 | +0\nP1 | " + (amount ? "PIT" : "   ") +
                      "\n1:0.0\n{clear}{btn 1 |" + padded("L" + lap + " P1", 16) +
                      "|}{btn 2 |-0.00^9/+0.00       |}{btn 3 |" + padded(amount ? "1:00.00 PIT" : "1:00.00 ^1   ", 16) + "|}";
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
        {17, 20, 0.375f, 0.25f, "0.375", "0.25", "12.5", "12.5", "25", 26, 0.0f, true},  // to the finish
        {17, 20, 0.375f, 0.25f, "0.375", "0.25", "12.5", "12.5", "31.25", 32, 0.5f, true},  // to the finish, half a lap in reserve
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

// Three cars ahead two laps ago, two now: the readings are paired by player, not by place.
TEST(FuelEstimate, ReadingsArePairedByPlayer) {
    const Script script = race(20, 3) + lap(7, 60000, 900000, 15) + lap(8, 60000, 901000, 15) +
                          lap(9, 60000, 902000, 15) + lap(3, 60000, 903000, 15) + gauge(1, 0.375f) +
                          lap(7, 60000, 960000, 16) + lap(8, 60000, 961000, 16) + lap(3, 60000, 962000, 16) +
                          gauge(2, 0.25f) + lap(9, 60000, 963000, 16) + mark() + lap(3, 60000, 1022000, 17);
    EXPECT_EQ(play(script),
              "New registered laptime by PLID 3: 1:0.0\nSearching in 4 results.\n"
              "Index 2 laps ago = 3 but last lap = 2\n"
              "Fuel in 14: 0.375. Fuel one lap later: 0.25\n"
              "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 37.5%\n" +
                  setting(38) +
                  "Pitboard for 3: Lap 16/20\n-1000 | +1000\nP3 | PIT\n1:0.0\n"
                  "{clear}{btn 1 |L16/20 P^23     |}{btn 2 |-1.00^9/+1.00       |}{btn 3 |1:00.00 PIT     |}"
                  "Sending advice:SET 38% F\n{btn 4 |SET 38% F\\0\\0\\0|}");
}

// The batch and the advice for each amount are the estimate's above; the rounding and its limits here,
// and one typing per lap line.
TEST(PitFuel, AmountIsTruncatedPercentPlusOneCappedAt99AndTypedOncePerLapLine) {
    const std::pair<float, unsigned> cases[] = {
        {0.375f, 38}, {0.001f, 1}, {0.5f, 51}, {0.29f, 29} /* stored just below 29% */, {0.97f, 98}, {0.98f, 99},
        {7.5f, 99},   {kInf, 99},  {0.0f, 1},  {-0.5f, 1},  {-kInf, 1},  {kNaN, 0}};
    for (const auto& [need, amount] : cases) EXPECT_EQ(pitFuelAmount(need), amount) << need;
    // Typed once per lap line: the same race, player and lap again types nothing, even after other lines.
    const struct {
        std::uint32_t race;
        int plid, lapsDone;
        float need;
    } lines[] = {{0, 3, 5, 0.001f}, {0, 3, 5, 0.5f}, {0, 4, 5, 0.001f}, {1, 4, 5, 0.001f}, {1, 4, 6, kNaN},
                 {1, 4, 7, 0.001f}, {1, 5, 7, 0.001f}, {1, 4, 7, 0.001f}};
    Program program;
    PitFuelState state;
    Recorder port;
    for (const auto& l : lines) {
        program.race.races = l.race;
        IS_LAP line{};
        line.PLID = static_cast<byte>(l.plid);
        line.LapsDone = static_cast<word>(l.lapsDone);
        setPitFuel(state, program.race, line, l.need, kMaxPitFuelAmount, port);
    }
    EXPECT_EQ(port.text, setting(1) + setting(1) + setting(1) + "Fuel need unknown! Pit fuel not set.\n" + setting(1) +
                             setting(1));
    EXPECT_EQ(port.errors, "lap 5 of PLID 3 came again: its pit fuel is not typed twice\n"
                           "lap 7 of PLID 4 came again: its pit fuel is not typed twice\n");
}

namespace {

// The lone viewed PLID 3 in a race of 20: each lap line with its stops so far and the reading after it
// (none for 0), then its next line.
Script stint(const std::vector<std::pair<float, int>>& lines) {
    Script script = race(20, 3);
    int n = 0;
    for (const auto& [fuel, stops] : lines) {
        ++n;
        script = script + lap(3, 60000, n * 60000, n, 0, stops);
        if (fuel != 0.0f) script = script + gauge(n, fuel);
    }
    return script + mark() + lap(3, 60000, (n + 1) * 60000, n + 1, 0, lines.back().second);
}

}  // namespace

// The use per lap averaged over the last valid laps: both readings taken, no stop between them, fuel used.
TEST(FuelAverage, LeavesOutLapsThatDoNotShowTheUse) {
    const struct {
        const char* name;
        std::vector<std::pair<float, int>> lines;  // reading after each lap line, and the stops made
        const char* fuel;                          // the console from "Fuel in" to "per lap."
    } cases[] = {
        {"fewer valid laps than asked for", {{0.9375f, 0}, {0.8125f, 0}, {0.75f, 0}},
         "Fuel in 1: 0.8125. Fuel one lap later: 0.75\nAverage use over 2 laps: 9.375% per lap.\n"
         "Player has approx 65.625% fuel and consumes 9.375% per lap.\n"},
        {"a stop between two readings", {{0.9375f, 0}, {0.8125f, 0}, {0.75f, 1}, {0.625f, 1}},
         "Fuel in 2: 0.75. Fuel one lap later: 0.625\nAverage use over 2 laps: 12.5% per lap.\n"
         "Player has approx 50% fuel and consumes 12.5% per lap.\n"},
        {"the last reading not taken", {{0.875f, 0}, {0.75f, 0}, {0.625f, 0}, {0.0f, 0}},
         "Fuel in 2: 0.625. Fuel one lap later: 0\nAverage use over 2 laps: 12.5% per lap.\n"
         "Player has approx 0% fuel and consumes 12.5% per lap.\n"},
        {"a reading that is not a number", {{0.875f, 0}, {kNaN, 0}, {0.625f, 0}, {0.5f, 0}, {0.4375f, 0}},
         "Fuel in 3: 0.5. Fuel one lap later: 0.4375\nAverage use over 2 laps: 9.375% per lap.\n"
         "Player has approx 34.375% fuel and consumes 9.375% per lap.\n"},
        {"no valid lap: the last lap alone", {{0.5f, 0}, {0.5f, 0}, {0.75f, 1}},
         "Fuel in 1: 0.5. Fuel one lap later: 0.75\nPlayer has approx 100% fuel and consumes -25% per lap.\n"},
    };
    for (const auto& c : cases) {
        const int lapsDone = static_cast<int>(c.lines.size()) + 1;
        EXPECT_EQ(play(stint(c.lines), withFuel(3)), kLapLine + c.fuel + loneBoard(lapsDone, 20, 0)) << c.name;
    }
    // Lap 3's line came late, after the reading at lap 4's: a level never read warns of nothing.
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

}  // namespace

// Each thing in the way holds the amount, with the board as usual (the car in its box: after the line); a
// packet that leaves something in the way types nothing; the one that ends it types the amount at once, and
// nothing types it again.
TEST(PitGuard, HoldsUntilThePacketThatMakesItSafe) {
    const struct {
        const char* reason;
        Script scene, notYet, release;
        std::string stop = "";  // the stop line of a car that stops while the amount is held
    } cases[] = {
        {"a screen is open", cim(0, 4), cim(0, 0, 2) /* another connection's */, cim(0, 0)},
        {"a screen is open", cim(4, 0), cim(0, 4), cim(0, 0)},
        {"a dialog is open", sta(3, 1, 20, 16), sta(3, 1, 20, 32784), sta(3, 1, 20)},
        {"a text entry is open", sta(3, 1, 20, 32768), sta(3, 1, 20, 32768), sta(3, 1, 20)},
        {"a screen is open", cim(0, 4), pit(3, 30) + cim(0, 0) + pla(3, 1) + psf(4), psf(3), "Pit stop: adding 30% fuel.\n"},
        {"a screen is open", cim(0, 4), pit(3, 30) + cim(0, 0) + pla(4, 0), pla(3, 0), "Pit stop: adding 30% fuel.\n"},
    };
    for (const auto& c : cases) {  // the keep-alive's answer shows that nothing was typed before the release
        const Script script =
            lineAfterReadings(17, 20, 0.375f, 0.25f, c.scene) + c.notYet + tiny(0) + c.release + c.release;
        EXPECT_EQ(play(script, guarded()),
                  kShort + held(c.reason, 38) + loneBoard(17, 20, 38) + c.stop + "{keep-alive}" + released(38))
            << c.reason;
    }
    // Nothing in the way, an IS_CIM of the plain view, and a stop whose end never came (its lap line ends
    // it): typed at the line as without the guard.
    EXPECT_EQ(play(lineAfterReadings(17, 20, 0.375f, 0.25f, cim(0, 4) + cim(0, 0) + pit(3, 30)), guarded()),
              kShort + setting(38) + loneBoard(17, 20, 38));
}

// F12 replaces the F9, F10 and F11 panels: the amount is typed over them and the panel shown again after
// the batch; the F12 screen, any other SubMode and any other mode hold it as before.
TEST(PitGuard, TypesOverTheF9ToF11PanelsAndShowsThemAgain) {
    const auto over = [](const char* key) {
        std::string typed = setting(38);
        return typed.insert(typed.find("Set Advice"), std::string("{panel ") + key + "}");
    };
    const std::string board = loneBoard(17, 20, 38);
    const struct {
        Script scene, release;
        std::string console;
    } cases[] = {
        {cim(0, 1), {}, kShort + over("F9") + board},
        {cim(0, 2), {}, kShort + over("F10") + board},
        {cim(0, 3), {}, kShort + over("F11") + board},
        {cim(0, 4), cim(0, 3), kShort + held("a screen is open", 38) + board + over("F11") + "\n"},
        {cim(0, 5), cim(0, 0), kShort + held("a screen is open", 38) + board + released(38)},
        {cim(6, 1), cim(0, 0), kShort + held("a screen is open", 38) + board + released(38)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(play(lineAfterReadings(17, 20, 0.375f, 0.25f, c.scene) + c.release, guarded()), c.console);
    }
}

// Held at the line of lap 16, then again at lap 17 with a new amount: only the newer one is typed.
TEST(PitGuard, ANewerAmountReplacesTheHeldOne) {
    std::string again = loneBoard(17, 20, 29);
    again.replace(again.find("1:00.00 PIT     "), 16, "1:00.00 ^1PIT   ");  // PIT again, unchanged: red
    const Script script = lineAfterReadings(16, 20, 0.375f, 0.25f, cim(0, 4)) + gauge(3, 0.15625f) +
                          lap(3, 60000, 17 * 60000, 17) + cim(0, 0);
    EXPECT_EQ(play(script, guarded()),
              "New registered laptime by PLID 3: 1:0.0\nSearching in 1 results.\n"
              "Fuel in 13: 0.375. Fuel one lap later: 0.25\n"
              "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 50%\n" +
                  held("a screen is open", 51) + loneBoard(16, 20, 51) +
                  "Fuel for 3: (pLaps+15->fuel[0] = 0.15625\n" + kLapLine +
                  "Fuel in 14: 0.25. Fuel one lap later: 0.15625\n"
                  "Player has approx 6.25% fuel and consumes 9.375% per lap.\n"
                  "Player will run out of fuel! 6.25% < 28.125%\n" +
                  held("a screen is open", 29) + again + released(29));
}

// A restart, a session end or a view away from the car drops the held amount: closing the screen then types nothing.
TEST(PitGuard, ARestartASessionEndOrAViewChangeDropsIt) {
    const struct {
        Script drop;
        std::string console;
    } cases[] = {
        {rst(20, 0), restart("Race! Number of laps: 20. Allocated 30800bytes.") + "Pit fuel dropped: the session restarted\n"},
        {sta(3, 0, 0), "Session ended! Stopping tracking! Clearing buttons!\n{clear}Pit fuel dropped: the session ended\n"},
        {sta(4, 1, 20), "{clear}Pit fuel dropped: the view changed\n"},
    };
    for (const auto& c : cases) {
        const Script script = lineAfterReadings(17, 20, 0.375f, 0.25f, cim(0, 4)) + mark() + c.drop + cim(0, 0);
        EXPECT_EQ(play(script, guarded()), c.console);
    }
}

// An amount held at lap 17 of 20 is dropped at the viewed car's finishing line, or when a lap beyond the
// race length ends tracking: closing the screen after the flag types nothing.
TEST(PitGuard, NothingIsTypedAfterTheFlag) {
    const Script held = lineAfterReadings(17, 20, 0.375f, 0.25f, cim(0, 4));
    const struct {
        Script script;
        std::string console;
    } cases[] = {
        {held + lap(3, 60000, 18 * 60000, 18) + lap(3, 60000, 19 * 60000, 19) + mark() + lap(3, 60000, 20 * 60000, 20) +
             cim(0, 0),
         kLapLine + "Fuel in 17: 0. Fuel one lap later: 0\nPlayer has approx 0% fuel and consumes 0% per lap.\n"
                    "Pit fuel dropped: the race is over\nPitboard for 3: Lap 19/20\n-0 | +0\nP1 |    \n1:0.0\n"
                    "{clear}{btn 1 |L19/20 P1       |}{btn 2 |-0.00^9/+0.00       |}{btn 3 |1:00.00 ^1      |}"
                    "Sending advice:FINISHED\n{btn 4 |FINISHED\\0\\0\\0\\0|}"},
        {held + sta(3, 1, 17) + mark() + lap(3, 60000, 18 * 60000, 18) + cim(0, 0),
         "New registered laptime by PLID 3: 1:0.0\nMemory allocation error!\n"
         "More laps than allocated! Ending tracking! Clearing buttons!\n{clear}Pit fuel dropped: the race is over\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(play(c.script, guarded()), c.console);
}

// At an IS_PIT of the viewed car: what the stop takes, and the amount typed in this race.
TEST(PitGuard, TheStopLine) {
    const Script typed = lineAfterReadings(17, 20, 0.375f, 0.25f) + mark();
    const struct {
        Script script;
        std::string console;
    } cases[] = {
        {typed + pit(3, 40), "Pit stop: adding 40% fuel (the menu was set to 38%).\n"},
        {typed + pit(3, 255), "Pit stop: fuel not shown.\n"},
        {typed + pit(4, 40), ""},
        {race(20, 3) + pit(3, 0), "Pit stop: adding 0% fuel.\n"},
        {typed + rst(20, 0) + sta(3, 1, 20) + mark() + pit(3, 40), "Pit stop: adding 40% fuel.\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(play(c.script, guarded()), c.console) << c.console;
}

// Without the guard the table has no row for IS_CIM and the pit packets: they are read by their Size byte
// and dropped, a malformed one too, and nothing holds the pit fuel or is said of a stop.
TEST(PitGuard, WithoutItTheGuardsPacketsChangeNothing) {
    const Script inTheWay = cim(0, 4) + sta(3, 1, 20, 16 | 32768) + pit(3, 30);
    const Script after = cim(0, 0) + psf(3) + pla(3, 0) + pit(3, 40) + stream(bytes({8, 26, 0, 3, 0, 0, 0, 0})) + tiny(0);
    EXPECT_EQ(play(lineAfterReadings(17, 20, 0.375f, 0.25f, inTheWay) + after),
              kShort + setting(38) + loneBoard(17, 20, 38) + "{keep-alive}");
}

// Who drives the viewed car: while a team mate does, the amount is held; the local connection taking the
// car types it at once, and one handing it away drops it. Who drives is known only from the local
// connection (an IS_NCN without the remote bit) and the car's driver together; else the local one drives.
TEST(PitGuard, OnlyForTheDriverInTheCar) {
    const std::string mate = "another driver is in the car";
    const struct {
        const char* name;
        Script scene, after;
        std::string console;  // after the fuel call's lines
    } cases[] = {
        {"a team mate drives, then the car is ours", ncn(0, false) + ncn(5, true) + npl(3, 5), toc(3, 5, 0) + toc(3, 5, 0),
         held(mate, 38) + loneBoard(17, 20, 38) + released(38)},
        {"ours, then taken over by the team mate", npl(3, 0) + ncn(0, false) + cim(0, 4), toc(3, 0, 5) + cim(0, 0),
         held("a screen is open", 38) + loneBoard(17, 20, 38) + "Pit fuel dropped: another driver took the car\n"},
        {"handed to the team mate before the line", ncn(0, false) + npl(3, 0) + toc(3, 0, 5), cim(0, 0),
         held(mate, 38) + loneBoard(17, 20, 38)},
        {"the team mate drives another car", ncn(0, false) + npl(4, 5), {}, setting(38) + loneBoard(17, 20, 38)},
        {"no local connection known", ncn(5, true) + npl(3, 5), {}, setting(38) + loneBoard(17, 20, 38)},
        {"no driver known", ncn(0, false), {}, setting(38) + loneBoard(17, 20, 38)},
        {"the car left the race", ncn(0, false) + npl(3, 5) + pll(3), {}, setting(38) + loneBoard(17, 20, 38)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(play(lineAfterReadings(17, 20, 0.375f, 0.25f, c.scene) + c.after, guarded()), kShort + c.console)
            << c.name;
    }
    // Without the guard the driver's packets are dropped: typed as ever.
    EXPECT_EQ(play(lineAfterReadings(17, 20, 0.375f, 0.25f, ncn(0, false) + npl(3, 5))),
              kShort + setting(38) + loneBoard(17, 20, 38));
}

// The IS_TINY packets the game sends of its own, other than the keep-alive, get no answer with or without
// the settings of a join and the guard.
TEST(PitGuard, NoAnswerToAnyOtherTiny) {
    const Script others = tiny(11) + tiny(12) + tiny(9) + tiny(5) + tiny(4, 9) + tiny(0, 9);  // REN, CLR, MPE, VTC, REPLY
    Program all = guarded();
    all.join = true;
    EXPECT_EQ(play(others), "{keep-alive}");
    EXPECT_EQ(play(others, std::move(all)), "{keep-alive}");
}
