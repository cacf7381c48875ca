// A tracker following a ten-lap race with its lap store and PLID 7 in view, and lap records placed
// into the store by hand: the fixture of the pitboard and OutGauge unit tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "race/session.h"
#include "standin/packets.h"
#include "support/recording_port.h"

constexpr std::uint8_t kViewed = 7;

struct TrackedRace : ::testing::Test {
    Tracker tracker;
    RecordingPort port;

    TrackedRace() {
        tracker.session.sta = standin::makeSta(kViewed, 1, 10);
        tracker.session.tracking = true;
        tracker.pLaps = std::make_unique<RaceLapStore>(10);
    }

    // Appends a lap record to the block of its lap.
    void arrive(std::uint8_t plid, std::uint16_t lapsDone, std::uint32_t lapTime = 83000, std::uint32_t elapsed = 0) {
        LapBlock& block = *tracker.pLaps->block(lapsDone - 1u);
        block.laps[block.arrivals++] = standin::makeLap(plid, lapTime, elapsed, lapsDone);
    }
};
