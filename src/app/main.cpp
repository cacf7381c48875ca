// Stintkeeper's entry point: settings, start-up order, the loop and shutdown.
// Reads cfg.xml from the working directory; the only arguments are --help and --version.
#include "app/arguments.h"
#include "app/config.h"
#include "app/launcher.h"
#include "link/insim_link.h"
#include "race/session.h"

int main(int argc, char** argv) {
    InSimLink link;  // the console, and from connection on the InSim socket
    if (answerArguments(argc, argv, link)) return 0;
    printLine(link, "Stintkeeper by Tessel. Version R4.");
    printLine(link, "Reading cfg.xml using IrrXML... ");
    Config config;
    readConfigFile("cfg.xml", config, link);
    applyDefaults(config);
    printLine(link, "Done!");
    diagnose(link, "settings: ", describeSettings(config));

    if (const int failure = link.initLibraries()) return failure;
    if (config.startLfs && config.invokeInSim) launchSimulator(config, link);

    Tracker tracker;
    tracker.boardTimeOutMs = config.boardTimeOutMs;
    tracker.fuel = config.fuel;
    if (const int failure = link.connect(config, tracker)) return failure;
    printLine(link, "Waiting for restart...");

    link.run(tracker);
    link.shutdown();
    return 0;
}
