// Race tracking as transcripts: restarts and session states, the lap store and its limits, splits,
// and qualifying results with the standings the qualifying board shows.
#include <gtest/gtest.h>

#include "support/transcript.h"

using namespace transcript;

namespace {

struct Case {
    const char* name;
    Script script;
    std::string expected;
};

void check(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(play(c.script), c.expected) << c.name;
}

const std::string kMemoryError = "Memory allocation error!\n";
const std::string kMoreLaps = "More laps than allocated! Ending tracking! Clearing buttons!\n{clear}";

// Lap lines (or qualifying results) of `count` cars from PLID `first` on, in that order.
Script crowd(int first, int count, int lapsDone, bool results = false) {
    Script out;
    for (int plid = first; plid < first + count; ++plid) {
        out = out + (results ? res(plid, 60000 + plid, 1, 0) : lap(plid, 60000, lapsDone * 60000 + plid, lapsDone));
    }
    return out;
}

// The qualifying board at the viewed player's lap line: the standings before his latest result.
std::string qualifyingBoard(const std::string& position, const std::string& gaps, const std::string& best) {
    return "{btn 1 |" + padded(position, 16) + "|}{btn 2 |" + padded(gaps, 16) + "|}{btn 3 |" + padded(best, 16) +
           "|}Sent pitboard: " + padded(position, position.size() + 24) + "\n" + padded(gaps, gaps.size() + 16) +
           "\n" + padded(best, best.size() + 16) + "\n";
}

}  // namespace

// Every kind of restart, from a race being tracked with a lap stored, or from one stopped past its
// end; then a lap of lap 1 shows whether tracking and a store are there.
TEST(Restart, EveryKind) {
    const Script tracked = race(2, 7) + lap(8, 60000, 60000, 1) + mark();
    const Script stopped = race(2, 7) + lap(8, 60000, 60000, 3) + mark();
    const Script after = lap(8, 60000, 60000, 1);
    check({
        {"race of 1 lap", stopped + rst(1, 0) + after,
         restart("Race! Number of laps: 1. Allocated 1540bytes.") + lapLine(8)},
        {"race of 99, mandatory stop", tracked + rst(99, 0, 64) + after,
         restart("Race! Number of laps: 99. Allocated 152460bytes.", true) + lapLine(8)},
        {"every other flag", tracked + rst(5, 0, 0xFFBF) + after,
         restart("Race! Number of laps: 5. Allocated 7700bytes.") + lapLine(8)},
        {"qualifying, in a race state", stopped + rst(0, 20) + after,
         restart("Qualification! Duration: 20 Minutes.") + lapLine(8) + kMemoryError},
        {"practice while racing: the store goes, tracking stays", tracked + rst(0, 0, 64) + after,
         restart("Strange restart! Number of laps: 0", true) + lapLine(8) + kMemoryError},
        {"long race while stopped", stopped + rst(100, 0) + after, restart("Strange restart! Number of laps: 100")},
    });
}

TEST(SessionState, EndsOnceAndClearsWhileTheBoardIsAboutAnother) {
    const Script boardOfSeven = race(5, 7) + lap(7, 60000, 60000, 1) + lap(7, 60000, 120000, 2) + mark();
    const Script standingsOfSeven = qualifying(7) + res(7, 60000, 1, 0) + res(7, 59000, 2, 0) + mark();
    check({
        {"session end", race(5, 7) + sta(7, 0, 0) + sta(7, 0, 0),
         "Session ended! Stopping tracking! Clearing buttons!\n{clear}"},
        {"not tracking: only copied", sta(7, 1, 5) + lap(7, 60000, 60000, 1) + lap(7, 60000, 120000, 2), ""},
        {"race, no board yet", race(5, 7) + sta(7, 1, 5) + sta(7, 1, 5), "{clear}{clear}"},
        {"race, board of the viewed", boardOfSeven + sta(7, 1, 5), ""},
        {"race, board of another", boardOfSeven + sta(8, 1, 5) + sta(8, 1, 5), "{clear}{clear}"},
        {"qualifying, standings of the viewed", standingsOfSeven + sta(7, 2, 0), ""},
        {"qualifying, standings of another", standingsOfSeven + sta(8, 2, 0), "{clear}"},
        {"qualifying, another's result since: the board in use is still the viewed's",
         standingsOfSeven + sta(8, 2, 0) + res(8, 61000, 1, 0) + mark() + sta(7, 2, 0), ""},
        {"qualifying, one result of the viewed: the board in use is the one before",
         qualifying(7) + res(7, 60000, 1, 0) + mark() + sta(7, 2, 0), "{clear}"},
        {"race after qualifying: its board in use is the latest",
         qualifying(7) + res(7, 60000, 1, 0) + race(5, 7) + sta(7, 1, 5), ""},
    });
}

