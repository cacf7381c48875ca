// The OutGauge step: which datagrams are taken, the clock they set and the fuel readings stored at lap lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "race/handlers.h"
#include "standin/packets.h"
#include "support/tracked_race.h"

using standin::makeLap;
using standin::makeOutGauge;
using standin::makeSta;

namespace {

struct OutGauge : TrackedRace {
    float fuel(std::size_t block, std::size_t slot) const { return tracker.pLaps->block(block)->fuel[slot]; }

    void receive(std::uint32_t time, float reading) {
        const OutGaugePack pack = makeOutGauge(time, reading, 99);  // the datagram's own PLID plays no part
        onOutGauge(tracker, &pack, sizeof pack, port);
    }
};

TEST_F(OutGauge, OnlyTheNinetyTwoByteDatagramIsTaken) {
    arrive(kViewed, 1);
    tracker.session.currentTime = 5000;
    const OutGaugePack pack = makeOutGauge(9000, 0.5f);
    std::uint8_t withId[96] = {};
    std::memcpy(withId, &pack, sizeof pack);
    for (std::size_t length : {96, 91, 64, 96}) onOutGauge(tracker, withId, length, port);
    EXPECT_EQ(port.console(), "Unknown packet size!\nUnknown packet size!\nUnknown packet size!\nUnknown packet size!\n");
    EXPECT_TRUE(port.sends().empty());
    EXPECT_EQ(tracker.session.currentTime, 5000u);
    EXPECT_EQ(fuel(0, 0), 0.0f);
}

// One reading per lap line of the viewed player, into the slot of his record: a zero leaves it open,
// a NaN fills it, datagrams between lap lines and at other players' lines change nothing.
TEST_F(OutGauge, ReadingStoredOnceInTheSlotOfTheLapRecord) {
    arrive(3, 4);
    arrive(5, 4);
    arrive(kViewed, 4);
    receive(1000, 0.0f);
    receive(1100, 0.75f);
    for (std::uint32_t time = 1200; time < 2000; time += 100) receive(time, 0.7f);
    arrive(5, 5);
    receive(2000, 0.65f);
    arrive(kViewed, 5);
    receive(2100, std::numeric_limits<float>::quiet_NaN());
    arrive(5, 6);  // a new record: the lap lines are looked at again
    receive(2200, 0.5f);
    EXPECT_EQ(port.console(),
              "Fuel for 7: (pLaps+3->fuel[2] = 0\n"
              "Fuel for 7: (pLaps+3->fuel[2] = 0.75\n"
              "Fuel for 7: (pLaps+4->fuel[1] = nan\n");
    EXPECT_EQ(fuel(3, 0), 0.0f);
    EXPECT_EQ(fuel(3, 1), 0.0f);
    EXPECT_EQ(fuel(3, 2), 0.75f);
    EXPECT_EQ(fuel(4, 0), 0.0f);
    EXPECT_TRUE(std::isnan(fuel(4, 1)));
    EXPECT_EQ(tracker.session.currentTime, 2200u);
}

TEST_F(OutGauge, ViewMovedFillsEveryOpenLapOfTheNewPlayer) {
    arrive(kViewed, 1);
    arrive(9, 1);
    arrive(kViewed, 2);
    arrive(9, 2);
    arrive(9, 3);
    receive(1000, 0.9f);  // the viewed player's two laps
    port.clear();

    tracker.session.sta.ViewPLID = 9;
    receive(2000, 0.6f);
    EXPECT_EQ(port.console(),
              "Fuel for 9: (pLaps+0->fuel[1] = 0.6\n"
              "Fuel for 9: (pLaps+1->fuel[1] = 0.6\n"
              "Fuel for 9: (pLaps+2->fuel[0] = 0.6\n");
    EXPECT_EQ(fuel(0, 0), 0.9f);
    EXPECT_EQ(fuel(1, 0), 0.9f);
}

TEST_F(OutGauge, RecordsOnlyMatchingLapsWithinTheStoreAndStopsAtTheEndOfAList) {
    tracker.pLaps = std::make_unique<RaceLapStore>(3);
    tracker.session.sta.RaceLaps = 99;  // more than the store was made for
    // A record filed under another lap than its LapsDone is not this block's lap line.
    tracker.pLaps->block(0)->laps[0] = makeLap(kViewed, 83000, 83000, 5);
    tracker.pLaps->block(0)->arrivals = 1;
    // A record behind an empty slot is past the end of the list.
    tracker.pLaps->block(1)->laps[1] = makeLap(kViewed, 83000, 166000, 2);
    arrive(kViewed, 3);
    receive(1000, 0.4f);
    EXPECT_EQ(port.console(), "Fuel for 7: (pLaps+2->fuel[0] = 0.4\n");
    EXPECT_EQ(fuel(0, 0), 0.0f);
    EXPECT_EQ(fuel(1, 1), 0.0f);
}

TEST_F(OutGauge, OutsideARaceTheClockFollowsButNoFuelIsStored) {
    arrive(kViewed, 1);
    for (std::uint8_t session : {0, 2}) {
        tracker.session.sta.RaceInProg = session;
        receive(4000u + session, 0.5f);
        EXPECT_EQ(tracker.session.currentTime, 4000u + session);
    }
    tracker.session.sta = makeSta(0, 1, 10);  // nobody viewed
    receive(5000, 0.5f);
    tracker.session.sta = makeSta(kViewed, 1, 0);
    receive(5100, 0.5f);
    tracker.session.sta = makeSta(kViewed, 1, 10);
    tracker.pLaps.reset();
    receive(5200, 0.5f);
    EXPECT_EQ(port.console(), "");
    EXPECT_EQ(tracker.session.currentTime, 5200u);
}

TEST_F(OutGauge, OldBoardIsClearedBeforeTheFuelIsStored) {
    arrive(kViewed, 1);
    tracker.boardTimeOutMs = 15000;
    tracker.latestBoard.shownAt = 100000;
    receive(115001, 0.5f);
    ASSERT_EQ(port.events.size(), 3u);
    EXPECT_EQ(port.events[0].bytes, "Pitboard is too old!\n");
    EXPECT_EQ(port.events[1].bytes, kClearButtons);
    EXPECT_EQ(port.events[2].bytes, "Fuel for 7: (pLaps+0->fuel[0] = 0.5\n");
}

}  // namespace
