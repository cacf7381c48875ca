// Starts a program (stintkeeper, or a benchmark's floor) in a fresh temporary directory and keeps what it
// writes, standard output and standard error apart, whole and in memory; whole lines may also go to a Console.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "standin/console.h"

namespace standin {

class ProgramRunner {
public:
    explicit ProgramRunner(std::string binary);
    ~ProgramRunner();  // a program still running is killed, its directory removed
    ProgramRunner(const ProgramRunner&) = delete;
    ProgramRunner& operator=(const ProgramRunner&) = delete;

    // Before start(): whole lines go to `console` as they come too, standard output's after `outputPrefix`,
    // standard error's after `errorPrefix`; a last line without its end goes when the program has ended.
    void forwardTo(Console& console, std::string outputPrefix, std::string errorPrefix);
    // Writes `cfgXml` as cfg.xml into the directory (no file when there is none) and starts the program
    // there with `arguments`, standard input from /dev/null. False when it could not: startError() tells why.
    bool start(const std::optional<std::string>& cfgXml, const std::vector<std::string>& arguments = {});
    const std::string& startError() const { return startError_; }
    const std::filesystem::path& directory() const { return directory_; }
    pid_t pid() const { return pid_; }

    bool running();
    // The exit code, 128 + the signal when a signal ended it; -1 when it is still running after the time.
    // Once it has ended, everything it wrote has been taken in.
    int wait(int timeoutMs);
    void kill();

    // Everything written so far, as written (a line still open included); safe from any thread.
    std::string output() const;
    std::string errors() const;
    // True as soon as the output (the errors) hold `text`; false after the time, or when the program has
    // ended without writing it.
    bool waitForOutput(std::string_view text, int timeoutMs) const;
    bool waitForErrors(std::string_view text, int timeoutMs) const;

private:
    struct Stream {
        int fd = -1;          // the read end of the program's pipe, non-blocking
        bool ended = false;   // the pipe has closed
        std::string text;     // everything read
        std::size_t forwarded = 0;
        std::string prefix;
    };
    void capture();                            // the reader thread
    void drain(Stream& stream) const;          // takes what the pipe holds now; with the lock held
    void forward(Stream& stream, bool ended) const;
    void stopCapture();
    bool reap(bool block);
    bool waitFor(Stream& stream, std::string_view text, int timeoutMs) const;

    std::string binary_;
    Console* console_ = nullptr;
    std::filesystem::path directory_;
    std::string startError_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;

    mutable std::mutex mutex_;
    mutable std::condition_variable grew_;
    mutable Stream output_, errors_;  // output() takes in what the pipes hold when it is called
    bool capturing_ = false;
    int stop_[2] = {-1, -1};  // a pipe: a byte in it tells the reader the program has ended
    std::thread reader_;
};

// A cfg.xml naming the program's InSim and OutGauge ports, with `extra` elements after them; the
// attributes, each written ` name="value"`, go on the InSim and OutGauge elements after the port.
std::string portsConfig(std::uint16_t insimPort, std::uint16_t outGaugePort, const std::string& extra = "",
                        const std::string& insimAttributes = "", const std::string& outGaugeAttributes = "");

}  // namespace standin