TEST(LapStore, LimitsOfABlockAndOfTheRace) {
    check({
        // The 64th record of a lap is stored, the 65th not; lap 0 and PLID 0 name no block or player.
        // The viewed car's elapsed time is below that of the car ahead: the gap is the distance either way.
        {"sixty-four a lap", race(5, 7) + crowd(10, 63, 1) + lap(7, 60000, 60000, 1) + mark() +
                                 lap(99, 60000, 60200, 1) + lap(9, 60000, 1, 0) + lap(0, 60000, 60300, 1) +
                                 lap(7, 61000, 121100, 2),
         lapLine(99) + kMemoryError + lapLine(9) + kMemoryError + lapLine(0) + kMemoryError + lapLine(7, "1:1.0") +
             "Searching in 64 results.\n" + board(7, "1/5", "1:00.00", "-72 | +0\nP64 |    \n1:0.0", "L1/5 P64", "-0.07^9/+0.00")},
        // The viewed player's 65th record is refused, and his board of the lap before still shown.
        {"board of a refused record", race(5, 7) + lap(7, 60000, 60000, 1) + crowd(10, 64, 2) + mark() +
                                          lap(7, 61000, 121000, 2),
         lapLine(7, "1:1.0") + kMemoryError +
             "Searching in 1 results.\n" + board(7, "1/5", "1:00.00")},
        {"the last lap fills the last block; one more ends tracking, even the viewed player's",
         race(2, 7) + lap(3, 60000, 60000, 1) + mark() + lap(3, 60000, 120000, 2) + lap(7, 60000, 180000, 3) +
             lap(7, 60000, 240000, 2) + res(7, 60000, 1, 0),
         lapLine(3) + lapLine(7) + kMemoryError + kMoreLaps},
        {"a longer race announced later never reaches past the store",
         race(2, 7) + sta(7, 1, 10) + mark() + lap(9, 60000, 180000, 3) + lap(7, 60000, 240000, 4) + lap(9, 1, 1, 11),
         lapLine(9) + kMemoryError + lapLine(7) + kMemoryError + lapLine(9, "0:0.0") + kMemoryError + kMoreLaps},
        // One record a player a lap: a repeat is refused, so the cars behind keep their places.
        {"a repeated record", race(5, 7) + lap(8, 60000, 60000, 1) + lap(8, 60000, 60000, 1) +
                                  lap(7, 60000, 60100, 1) + mark() + lap(7, 61000, 121100, 2),
         lapLine(7, "1:1.0") +
             "Searching in 2 results.\n" + board(7, "1/5", "1:00.00", "-100 | +0\nP2 |    \n1:0.0", "L1/5 P2", "-0.10^9/+0.00")},
        {"nobody viewed: a lap of PLID 0 gets no board",
         race(5, 0) + lap(3, 60000, 60000, 1) + mark() + lap(0, 60000, 120000, 2), lapLine(0) + kMemoryError},
        {"a lap line that comes again is refused and gives no second board",
         race(5, 7) + lap(7, 60000, 60000, 1) + lap(7, 60000, 120000, 2) + mark() + lap(7, 60000, 120000, 2),
         lapLine(7) + kMemoryError},
        {"a split of the viewed car clears, tracked or not", sta(7, 0, 0) + spx(8) + spx(7) + spx(7), "{clear}{clear}"}});
}

