// The InSim TCP connection, the OutGauge UDP socket and the loop that serves both.
// Every SDL and SDL_net call of the program is made here.
#include "link/insim_link.h"

#include <SDL/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "link/dispatch.h"
#include "link/handshake.h"
#include "race/handlers.h"

namespace {

constexpr Uint32 kWaitMs = 100;           // longest wait for InSim data in one turn
constexpr Uint32 kConnectRetryMs = 100;   // pause between connection attempts while the simulator starts
constexpr Uint32 kWaitingNoteMs = 10000;  // how often to say what the connection waits for
constexpr int kSocketSetSize = 5;
constexpr int kOutGaugeBufferSize = 512;
constexpr int kOutGaugeChannel = 1;

// OutGauge goes to this machine only: anything from elsewhere is not the simulator.
bool fromLoopback(const IPaddress& address) {
    const auto* octets = reinterpret_cast<const std::uint8_t*>(&address.host);
    return octets[0] == 127;  // host is in network byte order
}

// A UDP receive buffer that lives for one OutGauge poll.
struct PacketBuffer {
    UDPpacket* packet = SDLNet_AllocPacket(kOutGaugeBufferSize);
    ~PacketBuffer() { if (packet) SDLNet_FreePacket(packet); }
};

}  // namespace

InSimLink::~InSimLink() {
    // A fatal failure returns from main without the shutdown steps; the sockets still go, so that
    // nothing the link made outlives it.
    if (outGauge_ != nullptr) SDLNet_UDP_Close(outGauge_);
    if (socketSet_ != nullptr) SDLNet_FreeSocketSet(socketSet_);
    if (insim_ != nullptr) SDLNet_TCP_Close(insim_);
}

void InSimLink::send(const void* bytes, std::size_t size) {
    if (insim_ == nullptr) return;
    SDLNet_TCP_Send(insim_, bytes, static_cast<int>(size));
}

void InSimLink::write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

int InSimLink::initLibraries() {
    if (SDL_Init(0) == -1) {
        std::printf("SDL_Init: %s\n", SDL_GetError());
        std::fflush(stdout);
        return 1;
    }
    if (SDLNet_Init() == -1) {
        std::printf("SDLNet_Init: %s\n", SDL_GetError());
        std::fflush(stdout);
        return 2;
    }
    printLine(*this, "Initialization done!");
    return 0;
}

bool InSimLink::receiveExactly(void* bytes, std::size_t size) {
    auto* cursor = static_cast<std::uint8_t*>(bytes);
    while (size > 0) {
        const int received = SDLNet_TCP_Recv(insim_, cursor, static_cast<int>(size));
        if (received <= 0) return false;
        cursor += received;
        size -= static_cast<std::size_t>(received);
    }
    return true;
}

