// The two platform calls the simulator launcher needs: change directory, start a program detached.
// POSIX and Windows versions live side by side in launcher_platform.cpp and nowhere else.
#pragma once

#include <string>
#include <vector>

// True when the process now works in `path`.
bool changeDirectory(const std::string& path);

// Starts the program file `argv[0]`, a path relative to the working directory, with `argv` as its
// argument vector, as a process that runs on by itself; never waits for it. True when it started.
bool startDetached(const std::vector<std::string>& argv);
