// Starting the simulator with its InSim interface open on the configured port.
// Runs once at start-up; failures are reported and never fatal.
#pragma once

#include "app/config.h"
#include "link/port.h"

void launchSimulator(const Config& config, Port& console);
