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

// Console texts as written; sends marked so they cannot be mistaken for text.
std::string sent(const std::string& packet) { return "[sent]" + packet; }
const std::string kClear = sent(kClearButtons);

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
    std::vector<std::string> take() {
        std::vector<std::string> all;
        for (const auto& event : port.events) all.push_back(event.isSend ? sent(event.bytes) : event.bytes);
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

std::vector<std::string> restartEvents(const std::string& kindLine, const std::string& pitLine) {
    return {"Restart detected: ", kindLine, "Cleared memory! ", kClear, "Cleared pitboard!\n", pitLine};
}
const std::string kNoPit = "Pitting isn't mandatory.\n";
const std::string kMustPit = "Pitting is mandatory!\n";
const std::string kMemoryError = "Memory allocation error!\n";
const std::string kMoreLaps = "More laps than allocated! Ending tracking! Clearing buttons!\n";

}  // namespace

TEST(ConsoleTime, MinutesSecondsHundredthsWithoutLeadingZeros) {
    const auto format = [](std::uint32_t ms) { std::string s; appendConsoleTime(s, ms); return s; };
    EXPECT_EQ(format(83456), "1:23.45");
    EXPECT_EQ(format(65030), "1:5.3");
    EXPECT_EQ(format(0), "0:0.0");
    EXPECT_EQ(format(59999), "0:59.99");
    EXPECT_EQ(format(4294967295u), "71582:47.29");
    std::string appended = "t=";
    appendConsoleTime(appended, 600000);
    EXPECT_EQ(appended, "t=10:0.0");
}

TEST_F(RaceTracking, RaceRestartsOfOneAndNinetyNineLaps) {
    rst(1, 0);
    EXPECT_EQ(take(), restartEvents("Race! Number of laps: 1. Allocated 1540bytes.\n", kNoPit));
    EXPECT_TRUE(tracker.session.tracking);
    EXPECT_FALSE(tracker.session.mustPit);
    ASSERT_TRUE(tracker.pLaps);
    EXPECT_EQ(tracker.pLaps->blockCount(), 1u);

    rst(99, 0, HOSTF_MUST_PIT);
    EXPECT_EQ(take(), restartEvents("Race! Number of laps: 99. Allocated 152460bytes.\n", kMustPit));
    EXPECT_TRUE(tracker.session.mustPit);
    EXPECT_EQ(tracker.pLaps->blockCount(), 99u);
}

TEST_F(RaceTracking, QualifyingRestartCreatesAnEmptyStoreAndNoLapStore) {
    startRace(5);
    rst(0, 20);
    EXPECT_EQ(take(), restartEvents("Qualification! Duration: 20 Minutes.\n", kNoPit));
    EXPECT_TRUE(tracker.session.tracking);
    EXPECT_FALSE(tracker.pLaps);
    ASSERT_TRUE(tracker.qualifying);

    sta(200, 2, 0);
    res(4, 61000);
    rst(0, 15);  // the next qualifying starts from an empty store
    ASSERT_TRUE(tracker.qualifying);
    for (const IS_RES& slot : tracker.qualifying->results) ASSERT_EQ(slot.BTime, 0u);

    const QualifyingStore* kept = tracker.qualifying.get();
    rst(3, 0);  // a race leaves the qualifying store in place
    EXPECT_EQ(tracker.qualifying.get(), kept);
}

TEST_F(RaceTracking, StrangeRestartsCreateNoStoreAndKeepTracking) {
    rst(0, 0);  // practice
    EXPECT_EQ(take(), restartEvents("Strange restart! Number of laps: 0\n", kNoPit));
    EXPECT_FALSE(tracker.session.tracking);
    EXPECT_FALSE(tracker.pLaps);
    EXPECT_FALSE(tracker.qualifying);

    startRace(5, 7);
    rst(100, 0, HOSTF_MUST_PIT);
    EXPECT_EQ(take(), restartEvents("Strange restart! Number of laps: 100\n", kMustPit));
    EXPECT_TRUE(tracker.session.tracking);
    EXPECT_FALSE(tracker.pLaps);
    rst(255, 30);
    EXPECT_EQ(take(), restartEvents("Strange restart! Number of laps: 255\n", kNoPit));
    EXPECT_FALSE(tracker.session.mustPit);  // the latest restart decides, whatever its kind

    // Still tracking without a store: every lap line says it cannot be stored, and no board follows.
    lap(7, 2, 83456);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 7: 1:23.45\n", kMemoryError}));
}

