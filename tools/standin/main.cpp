// lfs-standin: a small race simulator in the simulator's place, for watching the program work
// without the game. Plays a scenario over InSim and OutGauge, optionally with stintkeeper started beside it.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "standin/console.h"
#include "standin/host_session.h"
#include "standin/insim_host.h"
#include "standin/loopback.h"
#include "standin/program_runner.h"
#include "standin/race_model.h"
#include "standin/scenario.h"
#include "standin/summary.h"

#ifndef STANDIN_SCENARIO_DIR
#define STANDIN_SCENARIO_DIR "tools/scenarios"
#endif

namespace {

constexpr const char* kUsageHead =
    "Usage: lfs-standin [options]\n"
    "Plays a race scenario as the simulator would: InSim on a TCP port, OutGauge to the port the\n"
    "program asks for. Shows the program's pitboard and pit menu, and a summary at the end.\n"
    "\n"
    "  --scenario FILE|NAME   scenario file, or the name of one in tools/scenarios; default sprint:\n";
constexpr const char* kUsageOptions =
    "  --seed N               seed of the lap times; default the scenario's own\n"
    "  --speed real|fast|N    real time, N times faster than real time, or as fast as the\n"
    "                         program takes the packets; default real\n"
    "  --port N               InSim port to listen on; 0 picks a free one; default 29999\n"
    "  --team-port N          a team scenario served to both members' games: the team mate's game\n"
    "                         on this InSim port too (0 picks a free one), his connection the local one\n"
    "                         there; OutGauge goes to the game of the member who drives. Start his\n"
    "                         stintkeeper yourself; --program starts the local member's only\n"
    "  --simulator old|current  old: a release that answers every program with --insim-version;\n"
    "                         current: one that answers with the InSim version the program asks for\n"
    "                         (6 when it asks for less, at most 10), never below --insim-version, and\n"
    "                         from version 9 on counts packet sizes in fours; default old\n"
    "  --insim-version N      old: InSimVer of the version reply; current: the lowest version the\n"
    "                         simulator still provides; default 5\n"
    "  --outgauge asked       OutGauge at the interval the program asks for (at least 10 ms), not the\n"
    "                         scenario's; the scenario line 'outgauge asked' does the same\n"
    "  --program PATH         start this stintkeeper binary in a fresh temporary directory, with\n"
    "                         a cfg.xml naming the ports (and version=\"8\" for a current simulator),\n"
    "                         and show its console lines as well\n"
    "                         (standard output after 'stintkeeper |', standard error after 'stintkeeper !')\n"
    "  --log DIR              with --program: its cfg.xml asks for race logs in DIR, relative to\n"
    "                         the directory lfs-standin starts in\n"
    "  --help                 this text\n";

struct Options {
    std::string scenario = "sprint";
    std::optional<std::uint64_t> seed;
    standin::Pace pace = standin::Pace::Real;
    double factor = 1;
    long port = 29999;
    std::optional<long> teamPort;
    standin::Simulator simulator = standin::Simulator::Old;
    long insimVersion = 5;
    bool outGaugeAsked = false;
    std::string program;
    std::string log;
};

std::string shippedScenarios() {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(STANDIN_SCENARIO_DIR, ignored))
        if (entry.path().extension() == ".txt") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    return list.empty() ? "(none found)" : list;
}

// The options, with the shipped scenarios' names wrapped below --scenario.
std::string usage() {
    const std::string indent(25, ' ');
    std::string text = kUsageHead, line = indent;
    std::istringstream names(shippedScenarios());
    for (std::string name; names >> name;) {
        if (line.size() > indent.size() && line.size() + 1 + name.size() > 98) {
            text += line + "\n";
            line = indent;
        }
        line += (line.size() > indent.size() ? " " : "") + name;
    }
    return text + line + "\n" + kUsageOptions;
}

