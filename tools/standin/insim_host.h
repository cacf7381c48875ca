// The simulator's side of the link on loopback: an InSim TCP host and an OutGauge sender.
// Records every byte the program sends, so tests can check the wire exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace standin {

class InSimHost {
public:
    explicit InSimHost(std::uint16_t port = 0);  // 0: any free port on 127.0.0.1
    ~InSimHost();
    InSimHost(const InSimHost&) = delete;
    InSimHost& operator=(const InSimHost&) = delete;

    std::uint16_t port() const { return port_; }
    bool listening() const { return listener_ >= 0; }
    bool accept(int timeoutMs);                   // waits for the program to connect
    bool connected() const { return client_ >= 0; }

    bool send(const void* bytes, std::size_t size);
    template <class Packet>
    bool sendPacket(const Packet& packet) { return send(&packet, sizeof packet); }

    // One whole packet framed by its Size byte; nothing when the time runs out or the link closes.
    std::optional<std::vector<std::uint8_t>> receivePacket(int timeoutMs);
    // Exactly `size` bytes; fewer when the time runs out or the link closes.
    std::vector<std::uint8_t> receiveBytes(std::size_t size, int timeoutMs);
    // True when the program has closed its end within the time, draining what it still sends.
    bool waitClosed(int timeoutMs);
    void closeClient();  // the simulator goes away

    const std::vector<std::uint8_t>& received() const { return received_; }  // every byte so far

private:
    bool fill(std::size_t wanted, int timeoutMs);  // until buffer_ holds `wanted` bytes
    int listener_ = -1;
    int client_ = -1;
    std::uint16_t port_ = 0;
    std::vector<std::uint8_t> buffer_;    // received, not yet taken
    std::vector<std::uint8_t> received_;  // everything received
};

class OutGaugeSender {
public:
    explicit OutGaugeSender(std::uint16_t port);  // sends to 127.0.0.1:port
    ~OutGaugeSender();
    OutGaugeSender(const OutGaugeSender&) = delete;
    OutGaugeSender& operator=(const OutGaugeSender&) = delete;
    bool send(const void* bytes, std::size_t size);
    template <class Packet>
    bool sendPacket(const Packet& packet) { return send(&packet, sizeof packet); }
    void setPort(std::uint16_t port) { port_ = port; }

private:
    int socket_ = -1;
    std::uint16_t port_;
};

// A port that is free on loopback right now, for TCP or UDP.
std::uint16_t freePort(bool udp);

}  // namespace standin
