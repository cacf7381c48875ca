// Loopback sockets of the stand-in: the InSim TCP host and the OutGauge UDP sender.
// Plain POSIX sockets with poll() time-outs, so a test never hangs on a silent program.
#include "standin/insim_host.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>

#include "standin/loopback.h"
#include "standin/packets.h"

namespace standin {
namespace {

bool waitReadable(int fd, int timeoutMs) {
    pollfd entry{fd, POLLIN, 0};
    int ready;
    do ready = ::poll(&entry, 1, timeoutMs); while (ready < 0 && errno == EINTR);
    return ready > 0;
}

using Clock = std::chrono::steady_clock;
Clock::time_point deadlineIn(int timeoutMs) { return Clock::now() + std::chrono::milliseconds(timeoutMs); }
int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

// Every socket is close-on-exec: a program started later must not hold the link open.
InSimHost::InSimHost(std::uint16_t port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) return;
    const int yes = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = loopback(port);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
}

InSimHost::~InSimHost() {
    closeClient();
    if (listener_ >= 0) ::close(listener_);
}

bool InSimHost::accept(int timeoutMs) {
    if (listener_ < 0 || !waitReadable(listener_, timeoutMs)) return false;
    client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client_ < 0) return false;
    const int yes = 1;
    ::setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return true;
}

bool InSimHost::send(const void* bytes, std::size_t size) {
    if (client_ < 0) return false;
    const auto* cursor = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t sent = ::send(client_, cursor, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        cursor += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool InSimHost::sendWhole(const void* bytes, std::size_t size) {
    if (!sizesInFours_ || size == 0) return send(bytes, size);
    Packet packet(static_cast<const std::uint8_t*>(bytes), static_cast<const std::uint8_t*>(bytes) + size);
    packet[0] = static_cast<std::uint8_t>(size / 4);
    return send(packet.data(), packet.size());
}

bool InSimHost::fill(std::size_t wanted, int timeoutMs) {
    const auto deadline = deadlineIn(timeoutMs);
    std::uint8_t chunk[16384];
    while (buffer_.size() < wanted) {
        if (client_ < 0 || !waitReadable(client_, remainingMs(deadline))) return false;
        const ssize_t got = ::recv(client_, chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffer_.insert(buffer_.end(), chunk, chunk + got);
    }
    return true;
}

std::optional<Packet> InSimHost::receivePacket(int timeoutMs) {
    const auto deadline = deadlineIn(timeoutMs);
    if (!fill(1, timeoutMs)) return std::nullopt;
    const std::size_t size = buffer_[0] == 0 ? 1 : sizesInFours_ ? buffer_[0] * 4u : buffer_[0];
    if (!fill(size, remainingMs(deadline))) return std::nullopt;
    Packet packet(buffer_.begin(), buffer_.begin() + static_cast<long>(size));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(size));
    return packet;
}

Packet InSimHost::receiveBytes(std::size_t size, int timeoutMs) {
    fill(size, timeoutMs);
    const std::size_t taken = buffer_.size() < size ? buffer_.size() : size;
    Packet bytes(buffer_.begin(), buffer_.begin() + static_cast<long>(taken));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(taken));
    return bytes;
}

void InSimHost::closeClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
}

word answeredVersion(Simulator simulator, word given, byte asked) {
    if (simulator == Simulator::Old) return given;
    const word wanted = asked < 6 ? 6 : asked > 10 ? 10 : asked;
    return wanted < given ? given : wanted;
}

HandshakeBytes InSimHost::handshake(word insimVersion, int timeoutMs, Simulator simulator) {
    const auto deadline = deadlineIn(timeoutMs);
    HandshakeBytes bytes;
    if (!connected() && !accept(timeoutMs)) return bytes;
    bytes.isi = receiveBytes(sizeof(IS_ISI), remainingMs(deadline));
    if (bytes.isi.size() != sizeof(IS_ISI)) return bytes;
    bytes.answered = answeredVersion(simulator, insimVersion, bytes.isi[offsetof(IS_ISI, InSimVer)]);
    sizesInFours_ = simulator == Simulator::Current && bytes.answered >= 9;
    sendPacket(makeVer(bytes.answered));
    bytes.request = receiveBytes(sizeof(IS_SMALL), remainingMs(deadline));
    return bytes;
}

std::optional<std::vector<Packet>> InSimHost::keepAliveRoundTrip(int timeoutMs) {
    const Packet reply = {static_cast<std::uint8_t>(sizesInFours_ ? sizeof(IS_TINY) / 4 : sizeof(IS_TINY)), ISP_TINY,
                          0, TINY_NONE};
    const auto deadline = deadlineIn(timeoutMs);
    if (!sendPacket(makeTiny(TINY_NONE))) return std::nullopt;
    std::vector<Packet> before;
    while (auto packet = receivePacket(remainingMs(deadline))) {
        if (*packet == reply) return before;
        before.push_back(std::move(*packet));
    }
    return std::nullopt;
}

OutGaugeSender::OutGaugeSender(std::uint16_t port)
    : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)), port_(port) {}

OutGaugeSender::~OutGaugeSender() {
    if (socket_ >= 0) ::close(socket_);
}

bool OutGaugeSender::send(const void* bytes, std::size_t size) {
    if (socket_ < 0) return false;
    const sockaddr_in address = loopback(port_);
    return ::sendto(socket_, bytes, size, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address) ==
           static_cast<ssize_t>(size);
}

}  // namespace standin
