// The floors the program is measured against: the least a process can do for the same job.
// echo: answers each 20-byte request; reader: reads and discards the race stream; idle: the bare wait
// loop; loop: the program's own calls for each packet, without its race logic; connect: the retry of a
// connection to a simulator that is not there yet.
#include <netinet/in.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "standin/loopback.h"
#include "support.h"

namespace {

// echo PORT: each request names the reply: bytes 0-3 the bytes of a "/press" batch (0 for none),
// byte 4 whether a fourth (advice) button follows, byte 5 how to send it: 0 in one send, 1 as the
// program sends it (the batch, IS_BFN, then the header and the text of every button apart).
int echo(std::uint16_t port) {
    const bench::Socket link = bench::connectTcp(port);
    std::vector<std::uint8_t> reply(1 << 16, 0);
    std::uint8_t request[20];
    for (;;) {
        std::size_t got = 0;
        while (got < sizeof request) {
            const ssize_t n = ::recv(link.fd(), request + got, sizeof request - got, 0);
            if (n <= 0) return 0;
            got += static_cast<std::size_t>(n);
        }
        std::uint32_t batch = 0;
        std::memcpy(&batch, request, sizeof batch);
        const bool advice = request[4] != 0;
        std::vector<std::size_t> sends;
        if (batch > 0) sends.push_back(batch);
        for (std::size_t size : {8, 12, 16, 12, 20, 12, 16}) sends.push_back(size);
        if (advice) {
            sends.push_back(12);
            sends.push_back(12);
        }
        std::size_t total = 0;
        for (std::size_t size : sends) total += size;
        if (total > reply.size()) return 1;
        if (request[5] == 0) {
            ::send(link.fd(), reply.data(), total, MSG_NOSIGNAL);
        } else {
            for (std::size_t size : sends) ::send(link.fd(), reply.data(), size, MSG_NOSIGNAL);
        }
    }
}

// reader PORT RACEBYTES: reads whatever comes, discards it, and sends one byte back at the end of every race.
int reader(std::uint16_t port, std::uint64_t raceBytes) {
    const bench::Socket link = bench::connectTcp(port);
    std::vector<std::uint8_t> buffer(1 << 16);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::recv(link.fd(), buffer.data(), buffer.size(), 0);
        if (n <= 0) return 0;
        const std::uint64_t before = total / raceBytes;
        total += static_cast<std::uint64_t>(n);
        for (std::uint64_t race = before; race < total / raceBytes; ++race) {
            const std::uint8_t done = 1;
            ::send(link.fd(), &done, 1, MSG_NOSIGNAL);
        }
    }
}

// idle PORT UDPPORT: the loop stripped to its waits: up to 100 ms on the TCP socket, then one
// look at the UDP socket without waiting.
int idle(std::uint16_t port, std::uint16_t udpPort) {
    const bench::Socket link = bench::connectTcp(port);
    const bench::Socket udp = bench::boundUdp(udpPort);
    std::uint8_t buffer[512];
    for (;;) {
        pollfd entry{link.fd(), POLLIN, 0};
        if (::poll(&entry, 1, 100) > 0 && ::recv(link.fd(), buffer, sizeof buffer, 0) <= 0) return 0;
        ::recv(udp.fd(), buffer, sizeof buffer, MSG_DONTWAIT);
    }
}

// loop INSIMPORT UDPPORT: what the program's loop must do for each packet, and nothing more: the
// handshake, then per turn a wait of up to 100 ms, the 4-byte header, the rest in one receive, one
// flushed console line for a lap, the keep-alive answered, then one look at the UDP socket and one
// datagram taken when there is one. SDL_net's ready check before a UDP receive is a second select.
int loop(std::uint16_t port, std::uint16_t udpPort) {
    const bench::Socket link = bench::connectTcp(port);
    std::uint8_t isi[44] = {44, 1, 1, 0};
    ::send(link.fd(), isi, sizeof isi, MSG_NOSIGNAL);
    std::uint8_t packet[256];
    if (::recv(link.fd(), packet, 20, MSG_WAITALL) != 20) return 1;
    const std::uint8_t small[8] = {8, 4, 0, 2, 0x10, 0x27, 0, 0};
    ::send(link.fd(), small, sizeof small, MSG_NOSIGNAL);
    const bench::Socket udp = bench::boundUdp(udpPort);
    const auto ready = [](int fd, long micros) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval wait{0, micros};
        return ::select(fd + 1, &set, nullptr, nullptr, &wait) > 0;
    };
    static constexpr char kLine[] = "New registered laptime by PLID 32: 1:23.45\n";
    for (;;) {
        if (ready(link.fd(), 100000)) {
            if (::recv(link.fd(), packet, 4, MSG_WAITALL) != 4) return 0;
            if (packet[0] > 4 && ::recv(link.fd(), packet + 4, packet[0] - 4u, MSG_WAITALL) <= 0) return 0;
            if (packet[1] == 24) {  // IS_LAP
                std::fwrite(kLine, 1, sizeof kLine - 1, stdout);
                std::fflush(stdout);
            }
            if (packet[1] == 3 && packet[3] == 0) ::send(link.fd(), packet, 4, MSG_NOSIGNAL);  // keep-alive
        }
        if (ready(udp.fd(), 0)) ::recv(udp.fd(), packet, sizeof packet, 0);
    }
}

// connect PORT: tries to connect to a port nobody listens on every 100 ms, with a fresh socket each
// time, as the program waits for the simulator.
int connect(std::uint16_t port) {
    const sockaddr_in address = standin::loopback(port);
    for (;;) {
        const bench::Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return 0;
        ::usleep(100000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const auto number = [&](int index) { return index < argc ? std::strtoull(argv[index], nullptr, 10) : 0; };
    if (mode == "echo" && argc == 3) return echo(static_cast<std::uint16_t>(number(2)));
    if (mode == "reader" && argc == 4 && number(3) > 0) {
        return reader(static_cast<std::uint16_t>(number(2)), number(3));
    }
    if (mode == "loop" && argc == 4) {
        return loop(static_cast<std::uint16_t>(number(2)), static_cast<std::uint16_t>(number(3)));
    }
    if (mode == "idle" && argc == 4) {
        return idle(static_cast<std::uint16_t>(number(2)), static_cast<std::uint16_t>(number(3)));
    }
    if (mode == "connect" && argc == 3) return connect(static_cast<std::uint16_t>(number(2)));
    std::fprintf(stderr, "usage: bench_floor echo PORT | reader PORT RACEBYTES | idle PORT UDPPORT | loop PORT UDPPORT"
                         " | connect PORT\n");
    return 2;
}
