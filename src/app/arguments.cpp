// The command line: --help and --version are answered on the console and end the program; any
// other argument is named on standard error and left aside.
#include "app/arguments.h"

#include <string_view>

namespace {

constexpr std::string_view kHelp =
    "Usage: stintkeeper [--help | --version]\n"
    "Stintkeeper runs beside Live for Speed on the same machine: it connects to the game's InSim port\n"
    "on localhost, records every car's laps, shows a pitboard at the lap lines of the car you view and\n"
    "sets the pit-stop fuel when that car will run short. It reads cfg.xml from the directory it is\n"
    "started in (ports, password, board time-out, starting the game, fuel settings), waits until the\n"
    "game opens InSim (type /insim 12500 in the game, or let cfg.xml start it), and ends when the game\n"
    "closes the connection, unless cfg.xml asks for more. What cfg.xml can turn on:\n"
    "  <InSim reconnect=\"1\"/>  connect again after a lost link; Ctrl-C then ends the program cleanly\n"
    "  <Race join=\"1\"/>        join a race already running (long=\"1\": long and timed races too)\n"
    "  <Pit guard=\"1\"/>        type the pit fuel only while it is safe and you drive the car\n"
    "  <Plan stints=\"full\"/>   the stint plan: the stops left, the fuel of each, the next window\n"
    "  <Log dir=\"logs\"/>       the race log, a CSV file of every session\n"
    "README.md tells how to start; docs/settings.md has every setting, docs/troubleshooting.md the\n"
    "exit codes and the lines on standard error.\n"
    "\n"
    "Today's releases of the game speak InSim 6 or later: put version=\"8\" on the InSim element of\n"
    "cfg.xml, <InSim port=\"12500\" version=\"8\"/>. docs/cfg-today.xml is a cfg.xml ready for them.\n"
    "\n"
    "  --help     this text\n"
    "  --version  the version\n";

}  // namespace

bool answerArguments(int argc, const char* const* argv, Output& console) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            console.write(kHelp);
            return true;
        }
        if (argument == "--version") {
            printLine(console, kBanner);
            return true;
        }
    }
    for (int i = 1; i < argc; ++i) {
        diagnose(console, "the argument \"", argv[i], "\" is not known and is left aside (--help lists them)");
    }
    return false;
}
