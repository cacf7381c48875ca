// The link's system calls made with SDL and SDL_net: the only file of the program that calls them.
#pragma once

#include <SDL/SDL_net.h>

#include "app/sockets.h"

class SdlSockets final : public Sockets {
public:
    SdlSockets() = default;
    ~SdlSockets() override;
    SdlSockets(const SdlSockets&) = delete;
    SdlSockets& operator=(const SdlSockets&) = delete;

    int startLibraries() override;
    std::string error() override;
    bool resolveInSim(std::uint16_t port) override;
    bool connect() override;
    Watch watchInSim() override;
    void pause(std::uint32_t ms) override;
    std::uint32_t ticks() override;
    int wait(std::uint32_t ms) override;
    int receive(void* bytes, std::size_t size) override;
    void send(const void* bytes, std::size_t size) override;
    Gauge openGauge(std::uint16_t port) override;
    Datagram receiveDatagram(std::uint8_t* bytes, std::size_t capacity) override;
    void close() override;

private:
    void closeSockets();

    IPaddress insimAddress_{};
    TCPsocket insim_ = nullptr;
    SDLNet_SocketSet socketSet_ = nullptr;
    UDPsocket outGauge_ = nullptr;
    bool started_ = false;
};
