// The real program against the stand-in's race model, as fast as it takes the packets: the fuel-critical
// race closes the loop through the pit menu, the mandatory stop marks the board, qualifying shows standings.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <sstream>

#include "link/wire.h"
#include "standin/host_session.h"
#include "standin/race_model.h"
#include "standin/scenario.h"
#include "strategy/pitboard.h"
#include "support/hosted_run.h"

namespace {

// One scenario played to its end against a freshly started program; the stand-in's session does the handshake.
struct RaceRun : HostedRun {
    std::unique_ptr<standin::RaceModel> model;
    std::ostringstream shown;  // what lfs-standin would print
    standin::Console console{shown, false};
    std::unique_ptr<standin::HostSession> session;
    int exitCode = -1;
    std::string output;

    void play(const std::string& name, std::optional<std::uint64_t> seed = std::nullopt) {
        const auto parsed = standin::loadScenario(STINTKEEPER_SOURCE_DIR "/tools/scenarios/" + name + ".txt");
        ASSERT_TRUE(parsed.scenario.has_value()) << parsed.error;
        model = std::make_unique<standin::RaceModel>(*parsed.scenario, seed.value_or(parsed.scenario->seed));
        standin::HostOptions options;
        options.pace = standin::Pace::Fast;
        session = std::make_unique<standin::HostSession>(host, *model, console, options);
        const bool played = session->handshake(kWaitMs) && session->run();
        exitCode = program.waitExit(kWaitMs);
        output = program.output();
        ASSERT_TRUE(played) << session->error() << "\n" << output;
        ASSERT_EQ(exitCode, 0) << output;
        ASSERT_GE(output.size(), 11u);
        EXPECT_EQ(output.substr(output.size() - 11), "Exiting... ");
    }

    const standin::CarReport& car(std::uint8_t plid, std::size_t session = 0) const {
        for (const auto& report : model->reports().at(session).order)
            if (report.plid == plid) return report;
        throw std::out_of_range("no such car");
    }
};

// Every amount in "Setting fuel to N%" lines, in order.
std::vector<int> fuelAmounts(const std::string& output) {
    std::vector<int> amounts;
    const std::string label = "Setting fuel to ";
    for (auto at = output.find(label); at != std::string::npos; at = output.find(label, at + 1))
        amounts.push_back(std::stoi(output.substr(at + label.size())));
    return amounts;
}

std::string window16(std::string text) {
    text.resize(16, ' ');
    return text;
}

}  // namespace

TEST(RaceModel, FuelCriticalRaceGetsTheSplashTheEstimateAskedFor) {
    for (const std::uint64_t seed : {std::uint64_t{3}, std::uint64_t{1234}}) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        RaceRun run;
        run.play("fuel_critical", seed);
        if (testing::Test::HasFatalFailure()) return;

        const std::vector<int> amounts = fuelAmounts(run.output);
        ASSERT_FALSE(amounts.empty()) << run.output;
        const int asked = amounts.back();
        int presses = 0;
        for (const int amount : amounts) presses += amount + 100;  // F12, 99 x left, amount - 1 x right, F12
        EXPECT_EQ(run.session->keyPresses(), presses);
        EXPECT_EQ(run.model->strayPresses(), 0);

        const standin::CarReport& viewed = run.car(1);
        ASSERT_EQ(viewed.stops.size(), 1u);
        EXPECT_EQ(viewed.stops[0].menuPercent, asked);
        EXPECT_DOUBLE_EQ(viewed.stops[0].takenPercent, asked);
        EXPECT_EQ(run.model->reports()[0].finalMenuPercent, asked);
        EXPECT_TRUE(viewed.finished);
        EXPECT_FALSE(viewed.ranDry);
        EXPECT_EQ(viewed.lapsDone, 15);

        // The board the driver saw: "PIT" beside the lap time and the amount as advice.
        bool pitShown = false;
        for (const auto& screen : run.session->screens()) {
            if (screen.lines.size() != 4 || screen.lines[3] != "SET " + std::to_string(asked) + "% F") continue;
            EXPECT_EQ(screen.lines[2].substr(7, 4), " PIT") << screen.lines[2];
            pitShown = true;
        }
        EXPECT_TRUE(pitShown);
    }
}

