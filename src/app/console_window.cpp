// Whether the program has a console window of its own, for Windows and for POSIX.
// On Windows a console shared with no other process was made for this one and closes with it.
#include "app/console_window.h"

#include <cstdio>

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

bool ownsConsoleWindow() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

#else

bool ownsConsoleWindow() { return false; }  // a terminal outlives the programs started in it

#endif

void holdOwnConsoleWindow(Output& console) {
    if (!ownsConsoleWindow()) return;
    printLine(console, "Press Enter to close this window.");
    std::getchar();
}
