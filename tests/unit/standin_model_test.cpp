// The stand-in's race model on its own: the same seed gives the same race, the line is crossed in
// elapsed-time order, fuel, stops, running dry, penalties, views and qualifying results.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "link/wire.h"
#include "standin/race_model.h"
#include "standin/scenario.h"

namespace {

using standin::ModelEvent;
using standin::RaceModel;

standin::Scenario scenarioOf(const std::string& text) {
    auto result = standin::parseScenario(text, "test.txt");
    EXPECT_TRUE(result.scenario.has_value()) << result.error;
    return result.scenario.value_or(standin::Scenario{});
}

std::vector<ModelEvent> playOut(RaceModel& model) {
    std::vector<ModelEvent> events;
    while (auto event = model.next()) events.push_back(std::move(*event));
    return events;
}

template <class Packet>
std::vector<Packet> packetsOf(const std::vector<ModelEvent>& events, byte type) {
    std::vector<Packet> packets;
    for (const auto& event : events) {
        if (event.kind != ModelEvent::Kind::InSim || event.bytes[1] != type) continue;
        EXPECT_EQ(event.bytes.size(), sizeof(Packet));
        EXPECT_EQ(event.bytes[0], sizeof(Packet));  // Size byte
        Packet packet;
        std::memcpy(&packet, event.bytes.data(), sizeof packet);
        packets.push_back(packet);
    }
    return packets;
}

const char* kSixCars =
    "car 1 lap 60 spread 1.5 use 3\n"
    "car 2 lap 60.2 spread 1.5 use 3\n"
    "car 3 lap 60.4 spread 1.5 use 3\n"
    "car 4 lap 60.6 spread 1.5 use 3\n"
    "car 5 lap 60.8 spread 1.5 use 3\n"
    "car 6 lap 61 spread 1.5 use 3\n";

}  // namespace

// The same seed gives the same race, another seed other laps; in each the line is crossed in
// elapsed-time order.
TEST(StandinModel, SameSeedSameRaceAndTheLineIsCrossedInElapsedTimeOrder) {
    const auto scenario = scenarioOf(std::string(kSixCars) + "race 20\n");
    RaceModel first(scenario, 1), again(scenario, 1), other(scenario, 2);
    const auto events = playOut(first), b = playOut(again), c = playOut(other);
    ASSERT_EQ(events.size(), b.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].time, b[i].time);
        EXPECT_EQ(events[i].bytes, b[i].bytes);
        EXPECT_EQ(events[i].text, b[i].text);
    }
    const auto lapsA = packetsOf<IS_LAP>(events, ISP_LAP), lapsC = packetsOf<IS_LAP>(c, ISP_LAP);
    ASSERT_EQ(lapsA.size(), lapsC.size());
    int different = 0;
    for (std::size_t i = 0; i < lapsA.size(); ++i) different += lapsA[i].LTime != lapsC[i].LTime;
    EXPECT_GT(different, 0);

    std::uint32_t lastTime = 0, raceStart = 0, lastElapsed = 0;
    std::map<int, std::uint32_t> elapsedOf;  // per car: ETime of its last lap
    std::map<int, int> lapsOf;
    int laps = 0, overtakes = 0;
    std::vector<int> previousOrder;
    std::map<int, std::vector<int>> orderAtLap;
    for (const auto& event : events) {
        EXPECT_GE(event.time, lastTime);  // events come in simulated time order
        lastTime = event.time;
        if (event.kind != ModelEvent::Kind::InSim) continue;
        if (event.bytes[1] == ISP_RST) raceStart = event.time;
        if (event.bytes[1] != ISP_LAP) continue;
        IS_LAP lap;
        std::memcpy(&lap, event.bytes.data(), sizeof lap);
        ++laps;
        EXPECT_EQ(lap.ETime, event.time - raceStart);  // sent when it happens
        EXPECT_GE(lap.ETime, lastElapsed);             // crossing order is elapsed-time order
        lastElapsed = lap.ETime;
        EXPECT_EQ(lap.LapsDone, ++lapsOf[lap.PLID]);
        EXPECT_EQ(lap.LTime, lap.ETime - elapsedOf[lap.PLID]);  // lap times add up to the elapsed time
        elapsedOf[lap.PLID] = lap.ETime;
        orderAtLap[lap.LapsDone].push_back(lap.PLID);
    }
    EXPECT_EQ(laps, 6 * 20);
    for (const auto& [lap, order] : orderAtLap) {
        if (!previousOrder.empty() && order != previousOrder) ++overtakes;
        previousOrder = order;
    }
    EXPECT_GT(overtakes, 0);  // the spread lets places change, and the order still follows the times
}

