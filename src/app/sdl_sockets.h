// The link's system calls made with SDL and SDL_net. The header names no SDL type: the program's main
// must not see SDL's headers, which rename main on Windows to route it through SDLmain.
#pragma once

#include <memory>

#include "app/sockets.h"

std::unique_ptr<Sockets> makeSdlSockets();
