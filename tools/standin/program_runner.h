// Starts the stintkeeper program in a fresh temporary directory with a cfg.xml naming the ports,
// and passes its console lines to the stand-in's output as they come.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "standin/console.h"

namespace standin {

class ProgramRunner {
public:
    ProgramRunner(std::string binary, Console& console, std::string prefix);
    ~ProgramRunner();  // a program still running is killed, its directory removed
    ProgramRunner(const ProgramRunner&) = delete;
    ProgramRunner& operator=(const ProgramRunner&) = delete;

    bool start(std::uint16_t insimPort, std::uint16_t outGaugePort);  // false: error() tells why
    bool running();
    // The exit code, 128 + signal when it was killed by one, -1 when still running after the time.
    int wait(int timeoutMs);
    void kill();
    const std::string& error() const { return error_; }
    const std::filesystem::path& directory() const { return directory_; }

private:
    void forward(int fd);  // the output thread: whole lines to the console
    bool reap(bool block);

    std::string binary_;
    Console& console_;
    std::string prefix_;
    std::filesystem::path directory_;
    pid_t pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
    std::thread output_;
    std::string error_;
};

}  // namespace standin
