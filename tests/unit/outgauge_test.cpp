// The OutGauge step as transcripts: which datagrams are taken, and the viewed car's fuel reading stored
// once at each of its lap lines.
#include <gtest/gtest.h>

#include <limits>

#include "support/transcript.h"

using namespace transcript;

TEST(OutGauge, OnlyTheNinetyTwoByteDatagramIsTaken) {
    const std::string withId = gauge(115001, 0.5f)[0].bytes + std::string(4, '\0');
    // A board shown at time 100000: a wrong-size datagram neither ages it nor records fuel.
    const Script script = race(10, 7) + lap(7, 60000, 60000, 1) + gauge(100000, 0.5f) + lap(7, 60000, 120000, 2) +
                          mark() + datagram(withId) + datagram(withId.substr(0, 91)) + datagram(std::string(64, '\7')) +
                          gauge(101000, 0.4f);
    EXPECT_EQ(play(script), "Unknown packet size!\nUnknown packet size!\nUnknown packet size!\n"
                            "Fuel for 7: (pLaps+1->fuel[0] = 0.4\n");
}

TEST(OutGauge, OneReadingPerLapLineOfTheViewedPlayer) {
    const Script lapOne = race(10, 7) + lap(3, 60000, 59000, 1) + lap(5, 60000, 59500, 1) + lap(7, 60000, 60000, 1);
    // Zero leaves the slot open; later datagrams and other players' lines change nothing.
    EXPECT_EQ(play(lapOne + mark() + gauge(1000, 0.0f) + gauge(1100, 0.75f) + gauge(1200, 0.7f) +
                   lap(9, 60000, 61000, 1) + gauge(1300, 0.65f)),
              "Fuel for 7: (pLaps+0->fuel[2] = 0\nFuel for 7: (pLaps+0->fuel[2] = 0.75\n"
              "New registered laptime by PLID 9: 1:0.0\n");
    // A reading that is not a number counts as recorded.
    EXPECT_EQ(play(lapOne + mark() + gauge(1000, std::numeric_limits<float>::quiet_NaN()) + gauge(1100, 0.5f)),
              "Fuel for 7: (pLaps+0->fuel[2] = nan\n");
    // When the view moves, every open lap line of the new player gets the next reading.
    EXPECT_EQ(play(lapOne + lap(9, 60000, 61000, 1) + lap(9, 60000, 121000, 2) + lap(9, 60000, 181000, 3) +
                   gauge(1000, 0.9f) + sta(9, 1, 10) + mark() + gauge(2000, 0.6f)),
              "Fuel for 9: (pLaps+0->fuel[3] = 0.6\nFuel for 9: (pLaps+1->fuel[0] = 0.6\n"
              "Fuel for 9: (pLaps+2->fuel[0] = 0.6\n");
    // And when it comes back, the lines read before keep their readings.
    EXPECT_EQ(play(lapOne + gauge(1000, 0.9f) + sta(9, 1, 10) + sta(7, 1, 10) + mark() + gauge(2000, 0.6f)), "");
}

TEST(OutGauge, NoFuelOutsideARace) {
    const Script lapOne = lap(7, 60000, 60000, 1);
    EXPECT_EQ(play(race(10, 7) + lapOne + sta(7, 2, 0) + mark() + gauge(1000, 0.5f)), "");  // qualifying
    EXPECT_EQ(play(race(10, 7) + lapOne + sta(7, 0, 0) + mark() + gauge(1000, 0.5f)), "");  // session over
}
