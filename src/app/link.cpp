// The InSim connection, the OutGauge socket and the loop that serves both, through the Sockets seam.
// The console lines and exit codes of start-up, loop and shutdown are all here.
#include "app/link.h"

#include <cstdio>

#include "link/dispatch.h"
#include "link/handshake.h"
#include "link/outgoing.h"

namespace {

constexpr std::size_t kOutGaugeBufferSize = 512;
constexpr int kMostDrained = 10000;  // datagrams taken in one pause: more than a socket's buffer holds
constexpr int kTryAgain = -1;  // a handshake after a lost link closed before the version reply

}  // namespace

void StandardOutput::write(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

InSimLink::~InSimLink() {
    // A fatal failure ends the program without the shutdown steps; the sockets still go, so that
    // nothing the link made outlives it.
    if (connected_) sockets_.close();
}

void InSimLink::send(const void* bytes, std::size_t size) {
    if (connected_) sockets_.send(bytes, size);
}

void InSimLink::write(std::string_view text) { console_.write(text); }
void InSimLink::diagnostic(std::string_view text) { console_.diagnostic(text); }

int InSimLink::initLibraries() {
    switch (sockets_.startLibraries()) {
    case 0:
        printLine(*this, "Initialization done!");
        return 0;
    case 1:
        printLine(*this, "SDL_Init: ", sockets_.error());
        return 1;
    default:
        printLine(*this, "SDLNet_Init: ", sockets_.error());
        return 2;
    }
}

bool InSimLink::receiveExactly(void* bytes, std::size_t size) {
    auto* cursor = static_cast<std::uint8_t*>(bytes);
    while (size > 0) {
        const int received = sockets_.receive(cursor, size);
        if (received <= 0) return false;
        cursor += received;
        size -= static_cast<std::size_t>(received);
    }
    return true;
}

int InSimLink::connect(const Config& config, Program& program) {
    print(*this, "Waiting for InSim... ");
    const std::uint16_t insimPort = portUsed(config.insimPort);
    if (!sockets_.resolveInSim(insimPort)) {
        printLine(*this, "SDLNet_ResolveHost: ", sockets_.error());
        return 1;
    }
    config_ = &config;
    if (!awaitSimulator(timings_.connectRetryMs, program)) return 0;
    return handshake(program, true);
}

bool InSimLink::awaitSimulator(std::uint32_t retryMs, Program& program) {
    // The simulator may still be starting: try again without end, but let it have the CPU. The console
    // stays as it is; standard error says now and then what the program waits for.
    const std::uint16_t insimPort = portUsed(config_->insimPort);
    std::uint32_t noted = sockets_.ticks();
    while (!sockets_.connect()) {
        if (stopping()) return false;
        sockets_.pause(retryMs);
        drainOutGauge(program);
        if (sockets_.ticks() - noted < timings_.waitingNoteMs) continue;
        noted += timings_.waitingNoteMs;
        diagnose(*this, "waiting for the simulator on InSim port ", insimPort, ": the game opens it with /insim ",
                 insimPort, " typed in the game, or when LFSExec in cfg.xml starts it");
    }
    return true;
}

int InSimLink::handshake(Program& program, bool first) {
    const Config& config = *config_;
    const std::uint16_t insimPort = portUsed(config.insimPort);
    connected_ = true;
    switch (sockets_.watchInSim()) {
    case Sockets::Watch::NoSet:
        printLine(*this, "Failed to allocate socket set! Exiting!");
        return 2;
    case Sockets::Watch::NotAdded:
        printLine(*this, "Failed to add socket to socket set! Exiting!");
        return 2;
    case Sockets::Watch::Watched:
        break;
    }
    printLine(*this, "Connected!");

    exitFlag_ = false;
    SessionState& session = program.race.session;
    if (first) {  // connected again, the program keeps all it knows: the answers decide what goes on
        session.tracking = false;
        session.mustPit = false;
        session.currentTime = 0;
    }

    const IS_ISI isi = makeInitPacket(config.outGaugePort, config.password, static_cast<byte>(config.insimVersion));
    send(&isi, sizeof isi);
    printLine(*this, "Sent ISI. Waiting for reply...");

    // A stop may come while the game has not answered yet (the stop is watched only with reconnect on).
    while (stop_ != nullptr && !stopping() && sockets_.wait(timings_.waitMs) == 0) {
    }
    if (stopping()) return 0;
    // The first reply is taken as the version reply: its 20 bytes, whatever they are.
    IS_VER version{};
    if (!receiveExactly(&version, sizeof version)) {
        // A game that is ending its race may close a new link at once: tried again, as a refused one is.
        if (!first) {
            printLine(*this, "Connection closed before the InSim version reply: connecting again.");
            return kTryAgain;
        }
        printLine(*this, "Connection closed before the InSim version reply! Exiting!");
        // Without a password of ours, a wrong one is not what the game closed for when reconnect is on.
        if (!config.reconnect || !config.password.empty()) {
            diagnose(*this, "the game closes the connection before its reply when the admin password is wrong: "
                     "<Password value=\"...\"/> in cfg.xml must be the game's InSim admin password, or empty");
        }
        return 2;
    }
    print(*this, "InSim version is ", version.InSimVer, " - ");
    if (!versionAccepted(version.InSimVer, config.insimVersion)) {
        printLine(*this, config.insimVersion == 0 ? "Stintkeeper only supports InSim version 5. Exiting."
                                                  : "Stintkeeper only supports InSim versions 5 to 10. Exiting.");
        if (config.insimVersion == 0) {
            diagnose(*this, "today's releases of the game speak InSim 6 or later: with version=\"8\" on <InSim> "
                     "in cfg.xml (<InSim port=\"", insimPort, "\" version=\"8\"/>) Stintkeeper speaks with them");
        }
        return 2;
    }
    printLine(*this, "accepted.");
    useInSimVersion(program, version.InSimVer, *this);
    printLine(*this, "Requesting OutGauge...");
    const IS_SMALL request = makeOutGaugeRequest(config.outGaugeIntervalMs, sizeUnit());
    send(&request, sizeof request);

    if (!first) {
        sendRequests(*this, requestsAfterHandshake(program));
        if (program.faces) facesLink(program, true);
        return 0;
    }
    const std::uint16_t outGaugePort = portUsed(config.outGaugePort);
    switch (sockets_.openGauge(outGaugePort)) {
    case Sockets::Gauge::NotOpened:
        printLine(*this, "Failed to initialize UDP: ", sockets_.error(), " - Exiting!");
        diagnose(*this, "the OutGauge port ", outGaugePort, " cannot be opened, most likely because another program "
                 "uses it: choose a free one with <OutGauge port=\"...\"/> in cfg.xml");
        return 2;
    case Sockets::Gauge::NotResolved:
        printLine(*this, "SDLNet_ResolveHost: ", sockets_.error());
        return 1;
    case Sockets::Gauge::NotBound:
        printLine(*this, "Failed to bind to localhost! Exiting!");
        return 2;
    case Sockets::Gauge::Open:
        gaugeOpen_ = true;
        break;
    }
    sendRequests(*this, requestsAfterHandshake(program));
    if (program.faces) facesLink(program, true);
    return 0;
}

void InSimLink::drainOutGauge(Program& program) {
    if (!gaugeOpen_) return;
    for (int taken = 0; taken < kMostDrained; ++taken) {
        std::uint8_t buffer[kOutGaugeBufferSize];
        const Sockets::Datagram datagram = sockets_.receiveDatagram(buffer, sizeof buffer);
        if (datagram.kind != Sockets::Datagram::Received) return;
        if (datagram.fromLoopback) onGauge(program, buffer, datagram.length, *this);
    }
}

int InSimLink::reconnect(Program& program) {
    printLine(*this, "Lost the InSim link: connecting again.");
    sockets_.closeInSim();
    connected_ = false;
    onLinkLost(program, *this);
    if (program.faces) facesLink(program, false);
    int failure = kTryAgain;
    while (failure == kTryAgain) {
        print(*this, "Waiting for InSim... ");
        if (!awaitSimulator(timings_.reconnectRetryMs, program)) return 0;
        failure = handshake(program, false);
        if (failure != kTryAgain) break;
        sockets_.closeInSim();
        connected_ = false;
        sockets_.pause(timings_.reconnectRetryMs);
        drainOutGauge(program);
    }
    if (failure == 0 && !config_->join) printLine(*this, "Waiting for restart...");
    return failure;
}

void InSimLink::pollInSim(Program& program) {
    // The header first, then the rest of the packet: each read completed before the next decision.
    const Routes<Program> routes = programRoutes(program);
    std::uint8_t packet[kMaxPacketSize];
    std::size_t received = 0;
    Frame frame{Frame::NeedMore, kHeaderSize};
    while (frame.kind == Frame::NeedMore) {
        if (!receiveExactly(packet + received, frame.size - received)) {
            printLine(*this, "Failed to receive data: ", sockets_.error(), " - Setting exit-flag!");
            exitFlag_ = true;
            return;
        }
        received = frame.size;
        frame = framePacket(packet, received, routes, sizeUnit());
    }
    if (frame.kind == Frame::Whole) dispatchPacket(routes, program, packet, frame.size, *this);
}

std::optional<int> InSimLink::pollOutGauge(Program& program) {
    std::uint8_t buffer[kOutGaugeBufferSize];
    const Sockets::Datagram datagram = sockets_.receiveDatagram(buffer, sizeof buffer);
    switch (datagram.kind) {
    case Sockets::Datagram::NoBuffer:
        printLine(*this, "Failed to allocate new UDP packet! Exiting!");
        return 2;
    case Sockets::Datagram::None:
        return std::nullopt;
    case Sockets::Datagram::Received:
        break;
    }
    // OutGauge goes to this machine only: anything from elsewhere is not the simulator.
    if (!datagram.fromLoopback) {
        printLine(*this, "Dropped an OutGauge datagram from another machine!");
        return std::nullopt;
    }
    onGauge(program, buffer, datagram.length, *this);
    return std::nullopt;
}

std::optional<int> InSimLink::runTurn(Program& program) {
    if (!connected_) return 0;  // stopped before the simulator accepted
    if (sockets_.wait(timings_.waitMs) != 0) pollInSim(program);
    if (const std::optional<int> failure = pollOutGauge(program)) return failure;
    if (program.faces) publishWhenDue(program);
    if (program.team != nullptr) onTeamTurn(program, *this);
    if (exitFlag_ || stopping()) return 0;
    return std::nullopt;
}

int InSimLink::run(Program& program) {
    for (;;) {
        const std::optional<int> code = runTurn(program);
        if (!code) continue;
        if (*code != 0) return *code;
        if (stopping()) {
            if (connected_ && !exitFlag_) clearButtons(*this);  // a stop with the link up leaves no board on the screen
            return 0;
        }
        if (!config_->reconnect) return 0;
        if (const int failure = reconnect(program)) return failure;
    }
}

void InSimLink::shutdown() {
    print(*this, "Exiting... ");
    sockets_.close();
    connected_ = false;
}
