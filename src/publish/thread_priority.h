// The page server's threads yield to the loop and to the game: the calling thread at the idle priority.
// Their work (an event's JSON for 16 streams) waits for any core the game leaves free.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#include <sched.h>
#endif

inline void idlePriority() {
#ifdef _WIN32
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_LOWEST);
#else
    // Woken with the board just sent, a thread of normal priority would take the core the game's reader needs
    // next; an idle one never preempts it, and still runs on what a busy game leaves.
    const sched_param none{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &none);
#endif
}
