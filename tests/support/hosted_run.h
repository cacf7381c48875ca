// The real program started against a stand-in InSim host on loopback, and the simulator's side of the
// handshake and the keep-alive round trip that the integration tests drive it by.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "standin/insim_host.h"
#include "standin/loopback.h"
#include "standin/packets.h"
#include "standin/program_runner.h"

constexpr int kWaitMs = 5000;

// Bytes written as numbers, for literal expectations.
inline std::string wire(std::initializer_list<int> values) {
    std::string out;
    for (const int value : values) out += static_cast<char>(value);
    return out;
}

// The 8-byte IS_BFN that clears every button.
inline const std::string kClearButtons = wire({8, 42, 0, 1, 0, 0, 0, 0});

// The console from the start up to the first connection attempt, with the launcher's lines between.
inline std::string consoleUntilWaiting(std::uint16_t insimPort, const std::string& launcherLines = "") {
    return "Stintkeeper by Tessel. Version R4.\n"
           "Reading cfg.xml using IrrXML... \n"
           "Read InSim Port: " + std::to_string(insimPort) + "\n"
           "Done!\n"
           "Initialization done!\n" + launcherLines + "Waiting for InSim... ";
}
inline const std::string kHandshakeLines =
    "Connected!\n"
    "Sent ISI. Waiting for reply...\n"
    "InSim version is 5 - accepted.\n"
    "Requesting OutGauge...\n"
    "Waiting for restart...\n";

struct HostedRun {
    standin::InSimHost host;
    std::uint16_t outGaugePort = standin::freePort(true);
    standin::ProgramRunner program{STINTKEEPER_BINARY};
    standin::HandshakeBytes handshake;

    // `extraConfig`: more cfg.xml elements beside the two ports.
    explicit HostedRun(const std::string& extraConfig = "") {
        program.start(standin::portsConfig(host.port(), outGaugePort, extraConfig));
    }
    // The handshake, then the wait for "Waiting for restart...".
    bool connect() {
        handshake = host.handshake(INSIM_VERSION, kWaitMs);
        return handshake.request.size() == 8 && program.waitForOutput("Waiting for restart...\n", kWaitMs);
    }
    // What the program sent before its answer to a keep-alive sent now; "(no answer)" when none came.
    std::string sent() {
        const auto packets = host.keepAliveRoundTrip(kWaitMs);
        std::string out = packets ? "" : "(no answer)";
        for (const auto& packet : packets.value_or(std::vector<standin::Packet>{}))
            out.append(packet.begin(), packet.end());
        return out;
    }
    std::string consoleSinceHandshake() const {
        const std::string out = program.output(), last = "Waiting for restart...\n";
        const auto at = out.find(last);
        return at == std::string::npos ? "(no handshake) " + out : out.substr(at + last.size());
    }
};
