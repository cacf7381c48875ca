// Starting the simulator with its InSim interface open on the configured port.
// Runs once at start-up; failures are reported and never fatal.
#pragma once

#include "app/config.h"
#include "link/output.h"

// Starts "LFS.exe" from `lfsLocation` with "/insim=" and the InSim port, when `startLfs` and
// `invokeInSim` are both set; otherwise does nothing and prints nothing.
void launchSimulator(const Config& config, Output& console);
