// The program's console, for Windows and for POSIX: whether its window is the program's own, and on
// Windows the console's stop events, which the handler turns into the stop the loop watches.
#include "app/console_window.h"

#include <cstdio>

#ifdef _WIN32

#include <atomic>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace {

// The system ends a process whose window was closed 5 s after its handlers were called, whatever they do.
constexpr DWORD kLongestWaitMs = 5000;
constexpr DWORD kPollMs = 10;

volatile std::sig_atomic_t* consoleStop = nullptr;
std::atomic<bool> ended{false};  // the ConsoleStop went: the program has ended after the stop

// On a thread of its own: the stop asked for, then the wait for the loop and the program to end.
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
    for (DWORD waited = 0; waited < kLongestWaitMs && !ended; waited += kPollMs) Sleep(kPollMs);
    return TRUE;
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

ConsoleStop::~ConsoleStop() {
    ended = true;
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);  // from here on the console's events end the program at once
}

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
