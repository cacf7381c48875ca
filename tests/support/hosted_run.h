// The real program started against a stand-in InSim host on loopback, the simulator's side of the
// handshake and the keep-alive round trip that the integration tests drive it by, and whole scenarios.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "standin/host_session.h"
#include "standin/insim_host.h"
#include "standin/loopback.h"
#include "standin/packets.h"
#include "standin/program_runner.h"
#include "support/transcript.h"

constexpr int kWaitMs = 5000;

using transcript::bytes;

// The 8-byte IS_BFN that clears every button.
inline const std::string kClearButtons = bytes({8, 42, 0, 1, 0, 0, 0, 0});

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

    // `extraConfig`: more cfg.xml elements beside the two ports; `insimAttributes`: more on InSim's.
    explicit HostedRun(const std::string& extraConfig = "", const std::string& insimAttributes = "") {
        std::string config = standin::portsConfig(host.port(), outGaugePort, extraConfig);
        program.start(config.insert(config.find("\"/>") + 1, insimAttributes));
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

inline int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

inline standin::RaceModel modelOf(const std::string& name) {
    const auto scenario = standin::loadScenario(STINTKEEPER_SOURCE_DIR "/tools/scenarios/" + name + ".txt").scenario;
    return standin::RaceModel(scenario.value(), scenario->seed);
}

// The viewed PLID 1's report; none when it is not in the race.
inline const standin::CarReport* viewedCar(const standin::RaceModel& model) {
    const auto& order = model.reports().at(0).order;
    const auto car = std::find_if(order.begin(), order.end(), [](const auto& car) { return car.plid == 1; });
    return car == order.end() ? nullptr : &*car;
}

// A scenario of the race model played to its end as fast as the program takes it, then the link closed.
struct ModelRun : HostedRun {
    standin::RaceModel model;
    std::ostringstream shown;  // what lfs-standin would print
    standin::Console console{shown, false};
    standin::HostSession session;
    std::vector<int> amounts;  // of the program's "Setting fuel to N%" lines

    // `extraConfig` and `insimAttributes` as for HostedRun; `options` of the simulator played. A program
    // that connects again is stopped by SIGTERM at the end. `atLine`: called at each line of the viewed PLID 1
    // but its last once the programs have handled it, the race waiting for it (its driver keeps the car's rule).
    ModelRun(const std::string& name, const std::string& extraConfig, standin::HostOptions options,
             const std::string& insimAttributes, std::function<void(ModelRun&)> atLine = {})
        : HostedRun(extraConfig, insimAttributes), model(modelOf(name)), session{host, model, console, asking(options, atLine)} {
        if (atLine) model.askDriver(1);
        EXPECT_TRUE((options.connectAtMs != 0 || session.handshake(kWaitMs)) && session.run())
            << session.error() << "\n" << program.output();
        if (insimAttributes.find("reconnect") != std::string::npos) ::kill(program.pid(), SIGTERM);
        EXPECT_EQ(program.wait(kWaitMs), 0);
        const std::string out = program.output(), label = "\nSetting fuel to ";
        for (auto at = out.find(label); at != std::string::npos; at = out.find(label, at + 1))
            amounts.push_back(std::atoi(out.c_str() + at + label.size()));
    }
    standin::HostOptions asking(standin::HostOptions options, std::function<void(ModelRun&)> atLine) {
        if (atLine) options.driver = [this, atLine] {
            atLine(*this);
            return std::optional<bool>();
        };
        return options;
    }
    // The viewed PLID 1's report when it stopped once and finished with fuel left; none (and a failure) else.
    const standin::CarReport* stoppedOnce() const {
        const standin::CarReport* car = viewedCar(model);
        const bool once = car && car->stops.size() == 1 && car->finished && !car->ranDry;
        EXPECT_TRUE(once);
        return once ? car : nullptr;
    }
};
