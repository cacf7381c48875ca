// Fuzz target: any cfg.xml content through the settings reader and the defaults.
// Traps when the console shows anything but "Read InSim Port: " lines or a setting is left unusable.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/config.h"
#include "link/port.h"

namespace {

// The settings reader takes a path: each input is written to one temporary file, removed at exit.
class InputFile {
public:
    InputFile() {
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/stintkeeper-cfg-XXXXXX";
        fd_ = ::mkstemp(path_.data());
        if (fd_ < 0) std::abort();
    }
    ~InputFile() {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const char* write(const std::uint8_t* data, std::size_t size) {
        if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
        return path_.c_str();
    }

private:
    std::string path_;
    int fd_ = -1;
};

// Each console text must be one whole "Read InSim Port: " line; the last one names the port read.
struct ConsoleChecker final : Port {
    std::string fault;
    bool sawPort = false;
    long lastPort = 0;

    void send(const void*, std::size_t) override { fault = "the settings reader sent bytes"; }
    void write(std::string_view text) override {
        constexpr std::string_view kLabel = "Read InSim Port: ";
        if (text.substr(0, kLabel.size()) != kLabel || text.empty() || text.back() != '\n') {
            fault = "console text other than a port line";
            return;
        }
        const std::string number(text.substr(kLabel.size(), text.size() - kLabel.size() - 1));
        char* end = nullptr;
        lastPort = std::strtol(number.c_str(), &end, 10);
        if (number.empty() || *end != '\0' || std::to_string(lastPort) != number) fault = "port line without a number";
        sawPort = true;
    }
};

[[noreturn]] void violated(const std::string& what) {
    std::fprintf(stderr, "invariant violated: %s\n", what.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static InputFile file;
    Config config;
    ConsoleChecker console;
    readConfigFile(file.write(data, size), config, console);
    if (!console.fault.empty()) violated(console.fault);
    if (console.sawPort && console.lastPort != config.insimPort) violated("the port printed is not the port kept");
    if (!console.sawPort && config.insimPort != 0) violated("a port was kept without its line");
    if (config.password.find('\0') != std::string::npos || config.lfsLocation.find('\0') != std::string::npos)
        violated("a text setting holds a NUL");
    applyDefaults(config);
    if (config.insimPort == 0 || config.outGaugePort == 0 || config.boardTimeOutMs == 0)
        violated("a setting still 0 after the defaults");
    return 0;
}
