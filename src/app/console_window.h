// Whether the program has a console window of its own, which closes with it: on Windows when it was
// started by a double-click. A fatal line then stays on the screen until Enter is pressed.
#pragma once

#include "link/output.h"

bool ownsConsoleWindow();

// Asks for Enter and waits for it, when the console window is the program's own; otherwise nothing.
void holdOwnConsoleWindow(Output& console);
