// Race tracking driven with whole packets: restarts, session state, the lap store and qualifying results.
// Console text and sent bytes are checked event by event, in order.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "race/handlers.h"
#include "standin/packets.h"
#include "support/recording_port.h"

namespace {

using standin::makeLap;
using standin::makeRes;
using standin::makeRst;
using standin::makeSta;
using Events = std::vector<std::string>;

// Console texts as written; sends marked so they cannot be mistaken for text.
const std::string kClear = "[sent]" + kClearButtons;
const std::string kNoPit = "Pitting isn't mandatory.\n";
const std::string kMustPit = "Pitting is mandatory!\n";
const std::string kMemoryError = "Memory allocation error!\n";
const std::string kMoreLaps = "More laps than allocated! Ending tracking! Clearing buttons!\n";
const std::string kCaution = "Caution: Best Lap Yet == 0!\n";

std::string lapLine(int plid, const std::string& time = "1:0.0") {
    return "New registered laptime by PLID " + std::to_string(plid) + ": " + time + "\n";
}

struct RaceTracking : ::testing::Test {
    Tracker tracker;
    RecordingPort port;

    void sta(byte viewPlid, byte raceInProg, byte raceLaps) {
        onState(tracker, makeSta(viewPlid, raceInProg, raceLaps), port);
    }
    void rst(byte raceLaps, byte qualMins, word flags = 0) { onRestart(tracker, makeRst(raceLaps, qualMins, flags), port); }
    void lap(byte plid, word lapsDone, unsigned32 lapTime = 60000) {
        onLap(tracker, makeLap(plid, lapTime, lapTime * lapsDone, lapsDone), port);
    }
    void res(byte plid, unsigned32 best, byte resultNum = 0, word lapsDone = 3) {
        onResult(tracker, makeRes(plid, best, lapsDone, resultNum), port);
    }
    // Every event since the last take, then forgets them.
    Events take() {
        Events all;
        for (const auto& event : port.events) all.push_back(event.isSend ? "[sent]" + event.bytes : event.bytes);
        port.clear();
        return all;
    }
    // A race of `laps` laps with `viewed` in view, the restart's output already taken.
    void startRace(byte laps, byte viewed = 200) {
        rst(laps, 0);
        sta(viewed, 1, laps);
        take();
    }
    void startQualifying(byte viewed = 200) {
        rst(0, 10);
        sta(viewed, 2, 0);
        take();
    }
    const LapBlock& block(std::size_t index) { return *tracker.pLaps->block(index); }
};

}  // namespace

TEST(ConsoleTime, MinutesSecondsHundredthsWithoutLeadingZeros) {
    const std::pair<std::uint32_t, std::string> cases[] = {
        {83456, "1:23.45"}, {65030, "1:5.3"}, {0, "0:0.0"}, {59999, "0:59.99"}, {4294967295u, "71582:47.29"}};
    for (const auto& [ms, text] : cases) {
        std::string appended = "t=";
        appendConsoleTime(appended, ms);
        EXPECT_EQ(appended, "t=" + text);
    }
}