TEST(StandinModel, SessionPacketsRestartsAndEnds) {
    const auto scenario = scenarioOf(
        "car 1 lap 60 use 3\ncar 2 lap 61 use 3\n"
        "practice 2\n"
        "race 3 mandatory-stop\n  view 2\n"
        "qualifying 3\n");
    RaceModel model(scenario, 1);
    const auto events = playOut(model);
    std::vector<std::string> restarts;  // RaceLaps/QualMins/Flags/NumP of every IS_RST
    for (const IS_RST& rst : packetsOf<IS_RST>(events, ISP_RST))
        restarts.push_back(std::to_string(rst.RaceLaps) + "/" + std::to_string(rst.QualMins) + "/" +
                           std::to_string(rst.Flags) + "/" + std::to_string(rst.NumP));
    const std::string mustPit = std::to_string(HOSTF_MUST_PIT);
    EXPECT_EQ(restarts, (std::vector<std::string>{"0/0/0/2", "3/0/" + mustPit + "/2", "0/3/0/2"}));  // practice first
    std::vector<std::string> states;  // ViewPLID/RaceInProg/RaceLaps of every IS_STA
    for (const IS_STA& sta : packetsOf<IS_STA>(events, ISP_STA))
        states.push_back(std::to_string(sta.ViewPLID) + "/" + std::to_string(sta.RaceInProg) + "/" +
                         std::to_string(sta.RaceLaps));
    EXPECT_EQ(states, (std::vector<std::string>{"1/0/0", "1/0/0", "2/1/3", "2/0/0", "1/2/0", "1/0/0"}));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, ModelEvent::Kind::OutGauge);  // the clock runs to the end
}

TEST(StandinModel, OutGaugeOfTheViewedCarAtTheInterval) {
    const auto scenario = scenarioOf("outgauge 250\ncar 1 lap 60 use 10 fuel 50\ncar 2 lap 60 use 2\nrace 2\n");
    RaceModel model(scenario, 1);
    std::uint32_t expectedTime = 0;
    float lastFuel = 1;
    int datagrams = 0;
    for (const auto& event : playOut(model)) {
        if (event.kind != ModelEvent::Kind::OutGauge) continue;
        ASSERT_EQ(event.bytes.size(), 92u);
        OutGaugePack pack;
        std::memcpy(&pack, event.bytes.data(), sizeof pack);
        EXPECT_EQ(pack.Time, expectedTime);
        EXPECT_EQ(event.time, expectedTime);
        expectedTime += 250;
        EXPECT_EQ(pack.PLID, event.time < 3000 ? 0 : 1);  // nobody is viewed before the first session
        EXPECT_LE(pack.Fuel, lastFuel);  // no stop: it only goes down
        lastFuel = pack.Fuel;
        ++datagrams;
    }
    EXPECT_GT(datagrams, 480);  // two laps of a minute and the pauses around them
    EXPECT_NEAR(lastFuel, 0.30, 0.001);  // 50% less two laps of 10%
}

