// Stintkeeper's entry point: settings, start-up order, the loop and shutdown.
// Reads cfg.xml from the working directory; the only arguments are --help and --version.
#include <csignal>
#include <memory>
#include <optional>
#include <string>

#include "app/arguments.h"
#include "app/config.h"
#include "app/console_window.h"
#include "app/launcher.h"
#include "app/link.h"
#include "app/program.h"
#include "app/race_log.h"
#include "app/sdl_sockets.h"
#ifdef STINTKEEPER_WEB
#include "web/server.h"  // the entry point is the one file of app that knows the outward faces
#endif
#ifdef STINTKEEPER_TEAM
#include "team/team_link.h"  // the entry point is the one file of app that knows the outward faces
#endif

namespace {

// Set by SIGINT and SIGTERM while reconnect is on, and on Windows by the console's Ctrl-C and the close of
// its window: the program then ends as at a lost link.
volatile std::sig_atomic_t stopRequested = 0;
extern "C" void requestStop(int) { stopRequested = 1; }

int run(int argc, char** argv, Output& console) {
    if (answerArguments(argc, argv, console)) return 0;
    printLine(console, kBanner);
    printLine(console, "Reading cfg.xml using IrrXML... ");
    Config config;
    readConfigFile("cfg.xml", config, console);
    applyDefaults(config);
    // The launcher may leave the directory the program started in; the logs stay where they were meant to go.
    if (!config.logDirectory.empty()) config.logDirectory = absoluteLogDirectory(config.logDirectory);
    printLine(console, "Done!");
    diagnose(console, "settings: ", describeSettings(config));

    // Made first, gone last: the console's stop events are the loop's until all else has ended.
    std::optional<ConsoleStop> consoleStop;
    const std::unique_ptr<Sockets> sockets = makeSdlSockets();
    InSimLink link(*sockets, console);
    // Without reconnect a lost link ends the program, and the signals keep their default.
    if (config.reconnect) {
        std::signal(SIGINT, requestStop);
        std::signal(SIGTERM, requestStop);
        consoleStop.emplace(&stopRequested);
        link.stopOn(&stopRequested);
    }
    if (const int failure = link.initLibraries()) return failure;
    if (config.startLfs && config.invokeInSim) launchSimulator(config, console);

#ifndef STINTKEEPER_WEB
    if (config.web.on) diagnose(console, "this build has no page (built without STINTKEEPER_WEB): <Web> is passed over");
    config.web.on = false;
#endif
    Program program(config);
#ifdef STINTKEEPER_WEB
    std::unique_ptr<WebServer> page;
    if (program.faces) {
        const std::string address = config.web.bind + ":" + std::to_string(config.web.port);
        std::string error;
        page = WebServer::start(config.web, program.faces->latest, error);
        if (page) {
            diagnose(console, "the page is on http://", address, "/");
        } else {
            diagnose(console, "the page cannot listen on ", address, " (", error, "): the program goes on without it");
            program.faces.reset();
        }
    }
#endif
#ifdef STINTKEEPER_TEAM
    std::unique_ptr<TeamLink> team;
    if (config.team.on()) {
        team = std::make_unique<TeamLink>(config.team);
        if (team->start(console)) program.team = team.get();
        else team.reset();
    }
#else
    if (config.team.on()) diagnose(console, "this build has no team link (built without STINTKEEPER_TEAM): <Team> is passed over");
#endif
    if (const int failure = link.connect(config, program)) return failure;
    printLine(link, "Waiting for restart...");

    const int code = link.run(program);
    if (code == 0) link.shutdown();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    StandardOutput console;
    const int code = run(argc, argv, console);
    if (code != 0) holdOwnConsoleWindow(console);  // a window that closes with the program keeps the fatal line
    return code;
}