TEST_F(RaceTracking, MandatoryStopFollowsOnlyTheFlagBit) {
    rst(5, 0, static_cast<word>(~HOSTF_MUST_PIT));
    EXPECT_FALSE(tracker.session.mustPit);
    EXPECT_EQ(take().back(), kNoPit);
    rst(0, 0, HOSTF_MUST_PIT);
    EXPECT_TRUE(tracker.session.mustPit);
    EXPECT_EQ(take().back(), kMustPit);
}

TEST_F(RaceTracking, SecondRaceRestartStartsFromAnEmptyStore) {
    startRace(3);
    lap(1, 1);
    ASSERT_EQ(block(0).arrivals, 1);
    rst(3, 0);
    sta(200, 1, 3);
    EXPECT_EQ(block(0).arrivals, 0);
    EXPECT_EQ(block(0).laps[0].PLID, 0);
}

TEST_F(RaceTracking, StateWhileIdleIsOnlyCopied) {
    sta(7, 0, 0);
    sta(7, 1, 5);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(tracker.session.sta.ViewPLID, 7);
    EXPECT_EQ(tracker.session.sta.RaceLaps, 5);
}

TEST_F(RaceTracking, SessionEndIsReportedOnceAndKeepsQualifyingResults) {
    startQualifying();
    res(4, 61000);
    rst(5, 0);
    sta(200, 1, 5);
    take();
    sta(200, 0, 0);
    EXPECT_EQ(take(), (std::vector<std::string>{"Session ended! Stopping tracking! Clearing buttons!\n", kClear}));
    EXPECT_FALSE(tracker.session.tracking);
    EXPECT_FALSE(tracker.pLaps);
    ASSERT_TRUE(tracker.qualifying);
    EXPECT_EQ(tracker.qualifying->results[0].BTime, 61000u);
    sta(200, 0, 0);
    EXPECT_TRUE(take().empty());
}

TEST_F(RaceTracking, EveryStateClearsWhileTheRaceBoardIsAboutAnotherPlayer) {
    startRace(5, 7);  // no board yet: latestBoard.plid is 0
    sta(7, 1, 5);
    EXPECT_EQ(take(), std::vector<std::string>{kClear});
    sta(7, 1, 5);
    EXPECT_EQ(take(), std::vector<std::string>{kClear});
    tracker.latestBoard.plid = 7;
    tracker.previousBoard.plid = 8;  // not the race board's player
    sta(7, 1, 5);
    EXPECT_TRUE(take().empty());
    sta(8, 1, 5);
    EXPECT_EQ(take(), std::vector<std::string>{kClear});
    sta(8, 3, 5);  // neither race nor qualifying
    EXPECT_TRUE(take().empty());
}

TEST_F(RaceTracking, EveryStateClearsWhileTheQualifyingBoardIsAboutAnotherPlayer) {
    startQualifying(7);
    tracker.previousBoard.plid = 7;
    tracker.latestBoard.plid = 8;  // not the qualifying board's player
    sta(7, 2, 0);
    EXPECT_TRUE(take().empty());
    sta(8, 2, 0);
    EXPECT_EQ(take(), std::vector<std::string>{kClear});
    sta(8, 2, 0);
    EXPECT_EQ(take(), std::vector<std::string>{kClear});
}

TEST_F(RaceTracking, LapsAreIgnoredWhenNotTrackingOrOutsideARace) {
    sta(7, 1, 5);
    lap(7, 1);
    startRace(5, 7);
    sta(7, 3, 5);
    lap(7, 1);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(block(0).arrivals, 0);
}

TEST_F(RaceTracking, LapsAreStoredInArrivalOrderUpToSixtyFourALap) {
    startRace(3, 200);
    for (int plid = 1; plid <= 64; ++plid) lap(static_cast<byte>(plid), 1, 65030);
    EXPECT_EQ(take().back(), "New registered laptime by PLID 64: 1:5.3\n");
    ASSERT_EQ(block(0).arrivals, 64);
    EXPECT_EQ(block(0).laps[0].PLID, 1);
    EXPECT_EQ(block(0).laps[63].PLID, 64);
    EXPECT_EQ(block(0).laps[63].LTime, 65030u);

    lap(65, 1, 65030);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 65: 1:5.3\n", kMemoryError}));
    EXPECT_EQ(block(0).arrivals, 64);
    EXPECT_EQ(block(1).arrivals, 0);
}

TEST_F(RaceTracking, LapZeroNamesNoBlock) {
    startRace(3, 7);
    lap(7, 0);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 7: 1:0.0\n", kMemoryError}));
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(block(i).arrivals, 0);
    EXPECT_TRUE(tracker.session.tracking);
}

