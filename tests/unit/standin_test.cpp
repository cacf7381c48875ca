// The stand-in's race model where the program's end-to-end tests rely on it and would not notice a fault:
// the race length in RaceLaps and the packets of one stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "standin/race_model.h"
#include "support/transcript.h"

using transcript::bytes;

namespace {

standin::RaceModel modelOf(const std::string& text, word insimVersion = 5) {
    const standin::ParseResult parsed = standin::parseScenario(text, "test");
    EXPECT_TRUE(parsed.scenario) << parsed.error;
    standin::RaceModel model(parsed.scenario.value(), 1);
    model.connected(insimVersion, 10000);
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

TEST(StandinRaceLength, RaceLapsOfEveryRangeInTheRestartAndEveryState) {
    const struct {
        const char* length;
        int raceLaps;  // 0: the line is refused
    } cases[] = {{"1", 1},      {"99", 99},     {"100", 100}, {"110", 101}, {"1000", 190}, {"1h", 191},
                 {"48h", 238},  {"0", 0},       {"105", 0},   {"1010", 0},  {"0h", 0},     {"49h", 0}};
    for (const auto& c : cases) {
        const std::string text = std::string("car 1 lap 60 use 1\nrace ") + c.length + "\n dialog open at 5\n";
        const standin::ParseResult parsed = standin::parseScenario(text, "test");
        if (c.raceLaps == 0) {
            EXPECT_EQ(parsed.error, "test:2: expected a number of laps from 1 to 99 or from 100 to 1000 in tens, or "
                                    "hours from 1h to 48h, found '" + std::string(c.length) + "'");
            continue;
        }
        standin::RaceModel model = modelOf(text);
        const std::vector<Sent> sent = packetsOf(model, {ISP_RST, ISP_STA}, 5000 + 3000);
        ASSERT_EQ(sent.size(), 3u) << c.length;  // the restart, the state at the start, the state of the dialog
        for (const Sent& packet : sent)
            EXPECT_EQ(static_cast<std::uint8_t>(packet.bytes[packet.bytes[1] == ISP_RST ? 4 : 17]), c.raceLaps)
                << c.length;
    }
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