// From a race with a stored lap and a qualifying store with a result, tracking or stopped past its end.
TEST_F(RaceTracking, EveryKindOfRestart) {
    const struct {
        char kind;  // race, qualifying or strange
        byte laps, qualMins;
        word flags;
        const char* line;
        bool mustPit;
    } cases[] = {
        {'r', 1, 0, 0, "Race! Number of laps: 1. Allocated 1540bytes.\n", false},
        {'r', 99, 0, HOSTF_MUST_PIT, "Race! Number of laps: 99. Allocated 152460bytes.\n", true},
        {'r', 5, 0, static_cast<word>(~HOSTF_MUST_PIT), "Race! Number of laps: 5. Allocated 7700bytes.\n", false},
        {'q', 0, 20, 0, "Qualification! Duration: 20 Minutes.\n", false},
        {'s', 0, 0, HOSTF_MUST_PIT, "Strange restart! Number of laps: 0\n", true},  // practice
        {'s', 100, 0, HOSTF_MUST_PIT, "Strange restart! Number of laps: 100\n", true},
        {'s', 255, 30, 0, "Strange restart! Number of laps: 255\n", false},
    };
    for (const auto& c : cases) {
        for (bool trackingBefore : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.line << "tracking before: " << trackingBefore);
            tracker = Tracker{};
            startQualifying();
            res(4, 61000);
            rst(2, 0, HOSTF_MUST_PIT);
            sta(7, 1, 2);
            lap(8, 1);
            if (!trackingBefore) lap(8, 3);  // past the race's end: tracking stops, the store stays
            const QualifyingStore* qualifying = tracker.qualifying.get();
            take();

            rst(c.laps, c.qualMins, c.flags);
            EXPECT_EQ(take(), (Events{"Restart detected: ", c.line, "Cleared memory! ", kClear, "Cleared pitboard!\n",
                                      c.mustPit ? kMustPit : kNoPit}));
            EXPECT_EQ(tracker.session.mustPit, c.mustPit);  // the latest restart decides, whatever its kind
            const bool tracking = c.kind != 's' || trackingBefore;
            EXPECT_EQ(tracker.session.tracking, tracking);
            EXPECT_EQ(tracker.pLaps ? tracker.pLaps->blockCount() : 0u, c.kind == 'r' ? c.laps : 0u);
            if (tracker.pLaps) {
                EXPECT_EQ(block(0).arrivals, 0);  // a new store, empty
            }
            ASSERT_TRUE(tracker.qualifying);
            // A qualifying restart starts from an empty store; every other leaves the standings in place.
            EXPECT_EQ(tracker.qualifying->results[0].BTime, c.kind == 'q' ? 0u : 61000u);
            if (c.kind != 'q') {
                EXPECT_EQ(tracker.qualifying.get(), qualifying);
            }

            lap(8, 1);  // a tracked race without a store: every lap line says it cannot be stored
            Events expected;
            if (tracking) expected.push_back(lapLine(8));
            if (tracking && c.kind != 'r') expected.push_back(kMemoryError);
            EXPECT_EQ(take(), expected);
        }
    }
}

TEST_F(RaceTracking, SessionEndIsReportedOnceAndKeepsQualifyingResults) {
    startQualifying();
    res(4, 61000);
    startRace(5);
    sta(200, 0, 0);
    sta(200, 0, 0);
    EXPECT_EQ(take(), (Events{"Session ended! Stopping tracking! Clearing buttons!\n", kClear}));
    EXPECT_FALSE(tracker.session.tracking);
    EXPECT_FALSE(tracker.pLaps);
    ASSERT_TRUE(tracker.qualifying);
    EXPECT_EQ(tracker.qualifying->results[0].BTime, 61000u);
}

// Each IS_STA clears once while the viewed player is not the one the board of the session is about.
TEST_F(RaceTracking, EveryStateClearsWhileTheBoardIsAboutAnotherPlayer) {
    const struct {
        byte session, latestPlid, previousPlid, viewed;
        bool clears;
    } cases[] = {
        {1, 0, 0, 7, true},  // no board yet
        {1, 7, 8, 7, false}, {1, 7, 8, 8, true},  // the race board is latestBoard
        {2, 8, 7, 7, false}, {2, 8, 7, 8, true},  // the qualifying board is previousBoard
        {3, 0, 0, 8, false},                      // neither race nor qualifying
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.session) << " viewing " << int(c.viewed));
        startRace(5, 7);
        tracker.latestBoard.plid = c.latestPlid;
        tracker.previousBoard.plid = c.previousPlid;
        sta(c.viewed, c.session, 5);
        sta(c.viewed, c.session, 5);
        EXPECT_EQ(take(), (c.clears ? Events{kClear, kClear} : Events{}));
    }
}

TEST_F(RaceTracking, WhileIdleStatesAreOnlyCopiedAndLapsIgnored) {
    sta(7, 0, 0);
    sta(7, 1, 5);
    lap(7, 1);
    EXPECT_EQ(tracker.session.sta.ViewPLID, 7);
    EXPECT_EQ(tracker.session.sta.RaceLaps, 5);
    startRace(5, 7);
    sta(7, 3, 5);  // tracking, but neither race nor qualifying
    lap(7, 1);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(block(0).arrivals, 0);
}

TEST_F(RaceTracking, LapsAreStoredInArrivalOrderUpToSixtyFourALapAndNeverInLapZero) {
    startRace(3, 7);
    Events expected;
    for (int plid = 1; plid <= 64; ++plid) {
        lap(static_cast<byte>(plid), 1, 65030);
        expected.push_back(lapLine(plid, "1:5.3"));  // the viewed player's first lap shows no board
    }
    EXPECT_EQ(take(), expected);
    ASSERT_EQ(block(0).arrivals, 64);
    EXPECT_EQ(block(0).laps[0].PLID, 1);
    EXPECT_EQ(block(0).laps[63].PLID, 64);
    EXPECT_EQ(block(0).laps[63].LTime, 65030u);

    lap(65, 1, 65030);
    lap(9, 0);  // names no block
    EXPECT_EQ(take(), (Events{lapLine(65, "1:5.3"), kMemoryError, lapLine(9), kMemoryError}));
    EXPECT_EQ(block(0).arrivals, 64);
    EXPECT_EQ(block(1).arrivals + block(2).arrivals, 0);
    EXPECT_TRUE(tracker.session.tracking);
}

