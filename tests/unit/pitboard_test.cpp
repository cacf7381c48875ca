// The race and qualifying pitboards byte for byte, their console reports, the text formats and the time-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "standin/packets.h"
#include "strategy/pitboard.h"
#include "support/recording_port.h"

using standin::makeLap;
using standin::makeSta;

namespace {

constexpr std::uint8_t kViewed = 7;

// The IS_BTN header of one board line, byte for byte.
std::string buttonHeader(int clickId, int top, int window) {
    return bytes({12 + window,  // Size
                  45,           // Type ISP_BTN
                  clickId,      // ReqI
                  0,            // UCID
                  clickId,      // ClickID
                  0,            // Inst
                  32,           // BStyle ISB_DARK
                  0,            // TypeIn
                  10,           // L
                  top,          // T
                  20,           // W
                  10});         // H
}

std::string spaces(std::size_t count) { return std::string(count, ' '); }

template <std::size_t N>
void setText(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(std::strlen(text), N));
}

struct RaceBoard : ::testing::Test {
    Tracker tracker;
    RecordingPort port;

    RaceBoard() {
        tracker.session.sta = makeSta(kViewed, 1, 10);
        tracker.session.tracking = true;
        tracker.pLaps = std::make_unique<RaceLapStore>(10);
    }

    // Appends a lap record to the block of its lap.
    void arrive(std::uint8_t plid, std::uint32_t lapTime, std::uint32_t elapsed, std::uint16_t lapsDone) {
        LapBlock& block = *tracker.pLaps->block(lapsDone - 1u);
        block.laps[block.arrivals++] = makeLap(plid, lapTime, elapsed, lapsDone);
    }

    // Lap 5 of six cars, the viewed one third: 1.80 s behind the second, 0.60 s ahead of the fourth.
    void fillLapFive() {
        arrive(3, 82000, 500000, 5);
        arrive(4, 82500, 501000, 5);
        arrive(kViewed, 83450, 502800, 5);
        arrive(5, 83000, 503400, 5);
        arrive(6, 84000, 504000, 5);
        arrive(8, 85000, 509000, 5);
    }

    void previousBoardOfViewed(std::uint16_t position, std::uint32_t ahead, std::uint32_t behind, const char* marker) {
        BoardData& previous = tracker.previousBoard;
        previous.plid = kViewed;
        previous.position = position;
        previous.gapAhead = ahead;
        previous.gapBehind = behind;
        setText(previous.marker, marker);
    }

    std::string line(std::size_t index) const { return port.sends().at(index); }
};

TEST_F(RaceBoard, WorkedExampleByteForByte) {
    fillLapFive();
    previousBoardOfViewed(3, 2500, 900, "   ");
    setText(tracker.latestBoard.advice, "SET 38% F");
    tracker.latestBoard.shownAt = 70000;
    tracker.session.currentTime = 123456;

    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);

    const std::vector<RecordingPort::Event> expected = {
        {false, "Searching in 6 results.\n"},
        {false, "Pitboard for 7: Lap 5/10\n"},
        {false, "-1800 | +600\n"},
        {false, "P3 |    \n"},
        {false, "1:23.45\n"},
        {true, kClearButtons},
        {true, buttonHeader(1, 50, 16)},
        {true, "L5/10 P3" + spaces(8)},
        {true, buttonHeader(2, 58, 20)},
        {true, "^2-1.80^9/^1+0.60" + spaces(3)},
        {true, buttonHeader(3, 66, 16)},
        {true, "1:23.45 ^1   " + spaces(3)},
        {false, "Sending advice:SET 38% F\n"},
        {true, buttonHeader(4, 74, 12)},
        {true, std::string("SET 38% F\0\0\0", 12)},
    };
    ASSERT_EQ(port.events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(port.events[i].isSend, expected[i].isSend) << "event " << i;
        EXPECT_EQ(port.events[i].bytes, expected[i].bytes) << "event " << i;
    }

    // The shown board moves on whole, stamp included; the new one starts without marker and advice.
    const BoardData& previous = tracker.previousBoard;
    EXPECT_EQ(previous.plid, kViewed);
    EXPECT_EQ(previous.position, 3);
    EXPECT_EQ(previous.lap, 5);
    EXPECT_EQ(previous.raceLaps, 10);
    EXPECT_EQ(previous.lapTime, 83450u);
    EXPECT_EQ(previous.gapAhead, 1800u);
    EXPECT_EQ(previous.gapBehind, 600u);
    EXPECT_EQ(std::string(previous.marker, 4), std::string("   \0", 4));
    EXPECT_EQ(std::string(previous.advice), "SET 38% F");
    EXPECT_EQ(previous.shownAt, 70000u);
    EXPECT_EQ(std::string(tracker.latestBoard.marker, 4), std::string(4, '\0'));
    EXPECT_EQ(std::string(tracker.latestBoard.advice, 12), std::string(12, '\0'));
    EXPECT_EQ(tracker.latestBoard.shownAt, 123456u);
}

