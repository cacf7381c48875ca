// The race and qualifying pitboards byte for byte, their console reports, the text formats and the time-out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "standin/packets.h"
#include "strategy/pitboard.h"
#include "support/tracked_race.h"

using standin::makeLap;
using standin::makeSta;

namespace {

// The IS_BTN header of one board line: Size, ISP_BTN, ReqI, UCID, ClickID, Inst, ISB_DARK, TypeIn, L, T, W, H.
std::string buttonHeader(int clickId, int top, int window) {
    return bytes({12 + window, 45, clickId, 0, clickId, 0, 32, 0, 10, top, 20, 10});
}

std::string spaces(std::size_t count) { return std::string(count, ' '); }
std::string padded(const std::string& text, std::size_t window) { return text + spaces(window - text.size()); }

template <std::size_t N>
void setText(char (&field)[N], const char* text) {
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(std::strlen(text), N));
}

struct RaceBoard : TrackedRace {
    // Lap 5 of six cars, the viewed one third: 1.80 s behind the second, 0.60 s ahead of the fourth.
    void fillLapFive() {
        arrive(3, 5, 82000, 500000);
        arrive(4, 5, 82500, 501000);
        arrive(kViewed, 5, 83450, 502800);
        arrive(5, 5, 83000, 503400);
        arrive(6, 5, 84000, 504000);
        arrive(8, 5, 85000, 509000);
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

TEST_F(RaceBoard, LeaderAndLastCarShowZeroGaps) {
    arrive(kViewed, 5, 83450, 502800);
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(port.console(), "Searching in 1 results.\nPitboard for 7: Lap 5/10\n-0 | +0\nP1 |    \n1:23.45\n");
    EXPECT_EQ(line(4), "-0.00^9/+0.00" + spaces(7));
}

// The three lines of lap 5's board against the last board shown: colours only for the same player,
// gap colours only at an unchanged position, a marker shown red when it repeats.
TEST_F(RaceBoard, ColoursAndMarkersAgainstTheLastBoard) {
    fillLapFive();
    const struct {
        std::uint8_t plid;
        std::uint16_t position;
        std::uint32_t ahead, behind;
        const char* marker;
        std::uint8_t penalty;
        const char *top, *gaps, *time;
    } cases[] = {
        {kViewed, 4, 0, 0, "", 0, "L5/10 P^23", "-1.80^9/+0.60", "1:23.45    "},  // gained
        {kViewed, 1, 0, 0, "", 0, "L5/10 P^13", "-1.80^9/+0.60", "1:23.45    "},  // lost
        {9, 1, 0, 0, "   ", 0, "L5/10 P3", "-1.80^9/+0.60", "1:23.45    "},       // about someone else
        {kViewed, 3, 1000, 300, "   ", 0, "L5/10 P3", "^1-1.80^9/^2+0.60", "1:23.45 ^1   "},
        {kViewed, 2, 1000, 300, "   ", 0, "L5/10 P^13", "-1.80^9/+0.60", "1:23.45 ^1   "},
        {kViewed, 3, 1800, 600, "   ", 0, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 ^1   "},  // equal gaps
        {kViewed, 3, 1800, 600, "xyz", PENALTY_DT_VALID, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 D/T"},
        {kViewed, 3, 1800, 600, "xyz", PENALTY_SG_VALID, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 S&G"},
        {kViewed, 3, 1800, 600, "xyz", 1, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 "},  // other penalties: empty
        {kViewed, 3, 1800, 600, "xyz", 3, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 "},
        {kViewed, 3, 1800, 600, "xyz", 5, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 "},
        {kViewed, 3, 1800, 600, "D/T", PENALTY_DT_VALID, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 ^1D/T"},
        {kViewed, 3, 1800, 600, "D/T", 0, "L5/10 P3", "-1.80^9/+0.60", "1:23.45    "},  // served
        {kViewed, 3, 1800, 600, "", 7, "L5/10 P3", "-1.80^9/+0.60", "1:23.45 ^1"},  // two empty markers
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        port.clear();
        previousBoardOfViewed(c.position, c.ahead, c.behind, c.marker);
        tracker.previousBoard.plid = c.plid;
        showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6, c.penalty), port);
        ASSERT_EQ(port.sends().size(), 7u);
        EXPECT_EQ(line(2), padded(c.top, 16));
        EXPECT_EQ(line(4), padded(c.gaps, 20));
        EXPECT_EQ(line(6), padded(c.time, 16));
    }
}

TEST_F(RaceBoard, MandatoryStopShowsPitOverTheLastThreeLapsUntilMade) {
    arrive(kViewed, 5, 83000, 500000);
    arrive(kViewed, 6, 83000, 583000);
    arrive(kViewed, 7, 83000, 666000);
    const struct {
        bool mustPit;
        std::uint16_t lapsDone;
        std::uint8_t stops;
        const char* marker;
    } cases[] = {{true, 6, 0, "   "}, {true, 7, 0, "PIT"}, {true, 8, 0, "PIT"},
                 {true, 7, 1, "   "}, {true, 8, 1, "   "}, {false, 8, 0, "   "}};
    for (const auto& c : cases) {
        tracker.session.mustPit = c.mustPit;
        tracker.previousBoard.plid = 0;
        showRaceBoard(tracker, makeLap(kViewed, 83000, 700000, c.lapsDone, PENALTY_NONE, c.stops), port);
        EXPECT_EQ(std::string(tracker.previousBoard.marker), c.marker) << c.lapsDone << "/" << int(c.stops);
    }
}

TEST_F(RaceBoard, AdviceLineOnTheLastLapsOrAsWrittenWithinItsTwelveBytes) {
    const struct {
        std::uint16_t lapsDone;
        const char* written;  // before the board, at the same lap line
        std::string sent;
    } cases[] = {
        {9, "", std::string("LAST LAP\0\0\0\0", 12)},
        {10, "", std::string("FINISHED\0\0\0\0", 12)},
        {9, "SET 12% F", std::string("SET 12% F\0\0\0", 12)},
        {2, "ABCDEFGHIJKL", "ABCDEFGHIJKL"},  // no terminator
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sent);
        port.clear();
        arrive(kViewed, static_cast<std::uint16_t>(c.lapsDone - 1), 83000, 600000);
        setText(tracker.latestBoard.advice, c.written);
        showRaceBoard(tracker, makeLap(kViewed, 83000, 683000, c.lapsDone), port);
        ASSERT_EQ(port.sends().size(), 9u);
        EXPECT_EQ(line(7), buttonHeader(4, 74, 12));
        EXPECT_EQ(line(8), c.sent);
        const std::string console = port.console();
        EXPECT_EQ(console.substr(console.rfind("Sending")), "Sending advice:" + c.sent.substr(0, c.sent.find('\0')) + "\n");
    }
}

TEST_F(RaceBoard, GapsFromOneHundredSecondsLeaveOneZeroByte) {
    arrive(3, 5, 80000, 400000);
    arrive(kViewed, 5, 83450, 500000);
    arrive(4, 5, 83450, 620000);
    showRaceBoard(tracker, makeLap(kViewed, 84000, 587000, 6), port);
    EXPECT_EQ(line(4), "-100^9/+120" + spaces(8) + std::string(1, '\0'));
    EXPECT_EQ(port.sends().size(), 7u);  // no advice: three lines after the clear
    EXPECT_EQ(port.console().find("Sending advice:"), std::string::npos);
}

TEST_F(RaceBoard, WideNumbersAreCutAtTheirWindows) {
    arrive(3, 5, 0xFFFFFFFFu, 0x80000000u);
    arrive(kViewed, 5, 0xFFFFFFFFu, 0);
    arrive(4, 5, 0xFFFFFFFFu, 0x7FFFFFFFu);
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
    arrive(3, 5, 82000, 500000);  // lap 5 without the viewed player
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

TEST(BoardFormats, GapAndLapTime) {
    const std::pair<std::uint32_t, const char*> gaps[] = {
        {0, "0.00"},     {5040, "5.04"},  {9999, "9.99"}, {10000, "10.0"}, {65432, "65.4"},  {99999, "99.9"},
        {100000, "100"}, {754321, "754"}, {1009, "1.00"}, {10099, "10.0"}, {4294967295u, "4294967"}};
    for (const auto& [ms, text] : gaps) EXPECT_EQ(formatGap(ms), text) << ms;
    const std::pair<std::uint32_t, const char*> lapTimes[] = {
        {83450, "1:23.45"}, {65030, "1:05.03"}, {600000, "10:00.00"},       {0, "0:00.00"},
        {59999, "0:59.99"}, {95123, "1:35.12"}, {4294967295u, "71582:47.29"}};
    for (const auto& [ms, text] : lapTimes) EXPECT_EQ(formatLapTime(ms), text) << ms;
}

TEST(BoardFormats, EtimeGapIsDefinedForEveryPairEitherWayRound) {
    const std::uint32_t cases[][3] = {
        {502800, 501000, 1800},
        {0x80000000u, 0, 2147483648u},  // INT32_MIN
        {0x7FFFFFFFu, 0, 2147483647u},  // INT32_MAX
        {0x7FFFFFFFu, 0x80000000u, 1},
        {0xFFFFFFFFu, 0, 1},  // the difference read as -1
        {0xFFFFFFFFu, 0x7FFFFFFFu, 2147483648u},
    };
    for (const auto& [a, b, gap] : cases) {
        EXPECT_EQ(etimeGap(a, b), gap) << a << " " << b;
        EXPECT_EQ(etimeGap(b, a), gap) << b << " " << a;
    }
}

TEST(BoardAgeing, EachStampedBoardAgesOnceAfterTheTimeOut) {
    Tracker tracker;
    RecordingPort port;
    tracker.boardTimeOutMs = 15000;
    const auto ageAt = [&](std::uint32_t now) {
        port.clear();
        tracker.session.currentTime = now;
        ageBoards(tracker, port);
        return port.console();
    };
    tracker.latestBoard.shownAt = tracker.previousBoard.shownAt = 100000;
    EXPECT_EQ(ageAt(115000), "");
    EXPECT_EQ(ageAt(115001), "Pitboard is too old!\nPitboard is too old!\n");  // both at once
    EXPECT_EQ(port.sends(), (std::vector<std::string>{kClearButtons, kClearButtons}));
    EXPECT_EQ(tracker.latestBoard.shownAt, 0u);
    EXPECT_EQ(ageAt(0xFFFFFFFFu), "");  // aged, or never shown: never cleared again
    EXPECT_TRUE(port.events.empty());

    tracker.latestBoard.shownAt = 200000;
    tracker.previousBoard.shownAt = 190000;  // the older stamp clears the newer board early
    EXPECT_EQ(ageAt(205001), "Pitboard is too old!\n");
    EXPECT_EQ(tracker.latestBoard.shownAt, 200000u);
}

}  // namespace