int InSimLink::connect(const Config& config, Tracker& tracker) {
    print(*this, "Waiting for InSim... ");

    IPaddress insimAddress;
    if (SDLNet_ResolveHost(&insimAddress, "localhost", static_cast<Uint16>(config.insimPort)) == -1) {
        std::printf("SDLNet_ResolveHost: %s\n", SDL_GetError());
        std::fflush(stdout);
        return 1;
    }
    // The simulator may still be starting: try again without end, but let it have the CPU. The console
    // stays as it is; standard error says now and then what the program waits for.
    Uint32 noted = SDL_GetTicks();
    while ((insim_ = SDLNet_TCP_Open(&insimAddress)) == nullptr) {
        SDL_Delay(kConnectRetryMs);
        if (SDL_GetTicks() - noted < kWaitingNoteMs) continue;
        noted += kWaitingNoteMs;
        diagnose(*this, "waiting for the simulator on InSim port ", config.insimPort, ": the game opens it with /insim ",
                 config.insimPort, " typed in the game, or when LFSExec in cfg.xml starts it");
    }

    socketSet_ = SDLNet_AllocSocketSet(kSocketSetSize);
    if (socketSet_ == nullptr) {
        printLine(*this, "Failed to allocate socket set! Exiting!");
        return 2;
    }
    if (SDLNet_TCP_AddSocket(socketSet_, insim_) == -1) {
        printLine(*this, "Failed to add socket to socket set! Exiting!");
        return 2;
    }
    printLine(*this, "Connected!");

    exitFlag_ = false;
    tracker.session.tracking = false;
    tracker.session.mustPit = false;
    tracker.session.currentTime = 0;

    const IS_ISI isi = makeInitPacket(config.outGaugePort, config.password, static_cast<byte>(config.insimVersion));
    send(&isi, sizeof isi);
    printLine(*this, "Sent ISI. Waiting for reply...");

    IS_VER version{};
    if (!receiveExactly(&version, sizeof version)) {
        printLine(*this, "Connection closed before the InSim version reply! Exiting!");
        return 2;
    }
    print(*this, "InSim version is ", version.InSimVer, " - ");
    if (!versionAccepted(version.InSimVer, config.insimVersion)) {
        printLine(*this, config.insimVersion == 0 ? "Stintkeeper only supports InSim version 5. Exiting."
                                                  : "Stintkeeper only supports InSim versions 5 to 8. Exiting.");
        return 2;
    }
    printLine(*this, "accepted.");
    printLine(*this, "Requesting OutGauge...");
    const IS_SMALL request = makeOutGaugeRequest(config.outGaugeIntervalMs);
    send(&request, sizeof request);

    outGauge_ = SDLNet_UDP_Open(static_cast<Uint16>(config.outGaugePort));
    if (outGauge_ == nullptr) {
        printLine(*this, "Failed to initialize UDP: ", SDL_GetError(), " - Exiting!");
        return 2;
    }
    IPaddress outGaugeAddress;
    if (SDLNet_ResolveHost(&outGaugeAddress, "localhost", static_cast<Uint16>(config.outGaugePort)) == -1) {
        std::printf("SDLNet_ResolveHost: %s\n", SDL_GetError());
        std::fflush(stdout);
        return 1;
    }
    if (SDLNet_UDP_Bind(outGauge_, kOutGaugeChannel, &outGaugeAddress) == -1) {
        printLine(*this, "Failed to bind to localhost! Exiting!");
        return 2;
    }
    return 0;
}

void InSimLink::failRead() {
    printLine(*this, "Failed to receive data: ", SDL_GetError(), " - Setting exit-flag!");
    exitFlag_ = true;
}

void InSimLink::pollInSim(Tracker& tracker) {
    // The header first, then the rest of the packet: each read completed before the next decision.
    std::uint8_t packet[kMaxPacketSize];
    std::size_t received = 0;
    Frame frame{Frame::NeedMore, kHeaderSize};
    while (frame.kind == Frame::NeedMore) {
        if (!receiveExactly(packet + received, frame.size - received)) return failRead();
        received = frame.size;
        frame = framePacket(packet, received);
    }
    if (frame.kind == Frame::Whole) dispatchPacket(tracker, packet, frame.size, *this);
}

void InSimLink::pollOutGauge(Tracker& tracker) {
    PacketBuffer buffer;
    if (buffer.packet == nullptr) {
        printLine(*this, "Failed to allocate new UDP packet! Exiting!");
        std::exit(2);
    }
    if (SDLNet_UDP_Recv(outGauge_, buffer.packet) <= 0) return;
    if (!fromLoopback(buffer.packet->address)) {
        printLine(*this, "Dropped an OutGauge datagram from another machine!");
        return;
    }
    onOutGauge(tracker, buffer.packet->data, static_cast<std::size_t>(buffer.packet->len), *this);
}

bool InSimLink::runTurn(Tracker& tracker) {
    if (SDLNet_CheckSockets(socketSet_, kWaitMs) != 0) pollInSim(tracker);
    pollOutGauge(tracker);
    return !exitFlag_;
}

void InSimLink::run(Tracker& tracker) {
    while (runTurn(tracker)) {
    }
}

void InSimLink::shutdown() {
    print(*this, "Exiting... ");
    SDLNet_FreeSocketSet(socketSet_);
    socketSet_ = nullptr;
    SDLNet_TCP_Close(insim_);
    insim_ = nullptr;
    SDLNet_UDP_Close(outGauge_);  // before the library goes, not after it in the destructor
    outGauge_ = nullptr;
    SDLNet_Quit();
    SDL_Quit();
}
