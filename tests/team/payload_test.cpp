// The team link's payloads: what is written, what is read, and what is ignored and why.
#include <gtest/gtest.h>

#include <string>

#include "team/payload.h"

namespace {

const std::string kRace = R"("race":{"host":"Night","track":"KY2","laps":30},"car":1,"sender":"mate")";

// What a payload read holds, or why it is not taken.
std::string readBack(const std::string& payload) {
    std::string why;
    const auto report = readPayload(payload, why);
    if (!report) return why;
    std::string text = report->race.host + " " + report->race.track + " " + std::to_string(report->race.raceLaps) +
                       " car " + std::to_string(report->plid) + " " + report->sender + ":";
    for (const TeamLine& line : report->lines) {
        text += " " + std::to_string(line.lap) + "@" + std::to_string(line.elapsed) + "=" + std::to_string(line.fuel);
    }
    if (report->history) return text + " history";
    return text + " use " + (report->use ? std::to_string(*report->use) : "none") + " togo " +
           std::to_string(report->lapsToGo) + " stops " + std::to_string(report->stops) + " window " +
           std::to_string(report->windowFrom) + "-" + std::to_string(report->windowTo) + " amount " +
           std::to_string(report->amount);
}

}  // namespace

TEST(TeamPayload, WrittenAsJsonWithItsVersion) {
    TeamReport report{{"Night", "KY2", 30}, 1, "mate", {{12, 723456, 0.45671f}}, 0.026f, 17.46f, 2, 23, 27, 58, false};
    EXPECT_EQ(writePayload(report), R"({"amount":58,"car":1,"lines":[[12,723456,0.4567]],)"
                                    R"("race":{"host":"Night","laps":30,"track":"KY2"},"sender":"mate","stops":2,)"
                                    R"("togo":17.5,"use":0.026,"v":1,"window":[23,27]})");
    // A day of laps of under a minute, each line's fuel: the history stays under 64 KB.
    TeamReport history{{"Endurance of 24 hours", "KY3R", 214}, 32, "a_long_user_name_abcdefg", {}, {}, 0, 0, 0, 0, 0, true};
    for (std::uint16_t lap = 1; lap <= 1500; ++lap) history.lines.push_back({lap, 86400000u - lap, 0.98765f});
    EXPECT_LT(writePayload(history).size(), kMostPayloadBytes);
}

TEST(TeamPayload, ReadOrIgnoredWithItsReason) {
    const std::string outOfRange = "a field is missing or out of range";
    const struct {
        std::string payload, read;
    } cases[] = {
        {"{\"v\":1," + kRace + R"(,"lines":[[12,723456,0.5]],"use":0.026,"togo":17.5,"stops":2,"window":[23,27],"amount":58})",
         "Night KY2 30 car 1 mate: 12@723456=0.500000 use 0.026000 togo 17.500000 stops 2 window 23-27 amount 58"},
        {"{\"v\":1," + kRace + R"(,"lines":[[1,61000,1],[2,121000,0]],"history":true})",
         "Night KY2 30 car 1 mate: 1@61000=1.000000 2@121000=0.000000 history"},
        {"{\"v\":1," + kRace + R"(,"lines":[],"togo":3,"stops":0,"amount":0})",
         "Night KY2 30 car 1 mate: use none togo 3.000000 stops 0 window 0-0 amount 0"},
        {"not json", "it is not a JSON object"},
        {"[1]", "it is not a JSON object"},
        {"{\"v\":2," + kRace + R"(,"lines":[]})", "it is not of version 1"},
        {"{\"v\":1," + kRace + R"(,"lines":[[12,723456,1.01]],"history":true})", outOfRange},
        {"{\"v\":1," + kRace + R"(,"lines":[[31,723456,0.5]],"history":true})", outOfRange},
        {"{\"v\":1," + kRace + R"(,"lines":[[0,723456,0.5]],"history":true})", outOfRange},
        {"{\"v\":1," + kRace + R"(,"lines":[],"use":0,"togo":3,"stops":0,"amount":0})", outOfRange},
        {"{\"v\":1," + kRace + R"(,"lines":[],"use":-0.02,"togo":3,"stops":0,"amount":0})", outOfRange},
        {"{\"v\":1," + kRace + R"(,"lines":[],"togo":3,"stops":0,"amount":"58"})", outOfRange},
        {R"({"v":1,"car":1,"sender":"mate","lines":[],"history":true})", outOfRange},
        {"{\"v\":1," + kRace + R"(,"lines":[]})" + std::string(65536, ' '), "it is over 64 KB"},
    };
    for (const auto& c : cases) EXPECT_EQ(readBack(c.payload), c.read) << c.payload.substr(0, 200);
}