TEST_F(RaceTracking, LapBeyondTheRaceEndsTrackingWithOneClear) {
    startRace(2, 7);
    lap(3, 2);
    EXPECT_EQ(block(1).arrivals, 1);  // the last lap goes into the last block
    take();
    lap(7, 3);  // even the viewed player's gets no board
    EXPECT_EQ(take(), (Events{lapLine(7), kMemoryError, kMoreLaps, kClear}));
    EXPECT_FALSE(tracker.session.tracking);
    ASSERT_TRUE(tracker.pLaps);  // kept until the next restart
    EXPECT_EQ(block(1).arrivals, 1);
    lap(7, 2);
    sta(7, 2, 0);
    res(7, 60000);
    EXPECT_TRUE(take().empty());
}

TEST_F(RaceTracking, LongerRaceReportedLaterNeverReachesBeyondTheStore) {
    startRace(2, 7);
    sta(7, 1, 10);  // the simulator now says ten laps; the store has two blocks
    take();
    Events expected;
    for (word l = 3; l <= 10; ++l) {
        lap(9, l);
        expected.insert(expected.end(), {lapLine(9), kMemoryError});
    }
    lap(7, 4);  // its board would need the block of lap 3, which was never created
    expected.insert(expected.end(), {lapLine(7), kMemoryError});
    EXPECT_EQ(take(), expected);
    EXPECT_TRUE(tracker.session.tracking);
    lap(9, 11);
    EXPECT_EQ(take(), (Events{lapLine(9), kMemoryError, kMoreLaps, kClear}));
    EXPECT_EQ(block(0).arrivals + block(1).arrivals, 0);
}

TEST_F(RaceTracking, ViewedPlayerLapHandsOverToTheRaceBoardEvenWhenRefused) {
    startRace(3, 7);
    lap(7, 1);
    for (int plid = 1; plid <= 64; ++plid) lap(static_cast<byte>(plid == 7 ? 70 : plid), 2);
    take();
    lap(7, 2, 61000);  // the 65th of lap 2: refused, and the board of lap 1 is still shown
    ASSERT_FALSE(port.sends().empty());
    EXPECT_EQ(port.sends()[0], kClearButtons);  // a race board starts by clearing the old one
    const Events events = take();
    EXPECT_EQ(Events(events.begin(), events.begin() + 2), (Events{lapLine(7, "1:1.0"), kMemoryError}));
    EXPECT_EQ(tracker.previousBoard.plid, 7);
    EXPECT_EQ(tracker.previousBoard.lap, 1);
}

TEST_F(RaceTracking, SplitOfTheViewedCarClearsEvenWhenNotTracking) {
    sta(7, 0, 0);
    onSplit(tracker, standin::makeSpx(8), port);
    EXPECT_TRUE(take().empty());
    onSplit(tracker, standin::makeSpx(7), port);
    EXPECT_EQ(take(), Events{kClear});
}

TEST_F(RaceTracking, ResultsAreIgnoredOutsideTrackedQualifying) {
    sta(7, 2, 0);
    res(7, 60000);  // not tracking
    startRace(3, 7);
    res(7, 60000);  // a race
    sta(7, 2, 0);
    take();
    res(7, 60000);  // qualifying in view, but no qualifying store since the start
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(tracker.latestBoard.plid, 0);
}

TEST_F(RaceTracking, ResultsKeepEachPlayersBestInOneSlot) {
    startQualifying();
    res(4, 61000, 2);
    EXPECT_EQ(take(), (Events{lapLine(4, "1:1.0"), "ResultNum: 3 recieved.\n", "New result for 4: 61000\n"}));
    res(5, 62000);
    res(4, 60500, 0, 7);
    EXPECT_EQ(take().back(), "Updating PLID 4 time: 60500\n");
    res(4, 60500, 0, 8);  // an equal time replaces it too
    EXPECT_EQ(take().back(), "Updating PLID 4 time: 60500\n");
    EXPECT_EQ(tracker.qualifying->results[0].LapsDone, 8);

    res(4, 64000, 1);  // worse: the stored best stays, no second slot
    EXPECT_EQ(take(), (Events{lapLine(4, "1:4.0"), "ResultNum: 2 recieved.\n"}));
    res(4, 59000, 255);
    EXPECT_EQ(take(), (Events{lapLine(4, "0:59.0"), "4 failed to improve.\n"}));
    res(4, 0, 1);  // without a best lap: never empties the stored best
    EXPECT_EQ(take(), (Events{lapLine(4, "0:0.0"), "ResultNum: 2 recieved.\n",
                              "Result of PLID 4 has no best lap. Not stored.\n"}));

    const auto& slots = tracker.qualifying->results;
    EXPECT_EQ(slots[0].PLID, 4);
    EXPECT_EQ(slots[0].BTime, 60500u);
    EXPECT_EQ(slots[1].PLID, 5);
    EXPECT_EQ(slots[2].BTime, 0u);
}