TEST(StandinModel, CarThatCannotMakeTheNextLapStopsAndTakesItsMenuSetting) {
    const auto scenario = scenarioOf("car 1 lap 60 use 10 fuel 35 menu 12\ncar 2 lap 60 use 1\nrace 6\n");
    RaceModel model(scenario, 1);
    // The car viewed is PLID 1: the program's keys set its menu to 30% before its stop.
    std::vector<ModelEvent> events;
    bool pressed = false;
    while (auto event = model.next()) {
        if (!pressed && event->time > 10000 && !model.reports().empty()) {
            model.pressKey("F12");
            for (int i = 0; i < 18; ++i) model.pressKey("right");
            model.pressKey("F12");
            pressed = true;
        }
        events.push_back(std::move(*event));
    }
    ASSERT_EQ(model.reports().size(), 1u);
    const auto& order = model.reports()[0].order;
    const auto& car = order[0].plid == 1 ? order[0] : order[1];
    ASSERT_EQ(car.stops.size(), 1u);
    EXPECT_EQ(car.stops[0].lap, 3);  // 5% left after lap 3: it would not make lap 4
    EXPECT_EQ(car.stops[0].menuPercent, 30);
    EXPECT_DOUBLE_EQ(car.stops[0].takenPercent, 30);
    EXPECT_FALSE(car.ranDry);
    EXPECT_TRUE(car.finished);
    ASSERT_EQ(car.lapLineFuel.size(), 6u);
    EXPECT_NEAR(car.lapLineFuel[2], 0.35, 1e-6);  // 5% + 30% at the line after the stop
    EXPECT_NEAR(car.lapLineFuel[5], 0.05, 1e-6);
    EXPECT_EQ(model.reports()[0].strayPresses, 0);
    EXPECT_EQ(model.reports()[0].finalMenuPercent, 30);

    std::vector<int> stopsAtLine;
    for (const IS_LAP& lap : packetsOf<IS_LAP>(events, ISP_LAP))
        if (lap.PLID == 1) stopsAtLine.push_back(lap.NumStops);
    EXPECT_EQ(stopsAtLine, (std::vector<int>{0, 0, 1, 1, 1, 1}));
}

TEST(StandinModel, PlannedStopAndTheTankLimit) {
    const auto scenario = scenarioOf("pit-lane 20\nservice 4\nrefuel 0.5\n"
                                     "car 1 lap 60 use 5 fuel 90 menu 40 stop 2\nrace 4\n");
    RaceModel model(scenario, 1);
    const auto events = playOut(model);
    const auto& car = model.reports()[0].order[0];
    ASSERT_EQ(car.stops.size(), 1u);
    EXPECT_EQ(car.stops[0].lap, 2);
    EXPECT_EQ(car.stops[0].menuPercent, 40);
    EXPECT_NEAR(car.stops[0].takenPercent, 20, 1e-9);  // 80% in the tank: only 20% more fits
    const auto laps = packetsOf<IS_LAP>(events, ISP_LAP);
    ASSERT_EQ(laps.size(), 4u);
    // The stop lap carries the pit lane, the standing time and the fuel going in: 20 + 4 + 10 s.
    EXPECT_EQ(laps[1].LTime, 60000u + 34000u);
}

TEST(StandinModel, CarThatRunsDryStopsOnTrackAndIsReported) {
    const auto scenario = scenarioOf("car 1 lap 60 use 10 fuel 25 menu 1\ncar 2 lap 60 use 1\nrace 5\n");
    RaceModel model(scenario, 1);
    const auto events = playOut(model);
    const auto& report = model.reports()[0];
    const auto& dry = report.order.back();
    EXPECT_EQ(dry.plid, 1);
    EXPECT_TRUE(dry.ranDry);
    EXPECT_FALSE(dry.finished);
    // 5% left after lap 2; its stop takes 1%, and 6% lasts 0.6 of lap 3.
    EXPECT_EQ(dry.dryLap, 3);
    EXPECT_EQ(dry.lapsDone, 2);
    int lapsOfDryCar = 0;
    bool noticed = false;
    float lastFuel = 1;
    for (const auto& event : events) {
        if (event.kind == ModelEvent::Kind::InSim && event.bytes[1] == ISP_LAP && event.bytes[3] == 1) ++lapsOfDryCar;
        if (event.text == "Car1 (PLID 1) runs out of fuel on lap 3 and stops on track.") noticed = true;
        if (event.kind == ModelEvent::Kind::OutGauge) std::memcpy(&lastFuel, event.bytes.data() + 28, 4);
    }
    EXPECT_EQ(lapsOfDryCar, 2);
    EXPECT_TRUE(noticed);
    EXPECT_EQ(lastFuel, 0.0f);
}

