// The real program joining a race late, connecting again after a lost link, and ending at a signal.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>

#include "support/files.h"
#include "support/hosted_run.h"

namespace {

std::string onlyFile(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) files.push_back(entry.path());
    return files.size() == 1 ? fileText(files[0]) : "(" + std::to_string(files.size()) + " files)";
}

}  // namespace

// With reconnect on, SIGINT mid-race ends the program as a lost link does without it: the board cleared,
// the viewed car's row that waited for its level written without it, "Exiting... " and exit code 0.
TEST(Resume, SigintEndsCleanlyWithTheLogComplete) {
    HostedRun run("<Log dir=\"logs\"/>", " reconnect=\"1\"");
    ASSERT_TRUE(run.connect());
    run.host.sendPacket(standin::makeRst(10, 0));
    run.host.sendPacket(standin::makeSta(1, 1, 10));
    run.host.sendPacket(standin::makeLap(2, 60000, 60000, 1));
    run.host.sendPacket(standin::makeLap(1, 60000, 60500, 1));
    ASSERT_EQ(run.sent(), kClearButtons + kClearButtons);  // the restart's, the state's (no board yet)
    ::kill(run.program.pid(), SIGINT);
    EXPECT_EQ(run.host.receiveBytes(8, kWaitMs), standin::Packet(kClearButtons.begin(), kClearButtons.end()));
    EXPECT_EQ(run.program.wait(kWaitMs), 0);
    EXPECT_EQ(run.consoleSinceHandshake(),
              "Restart detected: Race! Number of laps: 10. Allocated 15400bytes.\nCleared memory! Cleared pitboard!\n"
              "Pitting isn't mandatory.\nNew registered laptime by PLID 2: 1:0.0\nNew registered laptime by PLID 1: 1:0.0\n"
              "Exiting... ");
    EXPECT_EQ(onlyFile(run.program.directory() / "logs"),
              "session,lap,plid,position,lap_time_ms,elapsed_ms,stops,penalty,fuel,use,estimate,pit_fuel\n"
              "1,1,2,1,60000,60000,0,0,,,,\n1,1,1,2,60000,60500,0,0,,,,\n");
}

// The hour-long race joined ten minutes in, the link lost at twenty-five minutes for a minute and a half:
// the program joins, goes on with the same race, sets the amount the viewed car stops with, and at the
// end, waiting for the game, stops at SIGTERM with exit code 0.
TEST(Resume, JoinedLateAndConnectedAgain) {
    HostedRun run("<Race long=\"1\" join=\"1\"/>\n", " reconnect=\"1\"");
    standin::RaceModel model = modelOf("rejoin");
    std::ostringstream shown;
    standin::Console console{shown, false};
    standin::HostOptions options;
    options.connectAtMs = 600000;
    options.dropAtMs = 1500000;
    options.downMs = 90000;
    standin::HostSession session{run.host, model, console, options};
    ASSERT_TRUE(session.run()) << session.error() << "\n" << run.program.output();
    ::kill(run.program.pid(), SIGTERM);
    EXPECT_EQ(run.program.wait(kWaitMs), 0);
    const std::string out = run.program.output();
    EXPECT_EQ(count(out, "\nJoined a race in progress: Race! Duration: 60 Minutes.\n"), 1);
    const std::string lost = "\nLost the InSim link: connecting again.\n";
    const std::string back = "\nLink back: the same session is still running, tracking goes on.\n";
    EXPECT_EQ(count(out, back), 1);
    EXPECT_LT(out.find(lost), out.find(back));  // the end's loss may come before the stop or not
    EXPECT_EQ(out.substr(out.size() - 11), "Exiting... ");
    const standin::CarReport* car = viewedCar(model);
    ASSERT_TRUE(car);
    ASSERT_EQ(car->stops.size(), 1u);
    EXPECT_TRUE(car->finished && !car->ranDry);
    const std::string label = "\nSetting fuel to " + std::to_string(car->stops[0].menuPercent) + "%\n";
    EXPECT_EQ(count(out, label), 1) << out;
}
