// The stand-in's race model where the program's end-to-end tests rely on it and would not notice a fault:
// the end of a timed race and the packets of one stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "standin/race_model.h"
#include "support/transcript.h"

using transcript::bytes;

namespace {

standin::RaceModel modelOf(const std::string& text) {
    const standin::ParseResult parsed = standin::parseScenario(text, "test");
    EXPECT_TRUE(parsed.scenario) << parsed.error;
    standin::RaceModel model(parsed.scenario.value(), 1);
    model.connected(5, 10000);
    return model;
}

struct Sent {
    std::uint32_t time;
    std::string bytes;
    bool operator==(const Sent&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Sent& sent) {
    out << sent.time << ":";
    for (const char c : sent.bytes) out << " " << static_cast<int>(static_cast<std::uint8_t>(c));
    return out;
}

// The InSim packets of these types the model sends until `untilMs`, with their times.
std::vector<Sent> packetsOf(standin::RaceModel& model, std::vector<byte> types, std::uint32_t untilMs = ~0u) {
    std::vector<Sent> sent;
    while (model.now() <= untilMs) {
        const auto event = model.next();
        if (!event) break;
        if (event->kind != standin::ModelEvent::Kind::InSim) continue;
        if (std::find(types.begin(), types.end(), event->bytes[1]) == types.end()) continue;
        sent.push_back({event->time, std::string(event->bytes.begin(), event->bytes.end())});
    }
    return sent;
}

}  // namespace

// One hour; laps of 600, 610 and 899.625 s with no spread. PLID 1 leads and its line of lap 6, 1.5 s after
// the hour, is its last. PLID 2 finishes after it with as many laps. PLID 3 crosses its fourth line 0.5 s
// after the hour but before the leader, and goes on to its fifth.
TEST(StandinTimedRace, TheLeadersFirstLineFromTheHourOnEndsItThenEveryOthersNextLine) {
    standin::RaceModel model = modelOf("splits 0\ncar 1 lap 600 use 0.1\ncar 2 lap 610 use 0.1\n"
                                       "car 3 lap 899.625 use 0.1\nrace 1h\n");
    while (model.next()) {}
    std::vector<std::tuple<int, int, std::uint32_t, bool>> order;
    for (const auto& car : model.reports().at(0).order)
        order.emplace_back(car.plid, car.lapsDone, car.lastLineMs, car.finished);
    EXPECT_EQ(order, (decltype(order){{1, 6, 3601500, true}, {2, 6, 3661750, true}, {3, 5, 4500125, true}}));
}

// One car that pits at the end of lap 2 with 5% left: into the pit lane at its end (124.5 s), in the box
// halfway along the 20 s lane, standing 4 s and 0.2 s a percent taken, out of the lane at its line.
TEST(StandinPitStop, PacketsOfOneStop) {
    const std::string pitHead = bytes({24, 26, 0, 1, 1, 0, 0, 0}), pitTail = bytes({0, 1}) + std::string(13, '\0');
    const struct {
        const char* settings;  // the scenario's, then the car's
        byte fuelAdd;
        std::uint32_t psfAt;
        std::string sTime;
    } cases[] = {
        {"car 1 fuel 25 menu 30", 30, 144500, bytes({0x10, 0x27, 0, 0})},
        {"car 1 fuel 25.4 menu 100", 95, 157420, bytes({0x88, 0x59, 0, 0})},  // 94.6% fits the tank
        {"hide-fuel\ncar 1 fuel 25 menu 30", 255, 144500, bytes({0x10, 0x27, 0, 0})},
    };
    for (const auto& c : cases) {
        standin::RaceModel model = modelOf(std::string("splits 0\n") + c.settings + " lap 60 use 10\nrace 3\n");
        const std::uint32_t lineAt = c.psfAt + 10000;
        EXPECT_EQ(packetsOf(model, {ISP_PLA, ISP_PIT, ISP_PSF}, lineAt),
                  (std::vector<Sent>{{124500, bytes({8, 28, 0, 1, 1, 0, 0, 0})},
                                     {134500, pitHead + static_cast<char>(c.fuelAdd) + pitTail},
                                     {c.psfAt, bytes({12, 27, 0, 1}) + c.sTime + std::string(4, '\0')},
                                     {lineAt, bytes({8, 28, 0, 1, 0, 0, 0, 0})}}))
            << c.settings;
    }
}

