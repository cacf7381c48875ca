// The link to the simulator: SDL and SDL_net, the InSim TCP connection and handshake,
// the loop that reads one InSim packet and polls OutGauge once per turn, and shutdown.
#pragma once

#include <cstddef>
#include <string_view>

#include <SDL/SDL_net.h>

#include "app/config.h"
#include "link/port.h"
#include "race/session.h"

class InSimLink final : public Port {
public:
    InSimLink() = default;
    ~InSimLink() override;  // releases what a fatal start-up failure left open
    InSimLink(const InSimLink&) = delete;
    InSimLink& operator=(const InSimLink&) = delete;

    void send(const void* bytes, std::size_t size) override;  // on the InSim socket, once connected
    void write(std::string_view text) override;               // stdout, flushed

    // SDL_Init and SDLNet_Init. Returns 0, or the exit code of a fatal failure.
    int initLibraries();
    // Connects to InSim, identifies the program, checks the version, asks for OutGauge and
    // opens the OutGauge socket. Returns 0, or the exit code of a fatal failure.
    int connect(const Config& config, Tracker& tracker);
    // Runs loop turns until exitFlag is set.
    void run(Tracker& tracker);
    // Releases the socket set, the InSim socket and the libraries, in that order.
    void shutdown();

    // One loop turn: waits up to 100 ms for InSim data and reads one packet if there is some,
    // then polls OutGauge once. Returns false once the InSim connection has failed.
    bool runTurn(Tracker& tracker);

private:
    bool receiveExactly(void* bytes, std::size_t size);  // completes short reads; false when the connection fails
    void pollInSim(Tracker& tracker);
    void pollOutGauge(Tracker& tracker);
    void failRead();

    TCPsocket insim_ = nullptr;
    SDLNet_SocketSet socketSet_ = nullptr;
    UDPsocket outGauge_ = nullptr;
    bool exitFlag_ = false;
};