TEST(RaceModel, MandatoryStopMarksTheBoardFromThreeLapsBeforeTheEndUntilTheStop) {
    RaceRun run;
    run.play("mandatory_stop");
    if (testing::Test::HasFatalFailure()) return;
    EXPECT_NE(run.output.find("Pitting is mandatory!\n"), std::string::npos);
    const standin::CarReport& viewed = run.car(1);
    ASSERT_EQ(viewed.stops.size(), 1u);
    ASSERT_EQ(viewed.stops[0].lap, 9);

    std::map<int, std::string> markerOfLap;  // lap described by the board -> the marker beside its lap time
    for (const auto& screen : run.session->screens()) {
        if (screen.lines.size() < 3 || screen.lines[0].rfind("L", 0) != 0) continue;
        const int lap = std::stoi(screen.lines[0].substr(1));
        markerOfLap[lap] = standin::colourText(screen.lines[2], false).substr(7, 4);  // a repeated marker is red
    }
    // The board at lap line n describes lap n - 1; lines 7 and 8 come before the stop at the end of lap 9.
    std::map<int, std::string> expected;
    for (int lap = 1; lap <= 9; ++lap) expected[lap] = lap == 6 || lap == 7 ? " PIT" : "    ";
    EXPECT_EQ(markerOfLap, expected);
}

TEST(RaceModel, QualifyingBoardShowsPositionGapsAndBestTime) {
    RaceRun run;
    run.play("qualifying");
    if (testing::Test::HasFatalFailure()) return;

    // The standings the program works out at each result of the viewed car, and the boards they give:
    // at the viewed car's lap line the board shows the standings before its latest result.
    const std::uint8_t viewedPlid = 1;
    std::map<std::uint8_t, std::uint32_t> best;
    struct Standing { std::uint32_t lapTime = 0; std::vector<std::string> lines; } latest, previous;
    std::vector<std::vector<std::string>> expected;
    for (const auto& packet : run.session->sentPackets()) {
        if (packet[1] == ISP_LAP && packet[3] == viewedPlid && previous.lapTime != 0) expected.push_back(previous.lines);
        if (packet[1] != ISP_RES) continue;
        IS_RES res;
        std::memcpy(&res, packet.data(), sizeof res);
        if (res.ResultNum != 255) best[res.PLID] = res.BTime;
        if (res.PLID != viewedPlid) continue;
        const std::uint32_t own = best[viewedPlid];
        unsigned position = 1;
        std::uint32_t nearestBetter = 0, nearestWorse = 0;
        for (const auto& [plid, time] : best) {
            if (plid == viewedPlid) continue;
            if (time < own) {
                ++position;
                nearestBetter = std::max(nearestBetter, time);
            } else if (time > own && (nearestWorse == 0 || time < nearestWorse)) {
                nearestWorse = time;
            }
        }
        previous = latest;
        latest.lapTime = res.BTime;
        latest.lines = {window16("P" + std::to_string(position)),
                        window16("-" + formatGap(nearestBetter ? own - nearestBetter : 0) + "/+" +
                                 formatGap(nearestWorse ? nearestWorse - own : 0)),
                        window16(formatLapTime(res.BTime))};
    }
    std::vector<std::vector<std::string>> shown;
    for (const auto& screen : run.session->screens())
        if (!screen.lines.empty()) shown.push_back(screen.lines);
    ASSERT_GE(expected.size(), 3u);
    EXPECT_EQ(shown, expected);
}

TEST(RaceModel, LongRaceOfSixtyFourCarsFillsTheStoreAndTheViewedCarGetsHome) {
    RaceRun run;
    run.play("long_race");
    if (testing::Test::HasFatalFailure()) return;
    EXPECT_NE(run.output.find("Restart detected: Race! Number of laps: 99. Allocated 152460bytes.\n"),
              std::string::npos);
    EXPECT_NE(run.output.find("Searching in 64 results.\n"), std::string::npos);  // a full lap block
    EXPECT_EQ(run.output.find("Memory allocation error!"), std::string::npos);
    EXPECT_EQ(run.output.find("More laps than allocated!"), std::string::npos);

    const standin::CarReport& viewed = run.car(1);
    const std::vector<int> amounts = fuelAmounts(run.output);
    ASSERT_FALSE(amounts.empty());
    ASSERT_EQ(viewed.stops.size(), 1u);
    EXPECT_EQ(viewed.stops[0].menuPercent, amounts.back());
    EXPECT_TRUE(viewed.finished);
    EXPECT_FALSE(viewed.ranDry);
    EXPECT_EQ(run.model->strayPresses(), 0);
    EXPECT_EQ(run.model->reports()[0].order.size(), 64u);
}
