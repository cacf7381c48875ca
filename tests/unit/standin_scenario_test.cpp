// The stand-in's scenario files: a bad one stops the reading with file:line: expected ..., and the
// shipped scenarios all read.
#include <gtest/gtest.h>

#include <filesystem>

#include "standin/scenario.h"

TEST(StandinScenario, ErrorsNameFileLineAndWhatWasExpected) {
    const std::string cars = "car 1 lap 60 use 5\ncar 2 lap 61 use 5\n";  // lines 1 and 2
    std::string sixtyFive;
    for (int plid = 1; plid <= 65; ++plid) sixtyFive += "car " + std::to_string(plid) + " lap 60 use 2\n";
    const std::pair<std::string, std::string> cases[] = {
        {cars + "sprint 5\n", "3: expected seed, outgauge, splits, pit-lane, service, refuel, inlap, outlap, track, "
                              "car, race, qualifying, practice, view, penalty or caution, found 'sprint'"},
        {cars + "race 100\n", "3: expected a number of laps from 1 to 99, found '100'"},
        {cars + "race 5 twice\n", "3: expected the end of the line, found 'twice'"},
        {"car 1 use 5\nrace 3\n", "1: expected 'lap <seconds>' in the car line"},
        {"car 1 lap 60 use 5 colour red\n",
         "1: expected name, lap, spread, use, usespread, fuel, fuelspread, menu, stop or margin, found 'colour'"},
        {sixtyFive + "race 1\n", "65: expected at most 64 cars"},
        {cars + "view 1\n", "3: expected 'view' inside a session (after race, qualifying or practice)"},
        {cars, "3: expected at least one session (race, qualifying or practice)"},
    };
    for (const auto& [text, error] : cases) {
        const auto result = standin::parseScenario(text, "test.txt");
        EXPECT_FALSE(result.scenario.has_value()) << error;
        EXPECT_EQ(result.error, "test.txt:" + error);
    }
    EXPECT_EQ(standin::loadScenario("no/such/file.txt").error, "no/such/file.txt: cannot be read");
}

TEST(StandinScenario, ShippedScenariosAllRead) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(STINTKEEPER_SOURCE_DIR "/tools/scenarios")) {
        const auto result = standin::loadScenario(entry.path().string());
        EXPECT_TRUE(result.scenario.has_value()) << result.error;
        ++count;
    }
    EXPECT_EQ(count, 6);
}