TEST(Qualifying, ResultsKeepEachPlayersBest) {
    check({
        {"a race, or qualifying without a store", race(3, 7) + res(7, 60000, 1, 0) + sta(7, 2, 0) + res(7, 60000, 1, 0),
         "{clear}"},
        {"a race, and qualifying after the session end: the store stays, no result is taken",
         qualifying(7) + race(3, 7) + res(7, 60000, 1, 0) + sta(7, 0, 0) + sta(7, 2, 0) + res(7, 60000, 1, 0),
         "Session ended! Stopping tracking! Clearing buttons!\n{clear}"},
        {"a qualifying restart empties the store",
         qualifying(9) + res(9, 58000, 1, 0) + rst(0, 10) + mark() + res(9, 59000, 2, 255),
         lapLine(9, "0:59.0") + "9 failed to improve.\nCaution: Best Lap Yet == 0!\n"},
        {"a race restart and a session end leave it",
         qualifying(9) + res(9, 58000, 1, 0) + sta(9, 0, 0) + race(3, 9) + sta(9, 2, 0) + mark() +
             res(9, 58000, 2, 255),
         lapLine(9, "0:58.0") + "9 failed to improve.\n"},
        {"first, better, equal, worse, not improved, no best lap",
         qualifying(9) + res(4, 61000, 1, 2) + res(4, 60500, 2, 0) + res(4, 60500, 3, 0) + res(4, 64000, 4, 1) +
             res(4, 59000, 5, 255) + res(4, 0, 6, 1),
         lapLine(4, "1:1.0") + "ResultNum: 3 recieved.\nNew result for 4: 61000\n" + lapLine(4, "1:0.50") +
             "ResultNum: 1 recieved.\nUpdating PLID 4 time: 60500\n" + lapLine(4, "1:0.50") +
             "ResultNum: 1 recieved.\nUpdating PLID 4 time: 60500\n" + lapLine(4, "1:4.0") +
             "ResultNum: 2 recieved.\n" + lapLine(4, "0:59.0") + "4 failed to improve.\n" + lapLine(4, "0:0.0") +
             "ResultNum: 2 recieved.\nResult of PLID 4 has no best lap. Not stored.\n"},
        {"the 256th player is not stored",
         qualifying(0) + crowd(1, 255, 0, true) +
             mark() + res(0, 59000, 1, 0),
         lapLine(0, "0:59.0") + "ResultNum: 1 recieved.\nNew result for 0: 59000\nCaution: Best Lap Yet == 0!\n"},
        {"a better time than the stored best stands in, and his slot is not counted",
         qualifying(9) + res(1, 58000, 1, 0) + res(9, 60000, 1, 0) + mark() + res(9, 59000, 1, 255) +
             res(9, 59000, 2, 255) + lap(9, 60000, 0, 3),
         lapLine(9, "0:59.0") + "9 failed to improve.\nCaution: Best Lap Yet == 0!\n" + lapLine(9, "0:59.0") +
             "9 failed to improve.\nCaution: Best Lap Yet == 0!\n" + qualifyingBoard("P2", "-1.00/+0.00", "0:59.00")},
    });
}

// The viewed PLID 9's standings among the others' stored bests, whatever their slot order and never
// against his own slot; shown by the board at his lap line after one more result of his.
TEST(Qualifying, StandingsOnTheBoard) {
    const struct {
        std::vector<std::uint32_t> others;  // best laps of other players, in slot order
        std::uint32_t stored, result;       // the viewed player's stored best (0: none), his new result
        std::string position, gaps, best;
    } cases[] = {
        {{58000, 60000}, 0, 59000, "P2", "-1.00/+1.00", "0:59.00"},
        {{60000, 58000}, 0, 59000, "P2", "-1.00/+1.00", "0:59.00"},
        {{58000, 59000}, 0, 59000, "P2", "-1.00/+0.00", "0:59.00"},  // level: no gap, the same place
        {{60000}, 0, 57500, "P1", "-0.00/+2.50", "0:57.50"},
        {{60000}, 58000, 59000, "P1", "-0.00/+2.00", "0:59.00"},  // a worse result: gaps from the stored best
        {{57000, 58500, 59000, 58000, 61000, 60000, 62000}, 0, 59000, "P4", "-0.50/+1.00", "0:59.00"},
    };
    for (const auto& c : cases) {
        Script script = qualifying(9);
        int plid = 1;
        for (const std::uint32_t best : c.others) script = script + res(plid++, best, 1, 0);
        if (c.stored) script = script + res(9, c.stored, 1, 0);
        script = script + res(9, c.result, 2, 4) + res(9, 99000, 3, 255) + mark() + lap(9, 60000, 0, 4);
        EXPECT_EQ(play(script), qualifyingBoard(c.position, c.gaps, c.best)) << c.position << " " << c.gaps;
    }
    EXPECT_EQ(play(qualifying(9) + res(9, 59000, 1, 0) + mark() + lap(9, 60000, 0, 2)), "");  // nothing before
}
