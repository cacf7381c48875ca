// The stand-in's race model on its own: the same seed gives the same race and another seed other laps,
// and the line is crossed in the order of the elapsed times, so positions and gaps follow from them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "link/wire.h"
#include "standin/race_model.h"
#include "standin/scenario.h"

namespace {

// Every event of a 20-lap race of four cars close on pace, and its IS_LAP in order.
struct Played {
    std::vector<standin::ModelEvent> events;
    std::vector<IS_LAP> laps;
};
Played play(std::uint64_t seed) {
    std::string text;
    for (const char* car : {"1 lap 60.1", "2 lap 60.2", "3 lap 60.3", "4 lap 60.4"})
        text += "car " + std::string(car) + " spread 1.5 use 3\n";
    standin::RaceModel model(standin::parseScenario(text + "race 20\n", "test.txt").scenario.value(), seed);
    Played played;
    while (auto event = model.next()) {
        if (event->kind == standin::ModelEvent::Kind::InSim && event->bytes[1] == ISP_LAP)
            std::memcpy(&played.laps.emplace_back(), event->bytes.data(), sizeof(IS_LAP));
        played.events.push_back(std::move(*event));
    }
    return played;
}

}  // namespace

TEST(StandinModel, SameSeedSameRaceAndTheLineIsCrossedInElapsedTimeOrder) {
    const Played first = play(1), again = play(1), other = play(2);
    ASSERT_EQ(first.events.size(), again.events.size());
    for (std::size_t i = 0; i < first.events.size(); ++i) {
        EXPECT_EQ(first.events[i].time, again.events[i].time);
        EXPECT_EQ(first.events[i].bytes, again.events[i].bytes);
    }
    ASSERT_EQ(first.laps.size(), 4u * 20u);
    ASSERT_EQ(other.laps.size(), first.laps.size());
    int differ = 0, overtakes = 0;
    for (std::size_t i = 0; i < first.laps.size(); ++i) differ += first.laps[i].LTime != other.laps[i].LTime;
    EXPECT_GT(differ, 0);

    std::map<int, std::uint32_t> elapsedOf;
    std::map<int, std::vector<int>> orderAtLap;
    std::uint32_t lastElapsed = 0;
    for (const IS_LAP& lap : first.laps) {
        EXPECT_GE(lap.ETime, lastElapsed);  // the crossing order is the elapsed-time order
        lastElapsed = lap.ETime;
        EXPECT_EQ(lap.LTime, lap.ETime - elapsedOf[lap.PLID]);  // the lap times add up to the elapsed time
        elapsedOf[lap.PLID] = lap.ETime;
        orderAtLap[lap.LapsDone].push_back(lap.PLID);
    }
    for (int lap = 2; lap <= 20; ++lap) overtakes += orderAtLap[lap] != orderAtLap[lap - 1];
    EXPECT_GT(overtakes, 0);  // places change, and the order still follows the times
}