TEST_F(RaceTracking, FirstLapOfTheViewedPlayerIsStoredWithoutABoard) {
    startRace(3, 7);
    lap(7, 1);
    EXPECT_EQ(take(), std::vector<std::string>{"New registered laptime by PLID 7: 1:0.0\n"});
    EXPECT_EQ(block(0).laps[0].PLID, 7);
}

TEST_F(RaceTracking, LapBeyondTheRaceEndsTrackingWithOneClear) {
    startRace(2, 7);
    lap(3, 2);
    EXPECT_EQ(block(1).arrivals, 1);  // the last lap goes into the last block
    take();
    lap(7, 3);  // even the viewed player's gets no board
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 7: 1:0.0\n", kMemoryError,
                                                kMoreLaps, kClear}));
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
    for (word l = 3; l <= 10; ++l) lap(9, l);
    std::vector<std::string> expected;
    for (int l = 3; l <= 10; ++l) {
        expected.push_back("New registered laptime by PLID 9: 1:0.0\n");
        expected.push_back(kMemoryError);
    }
    EXPECT_EQ(take(), expected);
    EXPECT_TRUE(tracker.session.tracking);

    lap(7, 4);  // its board would need the block of lap 3, which was never created
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 7: 1:0.0\n", kMemoryError}));
    lap(9, 11);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 9: 1:0.0\n", kMemoryError,
                                                kMoreLaps, kClear}));
    EXPECT_EQ(block(0).arrivals + block(1).arrivals, 0);
}

TEST_F(RaceTracking, ViewedPlayerLapHandsOverToTheRaceBoard) {
    startRace(3, 7);
    lap(7, 1);
    for (int plid = 1; plid <= 64; ++plid) lap(static_cast<byte>(plid == 7 ? 70 : plid), 2);
    take();
    lap(7, 2, 61000);  // the 65th of lap 2: refused, and the board of lap 1 is still shown
    const std::vector<std::string> events = take();
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0], "New registered laptime by PLID 7: 1:1.0\n");
    EXPECT_EQ(events[1], kMemoryError);
    const auto firstSend = std::find_if(events.begin(), events.end(),
                                        [](const std::string& e) { return e.rfind("[sent]", 0) == 0; });
    ASSERT_NE(firstSend, events.end());
    EXPECT_EQ(*firstSend, kClear);  // a race board starts by clearing the old one
    EXPECT_EQ(tracker.previousBoard.plid, 7);
    EXPECT_EQ(tracker.previousBoard.lap, 1);
    EXPECT_EQ(block(1).arrivals, 64);
}

TEST_F(RaceTracking, SplitOfTheViewedCarClearsEvenWhenNotTracking) {
    sta(7, 0, 0);
    onSplit(tracker, standin::makeSpx(8), port);
    EXPECT_TRUE(take().empty());
    onSplit(tracker, standin::makeSpx(7), port);
    EXPECT_EQ(take(), std::vector<std::string>{kClear});
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
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 4: 1:1.0\n", "ResultNum: 3 recieved.\n",
                                                "New result for 4: 61000\n"}));
    res(5, 62000);
    res(4, 60500, 0, 7);
    EXPECT_EQ(take().back(), "Updating PLID 4 time: 60500\n");
    res(4, 60500, 0, 8);  // an equal time replaces it too
    EXPECT_EQ(take().back(), "Updating PLID 4 time: 60500\n");
    EXPECT_EQ(tracker.qualifying->results[0].LapsDone, 8);

    res(4, 64000, 1);  // worse: the stored best stays, no second slot
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 4: 1:4.0\n", "ResultNum: 2 recieved.\n"}));
    res(4, 59000, 255);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 4: 0:59.0\n", "4 failed to improve.\n"}));

    const auto& slots = tracker.qualifying->results;
    EXPECT_EQ(slots[0].PLID, 4);
    EXPECT_EQ(slots[0].BTime, 60500u);
    EXPECT_EQ(slots[1].PLID, 5);
    EXPECT_EQ(slots[2].BTime, 0u);
}

TEST_F(RaceTracking, ResultWithoutABestLapNeverEmptiesTheStoredBest) {
    startQualifying();
    res(4, 61000);
    take();
    res(4, 0, 1);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 4: 0:0.0\n", "ResultNum: 2 recieved.\n",
                                                "Result of PLID 4 has no best lap. Not stored.\n"}));
    EXPECT_EQ(tracker.qualifying->results[0].PLID, 4);
    EXPECT_EQ(tracker.qualifying->results[0].BTime, 61000u);
}

