// The program's settings: one record for the whole run, read from cfg.xml and then defaulted.
// Nothing is range-tested: a value is used as it was read.
#pragma once

#include <cstdint>
#include <string>

#include "link/port.h"

struct Config {
    std::int32_t insimPort = 0;       // TCP port of InSim on localhost; default 12500
    std::int32_t outGaugePort = 0;    // local UDP port for OutGauge; default 12501
    std::string password;             // InSim admin password
    std::int32_t boardTimeOutMs = 0;  // how long a pitboard stays, ms; default 15000
    std::string lfsLocation;          // directory of the simulator's program file
    bool startLfs = false;            // start the simulator ...
    bool invokeInSim = false;         // ... only when both are set
};

// Reads the settings file into `config`, printing "Read InSim Port: " for every InSim element.
// A missing or unreadable file sets nothing; in a malformed, cut-off or binary one, what comes before
// the first fault is read and the rest keeps its default. Only the first MiB of the file is looked at.
void readConfigFile(const char* path, Config& config, Port& console);

// Turns every setting still 0 into its default: InSim port, OutGauge port, board time-out, in that order.
void applyDefaults(Config& config);