template <class Number>
bool parseNumber(std::string_view text, Number& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

// Returns an error text, empty when the options are good; `help` when --help was given.
std::string parseOptions(int argc, char** argv, Options& options, bool& help) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            help = true;
            return {};
        }
        if (i + 1 >= argc) return "option " + std::string(option) + " needs a value";
        const std::string_view value = argv[++i];
        if (option == "--scenario") {
            options.scenario = value;
        } else if (option == "--seed") {
            std::uint64_t seed = 0;
            if (!parseNumber(value, seed)) return "--seed expects a whole number, not " + std::string(value);
            options.seed = seed;
        } else if (option == "--speed") {
            if (value == "real") {
                options.pace = standin::Pace::Real;
                options.factor = 1;
            } else if (value == "fast") {
                options.pace = standin::Pace::Fast;
            } else if (double factor = 0; parseNumber(value, factor) && factor > 0 && factor <= 10000) {
                options.pace = standin::Pace::Real;
                options.factor = factor;
            } else {
                return "--speed expects real, fast, or how many times faster than real time: a number above 0 "
                       "and up to 10000 (e.g. 16 or 2.5), not " + std::string(value);
            }
        } else if (option == "--port") {
            if (!parseNumber(value, options.port) || options.port < 0 || options.port > 65535)
                return "--port expects a port from 0 to 65535, not " + std::string(value);
        } else if (option == "--team-port") {
            long port = 0;
            if (!parseNumber(value, port) || port < 0 || port > 65535)
                return "--team-port expects a port from 0 to 65535, not " + std::string(value);
            options.teamPort = port;
        } else if (option == "--simulator") {
            if (value == "old") options.simulator = standin::Simulator::Old;
            else if (value == "current") options.simulator = standin::Simulator::Current;
            else return "--simulator expects old or current, not " + std::string(value);
        } else if (option == "--insim-version") {
            if (!parseNumber(value, options.insimVersion) || options.insimVersion < 0 || options.insimVersion > 65535)
                return "--insim-version expects a whole number, not " + std::string(value);
        } else if (option == "--outgauge") {
            if (value != "asked") return "--outgauge expects asked, not " + std::string(value);
            options.outGaugeAsked = true;
        } else if (option == "--program") {
            options.program = value;
        } else if (option == "--log") {
            if (value.empty() || value.find_first_of("\"<>&") != std::string_view::npos)
                return "--log expects a directory whose name has none of \" < > &, not " + std::string(value);
            options.log = std::filesystem::absolute(value).string();
        } else {
            return "unknown option " + std::string(option);
        }
    }
    return {};
}

// The file given, or the scenario of that name; empty when there is neither.
std::string scenarioPath(const std::string& given) {
    if (std::filesystem::exists(given)) return given;
    const std::filesystem::path named = std::filesystem::path(STANDIN_SCENARIO_DIR) / (given + ".txt");
    return std::filesystem::exists(named) ? named.string() : std::string();
}


// SIGINT or SIGTERM while a program runs beside: the program is stopped, which closes the link, and the
// stand-in ends the usual way, so that the program's temporary directory is removed. A second one ends
// the stand-in at once. Once the program has been reaped, no signal goes to its process id.
std::atomic<pid_t> childToStop{0};
std::atomic<int> stopSignal{0};

extern "C" void stopOnSignal(int signal) {
    if (stopSignal.exchange(signal) != 0) ::_exit(128 + signal);
    if (const pid_t child = childToStop.load(); child > 0) ::kill(child, SIGTERM);
}

