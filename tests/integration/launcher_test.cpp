// Starting the simulator: the real program launches a stand-in LFS.exe script that records how it ran.
// Checks its arguments and directory, the console lines, failures, and that it runs on independently.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/hosted_run.h"

namespace {

std::vector<pid_t> childrenOf(pid_t parent) {
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(name));
        const auto state = processStat(pid);
        if (state && state->parent == parent) children.push_back(pid);
    }
    return children;
}

// Signals ignored by a process, from its /proc status.
unsigned long long ignoredSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigIgn:", 0) == 0) return std::stoull(line.substr(7), nullptr, 16);
    }
    return ~0ull;
}

bool waitFor(const auto& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// The simulator's directory with an LFS.exe that writes its process id, working directory and
// arguments ($0 is the file it was started as, which the launcher also passes as argv[0]).
// While one exists this test process adopts the orphans below it, so the simulator the program
// leaves behind can be ended and reaped here.
class FakeSimulator {
public:
    enum class Then { Exit, KeepRunning };

    explicit FakeSimulator(Then then = Then::Exit, bool executable = true) {
        char pattern[] = "/tmp/stintkeeper-lfs-XXXXXX";
        dir_ = std::filesystem::canonical(::mkdtemp(pattern));
        const std::string record = (dir_ / "record").string();
        std::ofstream script(dir_ / "LFS.exe");
        script << "#!/bin/sh\n"
               << "{ echo \"$$\"; pwd -P; for a in \"$0\" \"$@\"; do echo \"$a\"; done; } > '" << record << ".tmp'\n"
               << "mv '" << record << ".tmp' '" << record << "'\n"
               << (then == Then::KeepRunning ? "exec sleep 60\n" : "");
        script.close();
        ::chmod((dir_ / "LFS.exe").c_str(), executable ? 0755 : 0644);
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    }
    ~FakeSimulator() {
        if (const pid_t started = pid(); started > 0) {
            // Ended only while it is still this script, known by its working directory.
            std::error_code ignored;
            if (std::filesystem::read_symlink("/proc/" + std::to_string(started) + "/cwd", ignored) == dir_) {
                ::kill(started, SIGKILL);
            }
            const auto state = processStat(started);
            if (state && state->parent == ::getpid()) ::waitpid(started, nullptr, 0);
        }
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    FakeSimulator(const FakeSimulator&) = delete;
    FakeSimulator& operator=(const FakeSimulator&) = delete;

    std::string location() const { return dir_.string() + "/"; }
    std::string dir() const { return dir_.string(); }
    bool started() const { return std::filesystem::exists(dir_ / "record"); }
    bool waitStarted() const { return waitFor([this] { return started(); }); }

    // Lines of the record: process id, working directory, then every argument.
    std::vector<std::string> record() const {
        std::ifstream in(dir_ / "record");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    pid_t pid() const {
        const auto lines = record();
        return lines.empty() ? -1 : static_cast<pid_t>(std::stol(lines[0]));
    }
    std::vector<std::string> directoryAndArguments() const {
        const auto lines = record();
        return std::vector<std::string>(lines.begin() + (lines.empty() ? 0 : 1), lines.end());
    }

private:
    std::filesystem::path dir_;
};

std::string launchConfig(const std::string& location, const std::string& switches) {
    return "  <LFSExec location=\"" + location + "\" " + switches + "/>\n";
}

// The console up to the first connection attempt.
std::string startOfConsole(const std::string& insimPort, const std::string& launcherLines) {
    return "Stintkeeper by Tessel. Version R4.\n"
           "Reading cfg.xml using IrrXML... Read InSim Port: " + insimPort + "\n"
           "Done!\n"
           "Initialization done!\n" + launcherLines + "Waiting for InSim... ";
}

const std::string kHandshakeLines =
    "Connected!\n"
    "Sent ISI. Waiting for reply...\n"
    "InSim version is 5 - accepted.\n"
    "Requesting OutGauge...\n"
    "Waiting for restart...\n";

}  // namespace

TEST(Launcher, StartsLfsExeDetachedInItsLocationWithTheInSimPortAndItOutlivesTheProgram) {
    FakeSimulator simulator(FakeSimulator::Then::KeepRunning);
    HostedRun run(launchConfig(simulator.location(), "start=\"1\" InvokeInSim=\"1\""));
    ASSERT_TRUE(run.handshake());
    const std::string port = std::to_string(run.host.port());
    EXPECT_EQ(run.program.output(),
              startOfConsole(port, "Starting LFS!\nStarting LFS with " + simulator.location() + "LFS.exe /insim=" +
                                       port + "\n") +
                  kHandshakeLines);
    ASSERT_TRUE(simulator.waitStarted());
    EXPECT_EQ(simulator.directoryAndArguments(), (std::vector<std::string>{simulator.dir(), "LFS.exe", "/insim=" + port}));

    // Its own session, so a Ctrl+C at this console does not reach it, and none of the signals
    // the program ignores (SDL_net ignores SIGPIPE) passed on to it.
    const auto state = processStat(simulator.pid());
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->session, simulator.pid());
    const unsigned long long mask = ignoredSignals(simulator.pid());
    EXPECT_EQ(mask & (1ull << (SIGPIPE - 1)), 0u);
    EXPECT_EQ(mask & (1ull << (SIGCHLD - 1)), 0u);

    run.host.closeClient();
    EXPECT_EQ(run.program.waitExit(kWaitMs), 0);
    const auto after = processStat(simulator.pid());
    ASSERT_TRUE(after.has_value());
    EXPECT_NE(after->state, 'Z');
    EXPECT_EQ(after->parent, ::getpid());  // adopted when the program ended
}

TEST(Launcher, WithoutAnInSimPortTheDefaultIsPassed) {
    FakeSimulator simulator;
    ProgramRun program("<Config>\n" + launchConfig(simulator.location(), "start=\"1\" InvokeInSim=\"\"") +
                       "</Config>\n");
    ASSERT_TRUE(simulator.waitStarted());
    EXPECT_EQ(simulator.directoryAndArguments(), (std::vector<std::string>{simulator.dir(), "LFS.exe", "/insim=12500"}));
    ASSERT_TRUE(program.waitForOutput("Waiting for InSim... "));
    const std::string expected = "Stintkeeper by Tessel. Version R4.\n"
                                 "Reading cfg.xml using IrrXML... Done!\n"
                                 "Initialization done!\n"
                                 "Starting LFS!\n"
                                 "Starting LFS with " + simulator.location() + "LFS.exe /insim=12500\n"
                                 "Waiting for InSim... ";
    EXPECT_EQ(program.output().substr(0, expected.size()), expected);
}

// Failures are reported and not fatal: the program goes on to wait for InSim.
TEST(Launcher, NothingStartsWithoutStartAndInvokeInSimOrWhereThereIsNoLfsExeToStart) {
    const struct {
        const char* switches;
        bool wrongLocation, executable;
        const char* failures;  // nullptr: not even tried
    } cases[] = {
        {"start=\"1\" InvokeInSim=\"1\"", true, true, "Failed to open LFS location!\nFailed to start LFS!\n"},
        {"start=\"1\" InvokeInSim=\"1\"", false, false, "Failed to start LFS!\n"},
        {"start=\"1\" ", false, true, nullptr},
        {"start=\"0\" InvokeInSim=\"1\" ", false, true, nullptr},
        {"InvokeInSim=\"1\" ", false, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.switches << (c.wrongLocation ? " wrong location" : "")
                                        << (c.executable ? "" : " not executable"));
        FakeSimulator simulator(FakeSimulator::Then::Exit, c.executable);
        const std::string location =
            c.wrongLocation ? "/nonexistent/stintkeeper-no-such-dir/" : simulator.location();
        const std::uint16_t port = standin::freePort(false);
        ProgramRun program(portsConfig(port, standin::freePort(true), launchConfig(location, c.switches)));
        ASSERT_TRUE(program.waitForOutput("Waiting for InSim... "));
        const std::string tried = "Starting LFS!\nStarting LFS with " + location + "LFS.exe /insim=" +
                                  std::to_string(port) + "\n" + (c.failures ? c.failures : "");
        EXPECT_EQ(program.output(), startOfConsole(std::to_string(port), c.failures ? tried : ""));
        EXPECT_FALSE(simulator.started());
    }
}

TEST(Launcher, ASimulatorThatEndsFirstLeavesNoZombie) {
    FakeSimulator simulator(FakeSimulator::Then::Exit);
    HostedRun run(launchConfig(simulator.location(), "start=\"1\" InvokeInSim=\"1\""));
    ASSERT_TRUE(run.handshake());
    ASSERT_TRUE(simulator.waitStarted());
    const pid_t started = simulator.pid();
    ASSERT_TRUE(waitFor([started] {
        const auto state = processStat(started);
        return !state || state->state == 'Z';  // ended, whoever reaps it
    }));
    EXPECT_TRUE(childrenOf(run.program.pid()).empty());
    const auto programState = processStat(run.program.pid());  // the check was made on a live program
    ASSERT_TRUE(programState.has_value());
    EXPECT_NE(programState->state, 'Z');
}
