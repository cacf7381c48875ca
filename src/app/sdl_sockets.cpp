// The link's system calls made with SDL and SDL_net: the only file of the program that calls them.
#include "app/sdl_sockets.h"

#include <SDL/SDL.h>
#include <SDL/SDL_net.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kSocketSetSize = 5;
constexpr int kOutGaugeBufferSize = 512;
constexpr int kOutGaugeChannel = 1;

// A UDP receive buffer that lives for one OutGauge poll.
struct PacketBuffer {
    UDPpacket* packet = SDLNet_AllocPacket(kOutGaugeBufferSize);
    ~PacketBuffer() { if (packet) SDLNet_FreePacket(packet); }
};

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
    void closeInSim() override;
    void close() override;

private:
    void closeSockets();

    IPaddress insimAddress_{};
    TCPsocket insim_ = nullptr;
    SDLNet_SocketSet socketSet_ = nullptr;
    UDPsocket outGauge_ = nullptr;
    bool started_ = false;
};

}  // namespace

std::unique_ptr<Sockets> makeSdlSockets() { return std::make_unique<SdlSockets>(); }

SdlSockets::~SdlSockets() { closeSockets(); }

int SdlSockets::startLibraries() {
    if (SDL_Init(0) == -1) return 1;
    if (SDLNet_Init() == -1) return 2;
    started_ = true;
    return 0;
}

std::string SdlSockets::error() { return SDL_GetError(); }

bool SdlSockets::resolveInSim(std::uint16_t port) {
    return SDLNet_ResolveHost(&insimAddress_, "localhost", port) != -1;
}

bool SdlSockets::connect() {
    insim_ = SDLNet_TCP_Open(&insimAddress_);
    return insim_ != nullptr;
}

Sockets::Watch SdlSockets::watchInSim() {
    socketSet_ = SDLNet_AllocSocketSet(kSocketSetSize);
    if (socketSet_ == nullptr) return Watch::NoSet;
    if (SDLNet_TCP_AddSocket(socketSet_, insim_) == -1) return Watch::NotAdded;
    return Watch::Watched;
}

void SdlSockets::pause(std::uint32_t ms) { SDL_Delay(ms); }
std::uint32_t SdlSockets::ticks() { return SDL_GetTicks(); }

int SdlSockets::wait(std::uint32_t ms) { return SDLNet_CheckSockets(socketSet_, ms); }

int SdlSockets::receive(void* bytes, std::size_t size) {
    return SDLNet_TCP_Recv(insim_, bytes, static_cast<int>(size));
}

void SdlSockets::send(const void* bytes, std::size_t size) {
    if (insim_ != nullptr) SDLNet_TCP_Send(insim_, bytes, static_cast<int>(size));
}

Sockets::Gauge SdlSockets::openGauge(std::uint16_t port) {
    outGauge_ = SDLNet_UDP_Open(port);
    if (outGauge_ == nullptr) return Gauge::NotOpened;
    IPaddress address;
    if (SDLNet_ResolveHost(&address, "localhost", port) == -1) return Gauge::NotResolved;
    if (SDLNet_UDP_Bind(outGauge_, kOutGaugeChannel, &address) == -1) return Gauge::NotBound;
    return Gauge::Open;
}

Sockets::Datagram SdlSockets::receiveDatagram(std::uint8_t* bytes, std::size_t capacity) {
    PacketBuffer buffer;
    if (buffer.packet == nullptr) return {Datagram::NoBuffer};
    if (SDLNet_UDP_Recv(outGauge_, buffer.packet) <= 0) return {Datagram::None};
    const auto* octets = reinterpret_cast<const std::uint8_t*>(&buffer.packet->address.host);
    const std::size_t length = static_cast<std::size_t>(std::max(buffer.packet->len, 0));
    std::memcpy(bytes, buffer.packet->data, std::min(length, capacity));
    return {Datagram::Received, length, octets[0] == 127};  // the address is in network byte order
}

// The set first, then the InSim socket.
void SdlSockets::closeInSim() {
    if (socketSet_ != nullptr) SDLNet_FreeSocketSet(socketSet_);
    if (insim_ != nullptr) SDLNet_TCP_Close(insim_);
    socketSet_ = nullptr;
    insim_ = nullptr;
}

// The OutGauge socket before the library goes.
void SdlSockets::closeSockets() {
    closeInSim();
    if (outGauge_ != nullptr) SDLNet_UDP_Close(outGauge_);
    outGauge_ = nullptr;
}

void SdlSockets::close() {
    closeSockets();
    if (!started_) return;
    SDLNet_Quit();
    SDL_Quit();
    started_ = false;
}
