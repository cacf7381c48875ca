// Runs the program as a child with its standard output and error on a pipe, in its own directory.
// Only this child is ever signalled, by its process id.
#include "standin/program_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>

extern char** environ;

namespace standin {

ProgramRunner::ProgramRunner(std::string binary, Console& console, std::string prefix)
    : binary_(std::move(binary)), console_(console), prefix_(std::move(prefix)) {}

ProgramRunner::~ProgramRunner() {
    kill();
    if (output_.joinable()) output_.join();
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

bool ProgramRunner::start(std::uint16_t insimPort, std::uint16_t outGaugePort) {
    const std::filesystem::path binary = std::filesystem::absolute(binary_);
    if (::access(binary.c_str(), X_OK) != 0) {
        error_ = binary_ + " is not a program that can be run";
        return false;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "stintkeeper-demo-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        error_ = "no temporary directory: " + std::string(std::strerror(errno));
        return false;
    }
    directory_ = pattern;
    std::ofstream(directory_ / "cfg.xml") << "<Config>\n  <InSim port=\"" << insimPort << "\"/>\n  <OutGauge port=\""
                                          << outGaugePort << "\"/>\n</Config>\n";

    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        error_ = "no pipe: " + std::string(std::strerror(errno));
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    const std::string dir = directory_.string();
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());  // the program reads cfg.xml from here
    const std::string path = binary.string();
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    const int failure = ::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (failure != 0) {
        ::close(pipeEnds[0]);
        pid_ = -1;
        error_ = "cannot start " + path + ": " + std::strerror(failure);
        return false;
    }
    output_ = std::thread([this, fd = pipeEnds[0]] { forward(fd); });
    return true;
}

void ProgramRunner::forward(int fd) {
    std::string pending;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        pending.append(chunk, static_cast<std::size_t>(got));
        std::size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            console_.line(prefix_ + pending.substr(0, newline));
            pending.erase(0, newline + 1);
        }
    }
    if (!pending.empty()) console_.line(prefix_ + pending);  // the last words come without a line end
    ::close(fd);
}

bool ProgramRunner::reap(bool block) {
    if (pid_ <= 0 || exited_) return true;
    int status = 0;
    pid_t done;
    do done = ::waitpid(pid_, &status, block ? 0 : WNOHANG); while (done < 0 && errno == EINTR);
    if (done != pid_) return false;
    exited_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

bool ProgramRunner::running() { return pid_ > 0 && !reap(false); }

int ProgramRunner::wait(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (output_.joinable()) output_.join();  // every line it wrote is out before the caller goes on
    return exitCode_;
}

void ProgramRunner::kill() {
    if (pid_ <= 0 || exited_) return;
    ::kill(pid_, SIGKILL);
    reap(true);
}

}  // namespace standin