TEST_F(RaceTracking, FullStoreDropsTheNextNewPlayer) {
    startQualifying();
    for (int plid = 1; plid <= 255; ++plid) res(static_cast<byte>(plid), 60000u + static_cast<unsigned>(plid));
    take();
    res(0, 59000, 0);  // PLID 0: the 256th player
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 0: 0:59.0\n", "ResultNum: 1 recieved.\n",
                                                "New result for 0: 59000\n"}));
    EXPECT_EQ(tracker.qualifying->results[255].BTime, 0u);  // the last slot stays empty
    EXPECT_EQ(tracker.qualifying->results[254].PLID, 255);
    res(255, 50000);  // a stored player still improves
    EXPECT_EQ(take().back(), "Updating PLID 255 time: 50000\n");
}

TEST_F(RaceTracking, QualifyingStandingsUseTheNearestTimesInAnySlotOrder) {
    struct Case {
        std::vector<unsigned32> others;  // best laps of other players, in slot order
        std::uint16_t position;
    };
    for (const Case& c : {Case{{58000, 60000}, 2}, Case{{60000, 58000}, 2},
                          Case{{50000, 58000, 60000, 70000}, 3}, Case{{70000, 60000, 58000, 50000}, 3}}) {
        tracker = Tracker{};
        startQualifying(9);
        byte plid = 1;
        for (unsigned32 best : c.others) res(plid++, best);
        tracker.latestBoard.lapTime = 77;  // must reach previousBoard
        res(9, 59000, 4, 0x0105);
        EXPECT_EQ(tracker.previousBoard.lapTime, 77u);
        const BoardData& board = tracker.latestBoard;
        EXPECT_EQ(board.plid, 9);
        EXPECT_EQ(board.position, c.position);
        EXPECT_EQ(board.gapAhead, 1000u);
        EXPECT_EQ(board.gapBehind, 1000u);
        EXPECT_EQ(board.lapTime, 59000u);
        EXPECT_EQ(board.lap, 5);  // the low byte of LapsDone
    }
}

TEST_F(RaceTracking, QualifyingStandingsShareEqualTimesAndLeadWithoutAGap) {
    startQualifying(9);
    res(1, 58000);
    res(2, 59000);
    res(9, 59000);
    EXPECT_EQ(tracker.latestBoard.position, 2);  // level with PLID 2
    EXPECT_EQ(tracker.latestBoard.gapAhead, 1000u);
    EXPECT_EQ(tracker.latestBoard.gapBehind, 0u);
    res(9, 57500);
    EXPECT_EQ(tracker.latestBoard.position, 1);
    EXPECT_EQ(tracker.latestBoard.gapAhead, 0u);
    EXPECT_EQ(tracker.latestBoard.gapBehind, 500u);
    EXPECT_EQ(tracker.previousBoard.position, 2);
}

TEST_F(RaceTracking, WorseResultKeepsTheStoredBestAndNeverCountsThePlayerAgainstHimself) {
    startQualifying(9);
    res(9, 58000);
    res(3, 60000);
    take();
    res(9, 59000, 1);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 9: 0:59.0\n", "ResultNum: 2 recieved.\n"}));
    EXPECT_EQ(tracker.qualifying->results[0].BTime, 58000u);
    EXPECT_EQ(tracker.qualifying->results[2].BTime, 0u);
    const BoardData& board = tracker.latestBoard;
    EXPECT_EQ(board.position, 1);
    EXPECT_EQ(board.gapAhead, 0u);
    EXPECT_EQ(board.gapBehind, 2000u);  // from the stored best, 58000
    EXPECT_EQ(board.lapTime, 59000u);   // the packet's own time
}

TEST_F(RaceTracking, ViewedPlayerWithoutAStoredBestUsesThePacketsTime) {
    startQualifying(9);
    res(1, 58000);
    res(2, 60000);
    take();
    res(9, 59000, 255);
    EXPECT_EQ(take(), (std::vector<std::string>{"New registered laptime by PLID 9: 0:59.0\n", "9 failed to improve.\n",
                                                "Caution: Best Lap Yet == 0!\n"}));
    EXPECT_EQ(tracker.latestBoard.position, 2);
    EXPECT_EQ(tracker.latestBoard.gapAhead, 1000u);
    EXPECT_EQ(tracker.latestBoard.gapBehind, 1000u);
    for (std::size_t i = 2; i < kResultSlots; ++i) EXPECT_EQ(tracker.qualifying->results[i].BTime, 0u);

    res(9, 59500);  // stored; then a time below it that the simulator did not take
    res(9, 59000, 255);
    EXPECT_EQ(take().back(), "Caution: Best Lap Yet == 0!\n");
    EXPECT_EQ(tracker.latestBoard.position, 2);
    EXPECT_EQ(tracker.latestBoard.gapBehind, 1000u);  // to PLID 2, not to his own 59500
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