TEST_F(RaceBoard, PositionColoursCompareWithTheSamePlayersLastBoard) {
    fillLapFive();
    previousBoardOfViewed(4, 0, 0, "");
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(2), "L5/10 P^23" + spaces(6));  // gained

    port.clear();
    previousBoardOfViewed(1, 0, 0, "");
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(2), "L5/10 P^13" + spaces(6));  // lost

    port.clear();
    previousBoardOfViewed(1, 0, 0, "");
    tracker.previousBoard.plid = 9;  // a board about someone else compares nothing
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(2), "L5/10 P3" + spaces(8));
    EXPECT_EQ(line(4), "-1.80^9/+0.60" + spaces(7));
    EXPECT_EQ(line(6), "1:23.45    " + spaces(5));
}

TEST_F(RaceBoard, GapColoursOnlyAtAnUnchangedPosition) {
    fillLapFive();
    previousBoardOfViewed(3, 1000, 300, "   ");  // the car ahead got away, the one behind dropped back
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(4), "^1-1.80^9/^2+0.60" + spaces(3));

    port.clear();
    previousBoardOfViewed(2, 1000, 300, "   ");  // a lost place: the gaps are to other cars
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(4), "-1.80^9/+0.60" + spaces(7));

    port.clear();
    previousBoardOfViewed(3, 1800, 600, "   ");  // equal gaps: no colour
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(4), "-1.80^9/+0.60" + spaces(7));
}

TEST_F(RaceBoard, LeaderAndLastCarShowZeroGaps) {
    arrive(kViewed, 83450, 502800, 5);
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(port.console(), "Searching in 1 results.\nPitboard for 7: Lap 5/10\n-0 | +0\nP1 |    \n1:23.45\n");
    EXPECT_EQ(line(4), "-0.00^9/+0.00" + spaces(7));
}

TEST_F(RaceBoard, PenaltyMarkers) {
    fillLapFive();
    const struct {
        std::uint8_t penalty;
        const char* marker;
    } cases[] = {{PENALTY_DT_VALID, "D/T"}, {PENALTY_SG_VALID, "S&G"}, {1, ""}, {3, ""}, {5, ""}};
    for (const auto& c : cases) {
        port.clear();
        previousBoardOfViewed(3, 1800, 600, "xyz");  // never equal, so no repeat colour
        showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6, c.penalty), port);
        EXPECT_EQ(line(6), (std::string("1:23.45 ") + c.marker + spaces(14)).substr(0, 16)) << int(c.penalty);
        EXPECT_EQ(std::string(tracker.previousBoard.marker, 4), (std::string(c.marker) + std::string(4, '\0')).substr(0, 4));
    }
}

TEST_F(RaceBoard, RepeatedMarkerIsRed) {
    fillLapFive();
    previousBoardOfViewed(3, 1800, 600, "D/T");
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6, PENALTY_DT_VALID), port);
    EXPECT_EQ(line(6), "1:23.45 ^1D/T" + spaces(3));

    port.clear();  // the board just shown had D/T; served now
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6, PENALTY_NONE, 1), port);
    EXPECT_EQ(line(6), "1:23.45    " + spaces(5));

    port.clear();  // two empty markers in a row are equal too
    previousBoardOfViewed(3, 1800, 600, "");
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6, 7), port);
    EXPECT_EQ(line(6), "1:23.45 ^1" + spaces(6));
}

TEST_F(RaceBoard, MandatoryStopShowsPitOverTheLastThreeLapsUntilMade) {
    tracker.session.mustPit = true;
    arrive(kViewed, 83000, 500000, 5);
    arrive(kViewed, 83000, 583000, 6);
    arrive(kViewed, 83000, 666000, 7);
    const struct {
        std::uint16_t lapsDone;
        std::uint8_t stops;
        const char* marker;
    } cases[] = {{6, 0, "   "}, {7, 0, "PIT"}, {8, 0, "PIT"}, {7, 1, "   "}, {8, 1, "   "}};
    for (const auto& c : cases) {
        port.clear();
        tracker.previousBoard.plid = 0;
        showRaceBoard(tracker, makeLap(kViewed, 83000, 700000, c.lapsDone, PENALTY_NONE, c.stops), port);
        EXPECT_EQ(std::string(tracker.previousBoard.marker), c.marker) << c.lapsDone << "/" << int(c.stops);
    }

    port.clear();
    tracker.session.mustPit = false;
    showRaceBoard(tracker, makeLap(kViewed, 83000, 700000, 8), port);
    EXPECT_EQ(std::string(tracker.previousBoard.marker), "   ");
}

