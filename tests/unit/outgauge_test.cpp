// The OutGauge step as transcripts: the viewed car's fuel reading stored once at each of its lap lines,
// also when the view moves. A datagram of the wrong size is the fuzz targets' invariant.
#include <gtest/gtest.h>

#include <limits>

#include "support/transcript.h"

using namespace transcript;

TEST(OutGauge, OneReadingPerLapLineOfTheViewedPlayer) {
    const Script lapOne = race(10, 7) + lap(3, 60000, 59000, 1) + lap(5, 60000, 59500, 1) + lap(7, 60000, 60000, 1);
    // Zero leaves the slot open; later datagrams and other players' lines change nothing.
    EXPECT_EQ(play(lapOne + mark() + gauge(1000, 0.0f) + gauge(1100, 0.75f) + gauge(1200, 0.7f) +
                   lap(9, 60000, 61000, 1) + gauge(1300, 0.65f)),
              "Fuel for 7: (pLaps+0->fuel[2] = 0\nFuel for 7: (pLaps+0->fuel[2] = 0.75\n"
              "New registered laptime by PLID 9: 1:0.0\n");
    // Reading long races a zero fills its slot like any other, and the view coming back writes nothing.
    Program longRaces;
    longRaces.race.longRaces = true;
    EXPECT_EQ(feed(lapOne + mark() + gauge(1000, 0.0f) + gauge(1100, 0.75f) + sta(9, 1, 10) + gauge(1150, 0.8f) +
                   sta(7, 1, 10) + gauge(1200, 0.7f), longRaces),
              "Fuel for 7: (pLaps+0->fuel[2] = 0\n{clear}{clear}");
    // A reading that is not a number counts as recorded.
    EXPECT_EQ(play(lapOne + mark() + gauge(1000, std::numeric_limits<float>::quiet_NaN()) + gauge(1100, 0.5f)),
              "Fuel for 7: (pLaps+0->fuel[2] = nan\n");
    // When the view moves, every open lap line of the new player gets the next reading.
    EXPECT_EQ(play(lapOne + lap(9, 60000, 61000, 1) + lap(9, 60000, 121000, 2) + lap(9, 60000, 181000, 3) +
                   gauge(1000, 0.9f) + sta(9, 1, 10) + mark() + gauge(2000, 0.6f)),
              "Fuel for 9: (pLaps+0->fuel[3] = 0.6\nFuel for 9: (pLaps+1->fuel[0] = 0.6\n"
              "Fuel for 9: (pLaps+2->fuel[0] = 0.6\n");
    // And when it comes back after a reading of the other player's, the lines read before keep theirs.
    EXPECT_EQ(play(lapOne + gauge(1000, 0.9f) + sta(9, 1, 10) + gauge(1500, 0.8f) + sta(7, 1, 10) + mark() +
                   gauge(2000, 0.6f)), "");
}

