// Fuzz target: any cfg.xml content through the settings reader and the defaults. Traps when the
// console shows anything but "Read InSim Port: " lines, or a setting is left unusable.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/invariant.h"
#include "app/config.h"
#include "support/transcript.h"

namespace {

// The settings reader takes a path: each input is written to one temporary file, removed at exit.
struct InputFile {
    std::string path = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/stintkeeper-cfg-XXXXXX";
    int fd = ::mkstemp(path.data());
    ~InputFile() {
        ::close(fd);
        ::unlink(path.c_str());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static InputFile file;
    check(file.fd >= 0 && ::ftruncate(file.fd, 0) == 0 && ::pwrite(file.fd, data, size, 0) == static_cast<ssize_t>(size),
          "the input cannot be written");
    Config config;
    transcript::Recorder console;
    readConfigFile(file.path.c_str(), config, console);
    // Only port lines, and the last one names the port kept.
    std::string last = "Read InSim Port: 0";
    for (std::size_t at = 0; at < console.text.size();) {
        const std::size_t end = console.text.find('\n', at);
        last = console.text.substr(at, end - at);
        check(end != std::string::npos && last.starts_with("Read InSim Port: "), "console text other than port lines");
        at = end + 1;
    }
    check(last == "Read InSim Port: " + std::to_string(config.insimPort), "the port printed is not the port kept");
    check(config.password.find('\0') == std::string::npos && config.lfsLocation.find('\0') == std::string::npos,
          "a text setting holds a NUL");
    applyDefaults(config);
    check(config.insimPort != 0 && config.outGaugePort != 0 && config.boardTimeOutMs != 0, "a setting still 0");
    return 0;
}
