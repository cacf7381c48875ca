// Starting the simulator: the real program launches a stand-in LFS.exe script that records how it ran.
// Its arguments, directory, session and signals, the console lines, the failures, and no child left behind.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "support/files.h"
#include "support/hosted_run.h"

namespace {

// The fields of /proc/<pid>/stat from the third (the state) on; none once the process is gone.
std::vector<std::string> statFields(pid_t pid) {
    const std::string text = fileText("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream rest(text.substr(text.rfind(')') + 1));  // the name may hold spaces and parentheses
    return {std::istream_iterator<std::string>(rest), {}};
}

// The simulator's directory with an LFS.exe that writes its working directory and arguments ($0 is the
// file it was started as, which the launcher passes as argv[0]), then sleeps. While one exists this
// test process adopts the orphans below it, so the one the program leaves behind is reaped here.
class FakeSimulator {
public:
    explicit FakeSimulator(bool executable = true) {
        std::ofstream(dir_ / "LFS.exe") << "#!/bin/sh\n{ pwd -P; for a in \"$0\" \"$@\"; do echo \"$a\"; done; } > "
                                           "record.tmp\nprintf $$ > pid\nmv record.tmp record\nexec sleep 60\n";
        std::filesystem::permissions(dir_ / "LFS.exe", executable ? std::filesystem::perms::owner_all
                                                                  : std::filesystem::perms::owner_read);
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    ~FakeSimulator() {
        if (started()) {  // the sleep, adopted by now
            ::kill(std::stoi(pid()), SIGKILL);
            ::waitpid(std::stoi(pid()), nullptr, 0);
        }
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    }

    std::string dir() const { return dir_.string(); }
    bool started() const { return std::filesystem::exists(dir_ / "record"); }
    std::string record() const { return fileText(dir_ / "record"); }  // directory and arguments, a line each
    std::string pid() const { return fileText(dir_ / "pid"); }

private:
    TempDir temp_{"lfs"};
    const std::filesystem::path& dir_ = temp_.path;
};

std::string launch(const std::string& location, const std::string& switches) {
    return "  <LFSExec location=\"" + location + "\" " + switches + "/>\n";
}

}  // namespace

TEST(Launcher, StartsLfsExeDetachedInItsLocationWithTheInSimPortAndItOutlivesTheProgram) {
    FakeSimulator simulator;
    HostedRun run(launch(simulator.dir() + "/", "start=\"1\" InvokeInSim=\"1\""));
    ASSERT_TRUE(run.connect());
    const std::string port = std::to_string(run.host.port());
    const std::string launched = "Starting LFS!\nStarting LFS with " + simulator.dir() + "/LFS.exe /insim=" + port;
    EXPECT_EQ(run.program.output(), consoleUntilWaiting(run.host.port(), launched + "\n") + kHandshakeLines);
    // Seen once the script is the sleep: the shell running it sets its own signals.
    for (int tries = 0; tries < kWaitMs / 5; ++tries) {
        if (simulator.started() && fileText("/proc/" + simulator.pid() + "/comm") == "sleep\n") break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(simulator.record(), simulator.dir() + "\nLFS.exe\n/insim=" + port + "\n");
    // Its own session (field 6), so a Ctrl+C at this console does not reach it, and none of the signals the
    // program ignores (SDL_net ignores SIGPIPE) passed on to it (field 34, bit n - 1 for signal n).
    const std::vector<std::string> state = statFields(std::stoi(simulator.pid()));
    ASSERT_GT(state.size(), 31u);
    EXPECT_EQ(state[6 - 3], simulator.pid());
    EXPECT_EQ(std::stoull(state[34 - 3]) & ((1ull << (SIGPIPE - 1)) | (1ull << (SIGCHLD - 1))), 0u);
    // Neither it nor the process that started it is left as a child of the program, to linger as its zombie.
    const std::string program = std::to_string(run.program.pid());
    EXPECT_EQ(fileText("/proc/" + program + "/task/" + program + "/children"), "");
    run.host.closeClient();
    EXPECT_EQ(run.program.wait(kWaitMs), 0);
    const std::vector<std::string> after = statFields(std::stoi(simulator.pid()));
    ASSERT_GT(after.size(), 1u);
    EXPECT_NE(after[3 - 3], "Z");
    EXPECT_EQ(after[4 - 3], std::to_string(::getpid()));  // its parent: adopted when the program ended
}

// Failures are reported and not fatal: the program goes on to wait for InSim.
TEST(Launcher, NothingStartsWithoutStartAndInvokeInSimOrWhereThereIsNoLfsExe) {
    const struct {
        const char* switches;
        bool wrongLocation, executable;
        const char* failures;  // nullptr: not even tried
    } cases[] = {
        {"start=\"1\" InvokeInSim=\"1\"", true, true, "Failed to open LFS location!\nFailed to start LFS!\n"},
        {"start=\"1\" InvokeInSim=\"1\"", false, false, "Failed to start LFS!\n"},
        {"start=\"1\" ", false, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.switches << (c.wrongLocation ? " no such location" : "")
                                        << (c.executable ? "" : " not executable"));
        FakeSimulator simulator(c.executable);
        const std::string location = c.wrongLocation ? "no-such-directory/" : simulator.dir() + "/";
        const std::uint16_t port = standin::freePort(false);
        standin::ProgramRunner program(STINTKEEPER_BINARY);
        ASSERT_TRUE(program.start(standin::portsConfig(port, standin::freePort(true), launch(location, c.switches))));
        ASSERT_TRUE(program.waitForOutput("Waiting for InSim... ", kWaitMs));
        const std::string tried = "Starting LFS!\nStarting LFS with " + location + "LFS.exe /insim=" +
                                  std::to_string(port) + "\n" + (c.failures ? c.failures : "");
        EXPECT_EQ(program.output(), consoleUntilWaiting(port, c.failures ? tried : ""));
        EXPECT_FALSE(simulator.started());
    }
}

