// Changing directory and starting a detached process, for POSIX and for Windows.
// The started program outlives this one and never lingers as its zombie.
#include "app/launcher_platform.h"

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <direct.h>
#include <process.h>
#include <windows.h>

#include <cstdint>

bool changeDirectory(const std::string& path) { return _chdir(path.c_str()) == 0; }

bool startDetached(const std::vector<std::string>& argv) {
    std::vector<const char*> pointers;
    for (const std::string& argument : argv) pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    const std::intptr_t process = _spawnv(_P_NOWAIT, pointers[0], pointers.data());
    if (process == -1) return false;
    CloseHandle(reinterpret_cast<HANDLE>(process));  // never waited for
    return true;
}

#else

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

// Starts the program in a session of its own, so a Ctrl+C or hang-up meant for this console
// does not reach it, and with the signal state a fresh process expects: SDL_net ignores SIGPIPE
// here, and a SIGCHLD ignored by whoever started us would otherwise pass on as well.
int spawnProgram(char* const argv[]) {
    posix_spawnattr_t attributes;
    if (posix_spawnattr_init(&attributes) != 0) return -1;
    sigset_t noneBlocked;
    sigset_t defaults;
    sigemptyset(&noneBlocked);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#ifdef POSIX_SPAWN_SETSID
    flags |= POSIX_SPAWN_SETSID;
#endif
    posix_spawnattr_setflags(&attributes, flags);
    posix_spawnattr_setsigmask(&attributes, &noneBlocked);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    pid_t pid = 0;
    // posix_spawn reports a missing or unexecutable file in its result.
    const int result = posix_spawn(&pid, argv[0], nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    return result;
}

}  // namespace

bool changeDirectory(const std::string& path) { return ::chdir(path.c_str()) == 0; }

bool startDetached(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    for (const std::string& argument : argv) pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    // A middle process starts the program and ends at once; reaping it here hands the program
    // to init. Ignoring SIGCHLD instead would be inherited by the program through exec.
    const pid_t middle = ::fork();
    if (middle == -1) return false;
    if (middle == 0) ::_exit(spawnProgram(pointers.data()) == 0 ? 0 : 1);
    int status = 0;
    while (::waitpid(middle, &status, 0) == -1) {
        if (errno != EINTR) return false;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#endif
