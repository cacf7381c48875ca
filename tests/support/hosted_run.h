// The real program started against a loopback stand-in InSim host, with the handshake and the
// keep-alive round trip that integration tests drive it by; and a process's /proc stat fields.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "standin/insim_host.h"
#include "standin/packets.h"
#include "support/program.h"
#include "support/recording_port.h"

constexpr int kWaitMs = 5000;

inline std::string asString(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

struct HostedRun {
    standin::InSimHost host;
    std::uint16_t outGaugePort = standin::freePort(true);
    ProgramRun program;
    std::string isi, small;  // the program's IS_ISI and OutGauge request

    // `extraConfig`: more cfg.xml elements beside the two ports.
    explicit HostedRun(const std::string& extraConfig = "")
        : program(portsConfig(host.port(), outGaugePort, extraConfig)) {}

    // Accepts the program and answers its IS_ISI with IS_VER `insimVer`; with version 5, also takes
    // the OutGauge request and waits for "Waiting for restart...".
    bool handshake(word insimVer = 5) {
        if (!host.accept(kWaitMs)) return false;
        isi = asString(host.receiveBytes(44, kWaitMs));
        host.sendPacket(standin::makeVer(insimVer));
        if (insimVer != 5) return true;
        small = asString(host.receiveBytes(8, kWaitMs));
        return program.waitForOutput("Waiting for restart...\n");
    }
    // What the program sends until its answer to a keep-alive sent now, that answer excluded; "(...)"
    // around all it sent when the answer is not last. The answer also proves that every packet before
    // it has been read whole, handled and its console text written.
    std::string sentUntilKeepAlive(std::size_t expectedSize = 0) {
        const std::string reply = bytes({4, 3, 0, 0});
        host.sendPacket(standin::makeTiny(TINY_NONE, 9));
        const std::string all = asString(host.receiveBytes(expectedSize + reply.size(), kWaitMs));
        if (all.size() < reply.size() || all.substr(all.size() - reply.size()) != reply) return "(" + all + ")";
        return all.substr(0, all.size() - reply.size());
    }
    std::string consoleSinceHandshake() const {
        const std::string out = program.output(), start = "Waiting for restart...\n";
        return out.substr(out.find(start) + start.size());
    }
};

// Fields of /proc/<pid>/stat; nothing once the process is gone.
struct ProcessStat {
    char state;  // 'Z' for a zombie
    pid_t parent, session;
    double cpuSeconds;  // user and system time
};
inline std::optional<ProcessStat> processStat(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const auto nameEnd = text.rfind(')');  // the name may hold spaces and parentheses
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(text.substr(nameEnd + 2));
    ProcessStat stat{};
    std::string skipped;
    pid_t group = 0;
    unsigned long long utime = 0, stime = 0;
    fields >> stat.state >> stat.parent >> group >> stat.session;
    for (int field = 7; field <= 13; ++field) fields >> skipped;
    if (!(fields >> utime >> stime)) return std::nullopt;
    stat.cpuSeconds = static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    return stat;
}
