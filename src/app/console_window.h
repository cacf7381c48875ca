// The program's console: whether it has a window of its own, which closes with it (on Windows when it was
// started by a double-click), and on Windows the console's stop events ended as the signals end it on Linux.
#pragma once

#include <csignal>

#include "link/output.h"

bool ownsConsoleWindow();

// Asks for Enter and waits for it, when the console window is the program's own; otherwise nothing. A
// fatal line then stays on the screen until Enter is pressed.
void holdOwnConsoleWindow(Output& console);

// On Windows, while it lives: Ctrl-C, Ctrl-Break and closing the console window set `stop`, as SIGINT and
// SIGTERM do on Linux, and the console's handler then waits, at most 5 s, for the program to end cleanly
// (its closing line, the race log whole, its exit code): the system ends a closed window's process when
// the handler returns. Nothing elsewhere.
class ConsoleStop {
public:
    explicit ConsoleStop(volatile std::sig_atomic_t* stop);
    ~ConsoleStop();
    ConsoleStop(const ConsoleStop&) = delete;
    ConsoleStop& operator=(const ConsoleStop&) = delete;
};
