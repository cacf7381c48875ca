// The real program ending at a signal with reconnect on (a whole race that joins late and connects again
// is a row of race_test.cpp).
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
