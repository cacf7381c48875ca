// Runs the real stintkeeper binary in a fresh temporary directory, with its console captured,
// for integration tests against the stand-in.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

extern char** environ;

class ProgramRun {
public:
    // Writes cfg.xml with `cfgXml` unless it is empty, then starts the program in the directory.
    explicit ProgramRun(const std::string& cfgXml, const char* binary = STINTKEEPER_BINARY) {
        char pattern[] = "/tmp/stintkeeper-test-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        if (!cfgXml.empty()) std::ofstream(dir_ / "cfg.xml") << cfgXml;
        start(binary);
    }
    ~ProgramRun() {
        if (running()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && !exited_; }

    // The exit code, or -1 when the program is still running after the time (it is then killed).
    int waitExit(int timeoutMs = 5000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!exited_) {
            int status = 0;
            const pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                exited_ = true;
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                exited_ = true;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return exitCode_;
    }

    std::string output() const {  // stdout and stderr so far
        std::ifstream in(dir_ / "console.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // True once the console holds `text`.
    bool waitForOutput(const std::string& text, int timeoutMs = 5000) const {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (output().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

private:
    void start(const char* binary) {
        const std::string consolePath = (dir_ / "console.txt").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const std::string dir = dir_.string();
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());  // cfg.xml is read from here
        char* argv[] = {const_cast<char*>(binary), nullptr};
        if (::posix_spawn(&pid_, binary, &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }

    std::filesystem::path dir_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
};

// A cfg.xml that points the program at the given ports.
inline std::string portsConfig(unsigned insimPort, unsigned outGaugePort, const std::string& extra = "") {
    return "<Config>\n  <InSim port=\"" + std::to_string(insimPort) + "\"/>\n  <OutGauge port=\"" +
           std::to_string(outGaugePort) + "\"/>\n" + extra + "</Config>\n";
}