TEST_F(RaceBoard, LastLapAndFinishedAdvice) {
    arrive(kViewed, 83000, 600000, 8);
    arrive(kViewed, 83000, 683000, 9);

    showRaceBoard(tracker, makeLap(kViewed, 83000, 683000, 9), port);
    ASSERT_EQ(port.sends().size(), 9u);
    EXPECT_EQ(line(7), buttonHeader(4, 74, 12));
    EXPECT_EQ(line(8), std::string("LAST LAP\0\0\0\0", 12));
    EXPECT_EQ(port.console().substr(port.console().rfind("Sending")), "Sending advice:LAST LAP\n");

    port.clear();
    showRaceBoard(tracker, makeLap(kViewed, 83000, 766000, 10), port);
    ASSERT_EQ(port.sends().size(), 9u);
    EXPECT_EQ(line(8), std::string("FINISHED\0\0\0\0", 12));

    port.clear();  // an advice written at this lap line stays
    setText(tracker.latestBoard.advice, "SET 12% F");
    showRaceBoard(tracker, makeLap(kViewed, 83000, 683000, 9), port);
    EXPECT_EQ(line(8), std::string("SET 12% F\0\0\0", 12));
}

TEST_F(RaceBoard, GapsFromOneHundredSecondsLeaveOneZeroByte) {
    arrive(3, 80000, 400000, 5);
    arrive(kViewed, 83450, 500000, 5);
    arrive(4, 83450, 620000, 5);
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(4), "-100^9/+120" + spaces(8) + std::string(1, '\0'));
    EXPECT_EQ(port.sends().size(), 7u);  // no advice: three lines after the clear
    EXPECT_EQ(port.console().find("Sending advice:"), std::string::npos);
}

TEST_F(RaceBoard, AdviceWithoutTerminatorStaysWithinItsTwelveBytes) {
    arrive(kViewed, 83000, 600000, 1);
    std::memcpy(tracker.latestBoard.advice, "ABCDEFGHIJKL", 12);
    showRaceBoard(tracker, makeLap(kViewed, 83000, 683000, 2), port);
    EXPECT_EQ(line(2), "L1/10 P1" + spaces(8));  // the second lap line shows lap 1
    EXPECT_EQ(line(8), "ABCDEFGHIJKL");
    EXPECT_EQ(port.console().substr(port.console().rfind("Sending")), "Sending advice:ABCDEFGHIJKL\n");
}

TEST_F(RaceBoard, WideNumbersAreCutAtTheirWindows) {
    arrive(3, 0xFFFFFFFFu, 0x80000000u, 5);
    arrive(kViewed, 0xFFFFFFFFu, 0, 5);
    arrive(4, 0xFFFFFFFFu, 0x7FFFFFFFu, 5);
    tracker.session.sta.RaceLaps = 255;  // more than the store holds: the board still reads lap 5 only
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(port.console(),
              "Searching in 3 results.\nPitboard for 7: Lap 5/255\n-2147483648 | +2147483647\nP2 |    \n"
              "71582:47.29\n");
    EXPECT_EQ(line(2), "L5/255 P2" + spaces(7));
    EXPECT_EQ(line(4), "-2147483^9/+2147483 ");
    EXPECT_EQ(line(6), "71582:47.29     ");
}

TEST_F(RaceBoard, MissingPlayerOrBlockKeepsTheLastStandings) {
    BoardData& latest = tracker.latestBoard;
    latest.position = 4;
    latest.gapAhead = 1200;
    latest.gapBehind = 3400;
    latest.lapTime = 90000;
    arrive(3, 82000, 500000, 5);  // lap 5 without the viewed player
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(port.console(), "Searching in 1 results.\nPitboard for 7: Lap 5/10\n-1200 | +3400\nP4 |    \n1:30.0\n");

    // A simulator announcing more laps than the store was made with: lap 12 has no block to read.
    port.clear();
    tracker.pLaps = std::make_unique<RaceLapStore>(10);
    tracker.session.sta.RaceLaps = 20;
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 13), port);
    EXPECT_EQ(port.console(), "Searching in 0 results.\nPitboard for 7: Lap 12/20\n-1200 | +3400\nP4 |    \n1:30.0\n");
    EXPECT_EQ(port.sends().size(), 7u);
}