TEST(StandinModel, PenaltyShowsUntilServedAndViewMovesAfterTheLeadersLap) {
    const auto scenario = scenarioOf("car 1 lap 60 use 2\ncar 2 lap 70 use 2\n"
                                     "race 6\n  view 2\n  view 1 lap 2\n  penalty 2 dt lap 1\n  penalty 1 sg lap 3\n");
    RaceModel model(scenario, 1);
    const auto events = playOut(model);
    std::map<int, std::vector<int>> penalties;
    for (const IS_LAP& lap : packetsOf<IS_LAP>(events, ISP_LAP)) penalties[lap.PLID].push_back(lap.Penalty);
    EXPECT_EQ(penalties[2], (std::vector<int>{2, 2, 0, 0, 0, 0}));  // given at lap 1, served at the end of lap 3
    EXPECT_EQ(penalties[1], (std::vector<int>{0, 0, 4, 4, 0, 0}));

    // The view moves right after the leader's second lap line.
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != ModelEvent::Kind::InSim || events[i].bytes[1] != ISP_STA) continue;
        if (events[i].bytes[11] != 1 || events[i].bytes[15] != 1) continue;
        ASSERT_GT(i, 0u);
        const auto& before = events[i - 1].bytes;
        EXPECT_EQ(before[1], ISP_LAP);
        EXPECT_EQ(before[3], 1);  // PLID 1 leads
        EXPECT_EQ(before[12], 2);  // LapsDone 2
        EXPECT_EQ(model.reports()[0].viewed, (std::vector<std::uint8_t>{2, 1}));
        return;
    }
    ADD_FAILURE() << "no IS_STA moved the view";
}

TEST(StandinModel, QualifyingResultAfterEveryLap) {
    const auto scenario = scenarioOf("car 1 lap 60 spread 2 use 2\ncar 2 lap 60 spread 2 use 2\nqualifying 5\n");
    RaceModel model(scenario, 3);
    const auto events = playOut(model);
    std::map<int, std::uint32_t> best;
    int results = 0, notImproved = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (events[i].kind != ModelEvent::Kind::InSim || events[i].bytes[1] != ISP_LAP) continue;
        IS_LAP lap;
        std::memcpy(&lap, events[i].bytes.data(), sizeof lap);
        ASSERT_LT(i + 1, events.size());
        ASSERT_EQ(events[i + 1].bytes.size(), sizeof(IS_RES));
        IS_RES res;
        std::memcpy(&res, events[i + 1].bytes.data(), sizeof res);
        EXPECT_EQ(res.Type, ISP_RES);
        EXPECT_EQ(res.PLID, lap.PLID);
        EXPECT_EQ(res.LapsDone, lap.LapsDone);
        const bool improved = best[lap.PLID] == 0 || lap.LTime < best[lap.PLID];
        if (improved) best[lap.PLID] = lap.LTime;
        EXPECT_EQ(res.BTime, best[lap.PLID]);
        if (improved) {
            int faster = 0;  // its place in the table: the cars with a better best
            for (const auto& [plid, time] : best) faster += plid != lap.PLID && time != 0 && time <= lap.LTime;
            EXPECT_EQ(res.ResultNum, faster);
        } else {
            EXPECT_EQ(res.ResultNum, 255);
            ++notImproved;
        }
        ++results;
    }
    EXPECT_GE(results, 8);
    EXPECT_GT(notImproved, 0);
}

TEST(StandinModel, KeysBeforeAnySessionGoAstray) {
    const auto scenario = scenarioOf("car 1 lap 60 use 2\nrace 1\n");
    RaceModel model(scenario, 1);
    EXPECT_EQ(model.pressKey("F12"), standin::PressOutcome::Toggled);
    EXPECT_EQ(model.pressKey("left"), standin::PressOutcome::Stray);
    EXPECT_EQ(model.strayPresses(), 1);
}
