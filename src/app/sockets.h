// The system calls of the link to the simulator, behind one seam: the program's go to SDL_net
// (sdl_sockets.cpp), a test's to a script, so that every edge of the link can be played without sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Sockets {
public:
    virtual ~Sockets() = default;

    // SDL_Init, then SDLNet_Init: 0, or 1 when SDL_Init failed, 2 when SDLNet_Init did.
    virtual int startLibraries() = 0;
    virtual std::string error() = 0;  // the words of the last failure

    // InSim: "localhost" resolved with the port (false: it cannot be), then connection attempts.
    virtual bool resolveInSim(std::uint16_t port) = 0;
    virtual bool connect() = 0;  // one attempt; true once connected
    enum class Watch { Watched, NoSet, NotAdded };
    virtual Watch watchInSim() = 0;  // a socket set of 5 holding the InSim socket
    virtual void pause(std::uint32_t ms) = 0;
    virtual std::uint32_t ticks() = 0;  // milliseconds on a steady clock

    // Waits up to `ms` for InSim data: above 0 when there is some, 0 when the time ran out, below 0 on failure.
    virtual int wait(std::uint32_t ms) = 0;
    // One receive of at most `size` bytes: how many came, 0 or less when the connection closed or failed.
    virtual int receive(void* bytes, std::size_t size) = 0;
    virtual void send(const void* bytes, std::size_t size) = 0;  // one send; the result is not looked at

    // OutGauge: a UDP socket on the port with a channel bound to "localhost" and the port.
    enum class Gauge { Open, NotOpened, NotResolved, NotBound };
    virtual Gauge openGauge(std::uint16_t port) = 0;
    // One datagram, without waiting, into a buffer of at least 512 bytes made for this call.
    struct Datagram {
        enum Kind { NoBuffer, None, Received } kind = None;
        std::size_t length = 0;
        bool fromLoopback = false;  // sent from 127.0.0.0/8
    };
    virtual Datagram receiveDatagram(std::uint8_t* bytes, std::size_t capacity) = 0;

    // The socket set and the InSim socket, to connect again; the OutGauge socket stays.
    virtual void closeInSim() = 0;
    // The socket set, the InSim socket and the OutGauge socket, then the libraries; each only once.
    virtual void close() = 0;
};