void stopProgramOnSignals(pid_t child) {
    childToStop = child;
    struct sigaction action {};
    action.sa_handler = stopOnSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) ::sigaction(signal, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    if (const std::string error = parseOptions(argc, argv, options, help); !error.empty()) {
        std::cerr << "lfs-standin: " << error << "\n\n" << usage();
        return 2;
    }
    if (!options.log.empty() && options.program.empty()) {
        std::cerr << "lfs-standin: --log needs --program\n\n" << usage();
        return 2;
    }
    if (help) {
        std::cout << usage();
        return 0;
    }
    const std::string scenarioFile = scenarioPath(options.scenario);
    if (scenarioFile.empty()) {
        std::cerr << "lfs-standin: no scenario " << options.scenario << ": give a scenario file or one of "
                  << shippedScenarios() << "\n";
        return 2;
    }
    const standin::ParseResult parsed = standin::loadScenario(scenarioFile);
    if (!parsed.scenario) {
        std::cerr << "lfs-standin: " << parsed.error << "\n";
        return 2;
    }
    const standin::Scenario& scenario = *parsed.scenario;
    if (options.teamPort && scenario.teamCar == 0) {
        std::cerr << "lfs-standin: --team-port needs a team scenario (a 'team' line), as team_endurance\n";
        return 2;
    }
    // A team race needs the game's screens and its driver swaps: today's game, which the program asks for 8.
    if (scenario.teamCar != 0) options.simulator = standin::Simulator::Current;
    const std::uint64_t seed = options.seed.value_or(scenario.seed);

    standin::InSimHost host(static_cast<std::uint16_t>(options.port));
    if (!host.listening()) {
        std::cerr << "lfs-standin: cannot listen on port " << options.port << "\n";
        return 2;
    }
    std::optional<standin::InSimHost> mateHost;
    if (options.teamPort) {
        mateHost.emplace(static_cast<std::uint16_t>(*options.teamPort));
        if (!mateHost->listening()) {
            std::cerr << "lfs-standin: cannot listen on port " << *options.teamPort << "\n";
            return 2;
        }
    }
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    standin::Console console(std::cout, terminal);
    const std::string speed = options.pace == standin::Pace::Fast ? "as fast as the program goes"
                              : options.factor == 1             ? "real time"
                                                                : std::to_string(options.factor).substr(0, 5) + "x real time";
    console.line("lfs-standin: " + scenario.name + ", seed " + std::to_string(seed) + ", " + speed +
                 ", InSim on port " + std::to_string(host.port()) + ".");

    std::optional<standin::ProgramRunner> program;
    // A race running when the program connects, or a link that drops: the program joins and connects again.
    const bool resumes = scenario.connectAtSeconds != 0 || scenario.dropLinkAtSeconds != 0;
    if (!options.program.empty()) {
        program.emplace(options.program);
        program->forwardTo(console, terminal ? "\x1b[2mstintkeeper |\x1b[22m " : "stintkeeper | ",
                           terminal ? "\x1b[2mstintkeeper !\x1b[22m " : "stintkeeper ! ");
        std::string extra = options.log.empty() ? "" : "  <Log dir=\"" + options.log + "\"/>\n";
        if (resumes) extra += "  <Race long=\"1\" join=\"1\"/>\n";
        if (scenario.teamCar != 0) extra += "  <Pit guard=\"1\"/>\n";
        std::string config = standin::portsConfig(host.port(), standin::freePort(true), extra, resumes ? " reconnect=\"1\"" : "");
        // Today's releases answer a program that asks for no version with 6: it asks for 8, as a driver
        // of today's game sets it.
        if (options.simulator == standin::Simulator::Current) config.insert(config.find("\"/>") + 1, " version=\"8\"");
        if (!program->start(config)) {
            std::cerr << "lfs-standin: " << program->startError() << "\n";
            return 2;
        }
        stopProgramOnSignals(program->pid());
        console.line("lfs-standin: started stintkeeper in " + program->directory().string() + ".");
    } else {
        console.line("lfs-standin: waiting for stintkeeper; its cfg.xml needs <InSim port=\"" +
                     std::to_string(host.port()) + "\"/>.");
    }
    while (!host.accept(200)) {
        if (program && !program->running()) {
            const int code = program->wait(1000);
            childToStop = 0;  // reaped: its process id may be another's from now on
            std::cerr << "lfs-standin: stintkeeper ended before it connected (exit code " << code << ")\n";
            return code != 0 ? code : 1;
        }
    }
    if (mateHost) {
        console.line("lfs-standin: waiting for the team mate's stintkeeper; its cfg.xml needs <InSim port=\"" +
                     std::to_string(mateHost->port()) + "\" version=\"8\"/>.");
        while (!mateHost->accept(200) && stopSignal == 0) {}
    }

    standin::RaceModel model(scenario, seed);
    standin::HostOptions hostOptions;
    hostOptions.pace = options.pace;
    hostOptions.factor = options.factor;
    hostOptions.simulator = options.simulator;
    hostOptions.insimVersion = static_cast<std::uint16_t>(options.insimVersion);
    hostOptions.outGaugeAsked = options.outGaugeAsked;
    hostOptions.colour = terminal;
    hostOptions.connectAtMs = static_cast<std::uint32_t>(scenario.connectAtSeconds * 1000);
    hostOptions.dropAtMs = static_cast<std::uint32_t>(scenario.dropLinkAtSeconds * 1000);
    hostOptions.downMs = static_cast<std::uint32_t>(scenario.linkDownSeconds * 1000);
    if (mateHost) hostOptions.mateHost = &*mateHost;
    standin::HostSession session(host, model, console, hostOptions);
    const bool played = (hostOptions.connectAtMs != 0 || session.handshake(0)) && session.run();
    if (!played) {
        if (stopSignal == 0) console.line("lfs-standin: " + session.error() + ".");  // else the stop is why
        host.closeClient();
    }

    int programCode = 0;
    if (program) {
        // A program that connects again waits for the game for ever: it is stopped as a driver stops it.
        if (resumes && played && program->running()) ::kill(program->pid(), SIGTERM);
        programCode = program->wait(10000);
        childToStop = 0;
        if (programCode < 0) {
            console.line("lfs-standin: stintkeeper did not end after the link was closed; stopping it.");
            program->kill();
            programCode = 1;
        }
        console.line("lfs-standin: stintkeeper exited with code " + std::to_string(programCode) + ".");
    }
    if (const int signal = stopSignal.load()) {
        console.line(std::string("lfs-standin: stopped by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM") + ".");
        return 128 + signal;
    }
    if (played) {
        std::string summary = "\n";
        for (const auto& report : model.reports()) summary += standin::formatSummary(report) + "\n";
        console.line(summary);
    }
    if (!played) return programCode != 0 ? programCode : 1;
    return programCode;
}
