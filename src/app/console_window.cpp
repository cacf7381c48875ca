// The program's console, for Windows and for POSIX: whether its window is the program's own, and on
// Windows the console's stop events, which the handler turns into the stop the loop watches.
#include "app/console_window.h"

#include <cstdio>

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// The system ends a process whose window was closed 5 s after its handlers were called, whatever they do.
constexpr DWORD kLongestWaitMs = 5000;

volatile std::sig_atomic_t* consoleStop = nullptr;

// On a thread of its own: the stop asked for, then the wait for the loop and the program to end, which
// ends this thread too with the program's own exit code. A handler that returned first would let the
// system end a closed window's process with a code of its own, perhaps before the race log is whole.
BOOL WINAPI onConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    if (consoleStop != nullptr) *consoleStop = 1;
    Sleep(kLongestWaitMs);
    return TRUE;  // a loop that did not stop in time: Ctrl-C may be pressed again, a closed window ends it
}

}  // namespace

bool ownsConsoleWindow() {
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

ConsoleStop::ConsoleStop(volatile std::sig_atomic_t* stop) {
    consoleStop = stop;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

ConsoleStop::~ConsoleStop() { SetConsoleCtrlHandler(onConsoleEvent, FALSE); }  // the events end it at once again

#else

bool ownsConsoleWindow() { return false; }  // a terminal outlives the programs started in it

ConsoleStop::ConsoleStop(volatile std::sig_atomic_t*) {}  // SIGINT and SIGTERM stop the loop here
ConsoleStop::~ConsoleStop() = default;

#endif

void holdOwnConsoleWindow(Output& console) {
    if (!ownsConsoleWindow()) return;
    printLine(console, "Press Enter to close this window.");
    std::getchar();
}
