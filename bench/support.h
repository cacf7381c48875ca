// What every benchmark harness needs beside the stand-in's host, runner and loopback helpers: the program
// started and answered as the simulator does, exact reads on its link, CPU and memory from /proc, percentiles.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "standin/insim_host.h"
#include "standin/program_runner.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double microsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

// Ends the run with a message: a benchmark that measured the wrong thing must not print a figure.
[[noreturn]] void fail(const std::string& what);

// ---- sockets ----

class Socket {  // owns one file descriptor
public:
    Socket() = default;
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket();
    Socket(Socket&& other) noexcept : fd_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }
    int release() { const int fd = fd_; fd_ = -1; return fd; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

Socket connectTcp(std::uint16_t port);   // to 127.0.0.1, TCP_NODELAY: the floors' side of a link
Socket boundUdp(std::uint16_t port);     // receives on 127.0.0.1:port: the floors' OutGauge socket

// The simulator's side of a link, failing the run where the stand-in's host reports a failure.
void sendAll(standin::InSimHost& link, const void* bytes, std::size_t size);
template <class Packet>
void sendPacket(standin::InSimHost& link, const Packet& packet) { sendAll(link, &packet, sizeof packet); }
void receiveExactly(standin::InSimHost& link, void* bytes, std::size_t size);  // within 10 s
standin::Packet nextPacket(standin::InSimHost& link);                          // within 10 s
// The keep-alive round trip: once it returns, the program has handled every packet sent before and the
// turn of the keep-alive has begun. Returns how many packets it sent before its reply.
std::size_t barrier(standin::InSimHost& link);
// Starts a floor program with `arguments` (which name the link's port) and takes its connection on `link`.
void startFloor(standin::ProgramRunner& floor, const std::vector<std::string>& arguments, standin::InSimHost& link);

// While it lives, a blocked receive on the link is woken only once `size` bytes have arrived
// (SO_RCVLOWAT): the time taken is that of the last byte's arrival, and the sender is not slowed by
// waking the harness for every segment; a simulator polling in its frame loop is not woken either.
class WakeOnlyForAll {
public:
    WakeOnlyForAll(const standin::InSimHost& link, std::size_t size);
    ~WakeOnlyForAll();
    WakeOnlyForAll(const WakeOnlyForAll&) = delete;
    WakeOnlyForAll& operator=(const WakeOnlyForAll&) = delete;

private:
    int fd_;
};

// ---- processes ----

struct Memory {
    long peakKb = 0;      // VmHWM
    long residentKb = 0;  // Rss of smaps_rollup: exact, where VmRSS lags by a few pages
};
Memory readMemory(pid_t pid);

struct CpuTime {
    std::uint64_t ticks = 0;    // utime + stime, clock ticks
    std::uint64_t runNs = 0;    // time on a CPU, from schedstat
};
CpuTime readCpu(pid_t pid);
long clockTicksPerSecond();

// ---- the program under test ----

// Starts stintkeeper through the stand-in's runner with a cfg.xml naming the ports, and answers the
// handshake as the simulator does. Closing the connection ends it. With `mode`, it starts the floor
// program in that mode instead, the two ports as its arguments; `extraConfig`: more cfg.xml elements.
class ProgramUnderTest {
public:
    explicit ProgramUnderTest(const std::string& binary, const std::string& mode = "", const std::string& extraConfig = "");
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;
    standin::InSimHost& insim() { return insim_; }
    std::uint16_t outGaugePort() const { return outGaugePort_; }
    pid_t pid() const { return runner_.pid(); }
    void stop();  // closes the connection and waits for the normal end

private:
    standin::InSimHost insim_;
    std::uint16_t outGaugePort_;
    standin::ProgramRunner runner_;
};

// ---- figures ----

double percentile(std::vector<double> values, double fraction);  // nearest rank
double median(std::vector<double> values);

}  // namespace bench