TEST_F(RaceTracking, FullStoreDropsTheNextNewPlayer) {
    startQualifying();
    for (int plid = 1; plid <= 255; ++plid) res(static_cast<byte>(plid), 60000u + static_cast<unsigned>(plid));
    take();
    res(0, 59000, 0);  // PLID 0: the 256th player
    EXPECT_EQ(take(), (Events{lapLine(0, "0:59.0"), "ResultNum: 1 recieved.\n", "New result for 0: 59000\n"}));
    EXPECT_EQ(tracker.qualifying->results[255].BTime, 0u);  // the last slot stays empty
    EXPECT_EQ(tracker.qualifying->results[254].PLID, 255);
    res(255, 50000);  // a stored player still improves
    EXPECT_EQ(take().back(), "Updating PLID 255 time: 50000\n");
}

// Standings of viewed PLID 9 from the nearest stored bests of the others, whatever their slot order;
// never from his own slot.
TEST_F(RaceTracking, QualifyingStandings) {
    const struct {
        std::vector<unsigned32> others;  // best laps of other players, in slot order
        unsigned32 stored, time;         // the viewed player's stored best (0: none) and his new result
        byte resultNum;
        std::uint16_t position;
        unsigned32 ahead, behind;
        bool caution;
    } cases[] = {
        {{58000, 60000}, 0, 59000, 4, 2, 1000, 1000, false},
        {{60000, 58000}, 0, 59000, 4, 2, 1000, 1000, false},
        {{50000, 58000, 60000, 70000}, 0, 59000, 4, 3, 1000, 1000, false},
        {{70000, 60000, 58000, 50000}, 0, 59000, 4, 3, 1000, 1000, false},
        {{58000, 59000}, 0, 59000, 1, 2, 1000, 0, false},  // level with 59000: no gap behind
        {{58000, 59000}, 59000, 57500, 0, 1, 0, 500, false},
        {{60000}, 58000, 59000, 1, 1, 0, 2000, false},  // a worse result: gaps from the stored 58000
        {{58000, 60000}, 0, 59000, 255, 2, 1000, 1000, true},
        {{58000, 60000}, 59500, 59000, 255, 2, 1000, 1000, true},  // not from his own 59500
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        tracker = Tracker{};
        startQualifying(9);
        byte plid = 1;
        for (unsigned32 best : c.others) res(plid++, best);
        if (c.stored) res(9, c.stored);
        take();
        tracker.latestBoard.lapTime = 77;  // must reach previousBoard
        res(9, c.time, c.resultNum, 0x0105);
        const Events events = take();
        EXPECT_EQ(std::count(events.begin(), events.end(), kCaution), c.caution ? 1 : 0);
        EXPECT_EQ(events.back() == kCaution, c.caution);
        EXPECT_EQ(tracker.previousBoard.lapTime, 77u);
        const BoardData& board = tracker.latestBoard;
        EXPECT_EQ(board.plid, 9);
        EXPECT_EQ(board.position, c.position);
        EXPECT_EQ(board.gapAhead, c.ahead);
        EXPECT_EQ(board.gapBehind, c.behind);
        EXPECT_EQ(board.lapTime, c.time);  // the packet's own time
        EXPECT_EQ(board.lap, 5);           // the low byte of LapsDone
    }
}

TEST_F(RaceTracking, QualifyingLapsShowTheBoardOnlyOnceAResultIsIn) {
    startQualifying(9);
    lap(9, 3);
    lap(4, 3);
    EXPECT_TRUE(take().empty());  // nothing stored or printed, no board yet
    res(9, 59000);
    res(9, 58000);  // previousBoard now holds the first result
    take();
    lap(4, 4);
    EXPECT_TRUE(take().empty());
    lap(9, 4);
    const std::vector<std::string> sends = port.sends();
    ASSERT_FALSE(sends.empty());
    EXPECT_EQ(sends[0].substr(0, 2), bytes({28, ISP_BTN}));  // buttons replaced, no clear first
}
