// The simulator's side of the link on loopback: an InSim TCP host with the simulator's half of the
// handshake and the keep-alive round trip, and an OutGauge sender.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/wire.h"

namespace standin {

using Packet = std::vector<std::uint8_t>;

// Which simulator the host plays. Old: a release that speaks one InSim version, whatever it is asked.
// Current: one that speaks the version asked for in byte 8 of IS_ISI (InSimVer) when it still can, and
// from version 9 on gives every packet's Size byte as the size divided by 4, both ways.
enum class Simulator { Old, Current };

// The version in the IS_VER reply. Old: `given`. Current: byte 8 of the IS_ISI when 6 to 10, 6 below that
// (0 is taken as 6), 10 above; but never below `given`, the lowest version this simulator still provides.
word answeredVersion(Simulator simulator, word given, byte asked);

// What the program sent in the handshake, as it came: the IS_ISI (44 bytes when whole) and the
// OutGauge request (8 bytes when whole; empty when the program went no further than the IS_VER reply),
// and the version the reply gave.
struct HandshakeBytes {
    Packet isi;
    Packet request;
    word answered = 0;
};

class InSimHost {
public:
    explicit InSimHost(std::uint16_t port = 0);  // 0: any free port on 127.0.0.1
    ~InSimHost();
    InSimHost(const InSimHost&) = delete;
    InSimHost& operator=(const InSimHost&) = delete;

    std::uint16_t port() const { return port_; }
    bool listening() const { return listener_ >= 0; }
    bool accept(int timeoutMs);  // waits for the program to connect
    bool connected() const { return client_ >= 0; }
    // The connection's socket, for a caller that sets its own options on it (the benchmarks).
    int socket() const { return client_; }

    // One thread may send while another receives. send() sends the bytes as they are given;
    // sendWhole() and sendPacket() one whole packet, its Size byte counted in fours when sizesInFours().
    bool send(const void* bytes, std::size_t size);
    bool sendWhole(const void* bytes, std::size_t size);
    template <class Wire>
    bool sendPacket(const Wire& packet) { return sendWhole(&packet, sizeof packet); }

    // Set by handshake() when it answers version 9 or later: Size bytes are the size divided by 4.
    bool sizesInFours() const { return sizesInFours_; }

    // One whole packet framed by its Size byte; nothing when the time runs out or the link closes.
    // The packet is given as it came, its Size byte included.
    std::optional<Packet> receivePacket(int timeoutMs);
    // Exactly `size` bytes; fewer when the time runs out or the link closes.
    Packet receiveBytes(std::size_t size, int timeoutMs);
    void closeClient();  // the simulator goes away

    // Accepts the program (unless it is connected), reads its IS_ISI, answers IS_VER with the version
    // answeredVersion() gives and reads the OutGauge request, unless the program closes the link first;
    // each within the time.
    HandshakeBytes handshake(word insimVersion, int timeoutMs, Simulator simulator = Simulator::Old);
    // Sends a keep-alive IS_TINY and takes every packet the program sends until its reply (4, 3, 0, 0):
    // then everything sent before the keep-alive has been handled. The packets before the reply, in
    // order; nothing when the reply does not come within the time.
    std::optional<std::vector<Packet>> keepAliveRoundTrip(int timeoutMs);

private:
    bool fill(std::size_t wanted, int timeoutMs);  // until buffer_ holds `wanted` bytes
    int listener_ = -1;
    int client_ = -1;
    std::uint16_t port_ = 0;
    Packet buffer_;  // received, not yet taken
    bool sizesInFours_ = false;
};

class OutGaugeSender {
public:
    explicit OutGaugeSender(std::uint16_t port);  // sends to 127.0.0.1:port
    ~OutGaugeSender();
    OutGaugeSender(const OutGaugeSender&) = delete;
    OutGaugeSender& operator=(const OutGaugeSender&) = delete;
    bool send(const void* bytes, std::size_t size);
    template <class Wire>
    bool sendPacket(const Wire& packet) { return send(&packet, sizeof packet); }

private:
    int socket_ = -1;
    std::uint16_t port_;
};

}  // namespace standin
