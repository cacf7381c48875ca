// Starting the simulator with its InSim interface open on the configured port.
// Runs once at start-up, before the connection attempts; never waits for the simulator.
#include "app/launcher.h"

#include <string>

#include "app/launcher_platform.h"

void launchSimulator(const Config& config, Output& console) {
    if (!config.startLfs || !config.invokeInSim) return;
    printLine(console, "Starting LFS!");
    const std::string argument = "/insim=" + std::to_string(config.insimPort);
    // The location is printed and used as written: a directory ending in its separator.
    printLine(console, "Starting LFS with ", config.lfsLocation, "LFS.exe", " ", argument);
    // Neither failure is fatal: the connection attempts wait for a simulator started by hand.
    if (!changeDirectory(config.lfsLocation)) printLine(console, "Failed to open LFS location!");
    if (!startDetached({"LFS.exe", argument})) printLine(console, "Failed to start LFS!");
}
