// The program's settings: one record for the whole run, read from cfg.xml and then defaulted.
// The original settings are used as read; what looks like a mistake is named on standard error.
#pragma once

#include <cstdint>
#include <string>

#include "link/output.h"
#include "publish/web_settings.h"
#include "publish/team_settings.h"
#include "strategy/fuel_settings.h"

constexpr std::int32_t kDefaultInSimPort = 12500;
constexpr std::int32_t kDefaultOutGaugePort = 12501;
constexpr std::int32_t kDefaultBoardTimeOutMs = 15000;
constexpr std::uint32_t kDefaultOutGaugeIntervalMs = 10000;
constexpr std::size_t kPasswordLength = 15;  // characters of the admin password the handshake carries
constexpr int kPitGuardVersion = 8;  // the first InSim version that reports the local screens (IS_CIM)

struct Config {
    std::int32_t insimPort = 0;       // TCP port of InSim on localhost; default 12500
    std::int32_t outGaugePort = 0;    // local UDP port for OutGauge; default 12501
    std::string password;             // InSim admin password
    std::int32_t boardTimeOutMs = 0;  // how long a pitboard stays, ms; default 15000
    std::string lfsLocation;          // directory of the simulator's program file
    bool startLfs = false;            // start the simulator ...
    bool invokeInSim = false;         // ... only when both are set

    // Opt-in settings: each default keeps the program as it was without them.
    int insimVersion = 0;             // InSim version asked for, 5 to 10; 0: byte 0 sent, only 5 accepted
    std::uint32_t outGaugeIntervalMs = kDefaultOutGaugeIntervalMs;  // asked-for time between datagrams
    FuelSettings fuel;
    Stints stints = Stints::Off;      // Plan stints: the stint plan, even or full stints; off without it
    bool pitGuard = false;            // <Pit guard>: the pit fuel typed only while it is safe; needs version 8 on
    bool longRaces = false;           // Race long: RaceLaps 100 to 190 a race of 100 to 1,000 laps, 191 to 238 of hours
    std::string logDirectory;         // Log dir: where the race logs go, made absolute at start-up; empty: no log
    bool join = false;                // Race join: a session found running at a handshake is followed
    bool reconnect = false;           // InSim reconnect: a lost link is made again instead of ending the program
    WebSettings web;                   // the page: off without <Web>, or when its settings cannot stand
    TeamSettings team;                // <Team>: the team link over an MQTT broker; off without a name
};

// Reads the settings file into `config`, printing "Read InSim Port: " for every InSim element.
// A missing or unreadable file sets nothing; in a malformed, cut-off or binary one, what comes before
// the first fault is read and the rest keeps its default. Only the first MiB of the file is looked at.
// Ordinary mistakes are named as diagnostics: a missing file, an unknown element, a number that is
// not a whole number or out of range, a launch that cannot happen, where the file stops being read.
void readConfigFile(const char* path, Config& config, Output& console);

// The port a setting opens: its low 16 bits, as they go on the wire (70000 is 4464).
std::uint16_t portUsed(std::int32_t port);

// Turns every setting still 0 into its default: InSim port, OutGauge port, board time-out, in that order.
void applyDefaults(Config& config);

// The settings in use, in a few words: ports, board time-out, whether the simulator is started, and
// every opt-in setting that is set.
std::string describeSettings(const Config& config);
