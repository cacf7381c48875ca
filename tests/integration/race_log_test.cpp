// The race log of the real program: killed mid-race, it leaves every line it handled in the file.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/files.h"
#include "support/hosted_run.h"

// Lines of PLID 2 and the viewed PLID 1, then the level of PLID 1, each taken before the next packet; at
// lap 2 his level never comes. SIGKILL then: every row is in the file but his last, which waited for its level.
TEST(RaceLog, AKilledProgramLeavesEveryLineItHandled) {
    HostedRun run("<Log dir=\"logs\"/>");
    ASSERT_TRUE(run.connect());
    standin::OutGaugeSender gauge(run.outGaugePort);
    IS_RST rst = standin::makeRst(10, 0);
    std::memcpy(rst.Track, "BL1", 3);
    run.host.sendPacket(rst);
    run.host.sendPacket(standin::makeSta(1, 1, 10));
    for (word lap = 1; lap <= 2; ++lap) {
        run.host.sendPacket(standin::makeLap(2, 60000, lap * 60000u, lap));
        run.host.sendPacket(standin::makeLap(1, 60000, lap * 60000u + 500, lap));
        ASSERT_NE(run.sent(), "(no answer)");  // both lines handled before the datagram comes
        if (lap == 2) break;
        gauge.sendPacket(standin::makeOutGauge(lap * 1000u, 0.625f - 0.125f * lap, 1));
        // The second round trip begins after the turn of the first has polled OutGauge.
        ASSERT_NE(run.sent(), "(no answer)");
        ASSERT_NE(run.sent(), "(no answer)");
    }
    run.program.kill();

    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(run.program.directory() / "logs"))
        files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u);
    std::string shape = files[0].filename().string();  // the local date and time, then the track
    for (char& c : shape) c = std::isdigit(static_cast<unsigned char>(c)) ? '9' : c;
    EXPECT_EQ(shape, "9999-99-99_9999_BL9.csv");
    EXPECT_EQ(fileText(files[0]),
              "session,lap,plid,position,lap_time_ms,elapsed_ms,stops,penalty,fuel,use,estimate,pit_fuel\n"
              "1,1,2,1,60000,60000,0,0,,,,\n"
              "1,1,1,2,60000,60500,0,0,0.5,,,\n"
              "1,2,2,1,60000,120000,0,0,,,,\n");
}