TEST(QualifyingBoard, ShowsPreviousBoardWithoutClearing) {
    Tracker tracker;
    RecordingPort port;
    tracker.previousBoard.position = 2;
    tracker.previousBoard.gapAhead = 1000;
    tracker.previousBoard.gapBehind = 1500;
    tracker.previousBoard.lapTime = 95123;
    tracker.latestBoard.position = 5;  // the newest result is not shown yet
    tracker.latestBoard.lapTime = 99999;
    tracker.latestBoard.shownAt = 4000;
    tracker.session.currentTime = 77000;

    showQualifyingBoard(tracker, port);

    const std::vector<std::string> expectedSends = {
        buttonHeader(1, 50, 16), "P2" + spaces(14),
        buttonHeader(2, 58, 16), "-1.00/+1.50" + spaces(5),
        buttonHeader(3, 66, 16), "1:35.12" + spaces(9),
    };
    EXPECT_EQ(port.sends(), expectedSends);
    EXPECT_EQ(port.console(), "Sent pitboard: P2" + spaces(24) + "\n-1.00/+1.50" + spaces(16) + "\n1:35.12" +
                                  spaces(16) + "\n");
    EXPECT_FALSE(port.events.back().isSend);  // reported after sending
    EXPECT_EQ(tracker.previousBoard.shownAt, 77000u);
    EXPECT_EQ(tracker.latestBoard.shownAt, 4000u);
}

TEST(BoardFormats, Gap) {
    const struct {
        std::uint32_t ms;
        const char* text;
    } cases[] = {{0, "0.00"},       {5040, "5.04"},     {9999, "9.99"},   {10000, "10.0"}, {65432, "65.4"},
                 {99999, "99.9"},   {100000, "100"},    {754321, "754"},  {1009, "1.00"},  {10099, "10.0"},
                 {4294967295u, "4294967"}};
    for (const auto& c : cases) EXPECT_EQ(formatGap(c.ms), c.text) << c.ms;
}

TEST(BoardFormats, LapTime) {
    const struct {
        std::uint32_t ms;
        const char* text;
    } cases[] = {{83450, "1:23.45"}, {65030, "1:05.03"},  {600000, "10:00.00"}, {0, "0:00.00"},
                 {59999, "0:59.99"}, {95123, "1:35.12"}, {4294967295u, "71582:47.29"}};
    for (const auto& c : cases) EXPECT_EQ(formatLapTime(c.ms), c.text) << c.ms;
}

TEST(BoardFormats, EtimeGapIsDefinedForEveryPair) {
    EXPECT_EQ(etimeGap(502800, 501000), 1800u);
    EXPECT_EQ(etimeGap(501000, 502800), 1800u);
    EXPECT_EQ(etimeGap(0x80000000u, 0), 2147483648u);  // INT32_MIN either way round
    EXPECT_EQ(etimeGap(0, 0x80000000u), 2147483648u);
    EXPECT_EQ(etimeGap(0x7FFFFFFFu, 0), 2147483647u);  // INT32_MAX
    EXPECT_EQ(etimeGap(0, 0x7FFFFFFFu), 2147483647u);
    EXPECT_EQ(etimeGap(0x7FFFFFFFu, 0x80000000u), 1u);
    EXPECT_EQ(etimeGap(0xFFFFFFFFu, 0), 1u);  // the difference read as -1
    EXPECT_EQ(etimeGap(0xFFFFFFFFu, 0x7FFFFFFFu), 2147483648u);
}

TEST(BoardAgeing, OldOnlyAfterTheTimeOut) {
    Tracker tracker;
    RecordingPort port;
    tracker.boardTimeOutMs = 15000;
    tracker.latestBoard.shownAt = 100000;

    tracker.session.currentTime = 115000;
    ageBoards(tracker, port);
    EXPECT_TRUE(port.events.empty());
    EXPECT_EQ(tracker.latestBoard.shownAt, 100000u);

    tracker.session.currentTime = 115001;
    ageBoards(tracker, port);
    ASSERT_EQ(port.events.size(), 2u);
    EXPECT_EQ(port.events[0].bytes, "Pitboard is too old!\n");
    EXPECT_EQ(port.events[1].bytes, kClearButtons);
    EXPECT_EQ(tracker.latestBoard.shownAt, 0u);

    port.clear();  // once aged, a board is not cleared again
    ageBoards(tracker, port);
    EXPECT_TRUE(port.events.empty());
}

TEST(BoardAgeing, BothBoardsMayAgeAtOnceAndAnUnstampedOneNever) {
    Tracker tracker;
    RecordingPort port;
    tracker.boardTimeOutMs = 15000;
    tracker.latestBoard.shownAt = 100000;
    tracker.previousBoard.shownAt = 90000;
    tracker.session.currentTime = 120000;
    ageBoards(tracker, port);
    EXPECT_EQ(port.console(), "Pitboard is too old!\nPitboard is too old!\n");
    EXPECT_EQ(port.sends(), (std::vector<std::string>{kClearButtons, kClearButtons}));
    EXPECT_EQ(tracker.latestBoard.shownAt, 0u);
    EXPECT_EQ(tracker.previousBoard.shownAt, 0u);

    port.clear();
    tracker.session.currentTime = 0xFFFFFFFFu;
    ageBoards(tracker, port);
    EXPECT_TRUE(port.events.empty());
}

}  // namespace
