// Runs a program as a child with its standard output and error on two pipes, in its own directory; a
// thread reads both, and a caller asking for the output takes in what they hold then. Only this child
// is ever signalled, by its process id.
#include "standin/program_runner.h"

#include <fcntl.h>
#include <poll.h>
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
namespace {

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

ProgramRunner::ProgramRunner(std::string binary) : binary_(std::move(binary)) {}

ProgramRunner::~ProgramRunner() {
    kill();
    stopCapture();
    closeFd(stop_[0]);
    closeFd(stop_[1]);
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}

void ProgramRunner::forwardTo(Console& console, std::string outputPrefix, std::string errorPrefix) {
    console_ = &console;
    output_.prefix = std::move(outputPrefix);
    errors_.prefix = std::move(errorPrefix);
}

bool ProgramRunner::start(const std::optional<std::string>& cfgXml, const std::vector<std::string>& arguments) {
    const std::filesystem::path binary = std::filesystem::absolute(binary_);
    if (::access(binary.c_str(), X_OK) != 0) {
        startError_ = binary_ + " is not a program that can be run";
        return false;
    }
    std::string pattern = (std::filesystem::temp_directory_path() / "stintkeeper-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        startError_ = "no temporary directory: " + std::string(std::strerror(errno));
        return false;
    }
    directory_ = pattern;
    if (cfgXml) std::ofstream(directory_ / "cfg.xml") << *cfgXml;

    // Close-on-exec, so that no other child keeps a copy: dup2 clears the flag on 1 and 2 alone.
    int outPipe[2], errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        startError_ = "no pipe: " + std::string(std::strerror(errno));
        return false;
    }
    if (::pipe2(errPipe, O_CLOEXEC) != 0 || ::pipe2(stop_, O_CLOEXEC) != 0) {
        startError_ = "no pipe: " + std::string(std::strerror(errno));
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) closeFd(fd);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    const std::string dir = directory_.string();
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());  // stintkeeper reads cfg.xml from here
    const std::string path = binary.string();
    std::vector<std::string> words{path};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int failure = ::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    closeFd(outPipe[1]);
    closeFd(errPipe[1]);
    if (failure != 0) {
        closeFd(outPipe[0]);
        closeFd(errPipe[0]);
        pid_ = -1;
        startError_ = "cannot start " + path + ": " + std::strerror(failure);
        return false;
    }
    output_.fd = outPipe[0];
    errors_.fd = errPipe[0];
    ::fcntl(output_.fd, F_SETFL, O_NONBLOCK);
    ::fcntl(errors_.fd, F_SETFL, O_NONBLOCK);
    capturing_ = true;
    reader_ = std::thread([this] { capture(); });
    return true;
}

void ProgramRunner::drain(Stream& stream) const {
    const std::size_t before = stream.text.size();
    char chunk[16384];
    while (stream.fd >= 0 && !stream.ended) {
        const ssize_t got = ::read(stream.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;  // nothing more for now
        if (got == 0) stream.ended = true;
        stream.text.append(chunk, static_cast<std::size_t>(got));
    }
    if (stream.text.size() == before && !stream.ended) return;
    forward(stream, stream.ended);
    grew_.notify_all();
}

void ProgramRunner::forward(Stream& stream, bool ended) const {
    if (console_ == nullptr) return;
    std::size_t newline;
    while ((newline = stream.text.find('\n', stream.forwarded)) != std::string::npos) {
        console_->line(stream.prefix + stream.text.substr(stream.forwarded, newline - stream.forwarded));
        stream.forwarded = newline + 1;
    }
    if (ended && stream.forwarded < stream.text.size()) {  // the last words may come without a line end
        console_->line(stream.prefix + stream.text.substr(stream.forwarded));
        stream.forwarded = stream.text.size();
    }
}

// Wakes when a pipe has data or has closed, or when told the program has ended: what it wrote is in the
// pipes then, and a child it left behind holding them may write on, so that is the end of the capture.
void ProgramRunner::capture() {
    const auto open = [](const Stream& stream) { return stream.ended ? -1 : stream.fd; };
    for (bool stop = false; !stop;) {
        std::unique_lock<std::mutex> lock(mutex_);
        pollfd entries[3] = {{open(output_), POLLIN, 0}, {open(errors_), POLLIN, 0}, {stop_[0], POLLIN, 0}};
        lock.unlock();
        if (entries[0].fd < 0 && entries[1].fd < 0) break;
        if (::poll(entries, 3, -1) < 0 && errno != EINTR) break;
        stop = entries[2].revents != 0;
        lock.lock();
        drain(output_);
        drain(errors_);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    for (Stream* stream : {&output_, &errors_}) {
        closeFd(stream->fd);
        forward(*stream, true);
    }
    capturing_ = false;
    grew_.notify_all();
}

void ProgramRunner::stopCapture() {
    if (!reader_.joinable()) return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stop_[1], &byte, 1);
    reader_.join();
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
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    stopCapture();
    return exitCode_;
}

void ProgramRunner::kill() {
    if (pid_ <= 0 || exited_) return;
    ::kill(pid_, SIGKILL);
    reap(true);
    stopCapture();
}

std::string ProgramRunner::output() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    drain(output_);
    return output_.text;
}

std::string ProgramRunner::errors() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    drain(errors_);
    return errors_.text;
}

bool ProgramRunner::waitFor(Stream& stream, std::string_view text, int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    drain(stream);
    grew_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                   [&] { return stream.text.find(text) != std::string::npos || !capturing_; });
    return stream.text.find(text) != std::string::npos;
}

bool ProgramRunner::waitForOutput(std::string_view text, int timeoutMs) const {
    return waitFor(output_, text, timeoutMs);
}

bool ProgramRunner::waitForErrors(std::string_view text, int timeoutMs) const {
    return waitFor(errors_, text, timeoutMs);
}

std::string portsConfig(std::uint16_t insimPort, std::uint16_t outGaugePort, const std::string& extra,
                        const std::string& insimAttributes, const std::string& outGaugeAttributes) {
    return "<Config>\n  <InSim port=\"" + std::to_string(insimPort) + "\"" + insimAttributes + "/>\n  <OutGauge port=\"" +
           std::to_string(outGaugePort) + "\"" + outGaugeAttributes + "/>\n" + extra + "</Config>\n";
}

}  // namespace standin
