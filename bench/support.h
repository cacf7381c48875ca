// What every benchmark harness needs: loopback sockets with blocking reads, child processes with
// their console in a file, CPU and memory readings from /proc, percentiles, and reading the program's sends.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <netinet/in.h>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double microsBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::micro>(to - from).count();
}

// Ends the run with a message: a benchmark that measured the wrong thing must not print a figure.
[[noreturn]] void fail(const std::string& what);

// ---- sockets (blocking, loopback only) ----

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

Socket listenTcp(std::uint16_t& port);                // on 127.0.0.1, any free port
Socket acceptTcp(const Socket& listener, int timeoutMs);  // TCP_NODELAY, 10 s receive time-out
Socket connectTcp(std::uint16_t port);                 // TCP_NODELAY
sockaddr_in loopback(std::uint16_t port);              // 127.0.0.1:port
Socket openUdp();                                      // unbound, for sending datagrams
std::uint16_t freeUdpPort();

void sendAll(const Socket& socket, const void* bytes, std::size_t size);  // fails the run on error
void sendDatagram(const Socket& socket, std::uint16_t port, const void* bytes, std::size_t size);
// Exactly `size` bytes; fails the run when the link closes or 10 s pass without data.
void receiveExactly(const Socket& socket, void* bytes, std::size_t size);
bool waitReadable(const Socket& socket, int timeoutMs);

// While it lives, a blocked receive on the socket is woken only once `size` bytes have arrived
// (SO_RCVLOWAT): the time taken is that of the last byte's arrival, and the sender is not slowed by
// waking the harness for every segment; a simulator polling in its frame loop is not woken either.
class WakeOnlyForAll {
public:
    WakeOnlyForAll(const Socket& socket, std::size_t size);
    ~WakeOnlyForAll();
    WakeOnlyForAll(const WakeOnlyForAll&) = delete;
    WakeOnlyForAll& operator=(const WakeOnlyForAll&) = delete;

private:
    const Socket& socket_;
};

// The program's InSim output, cut into packets by their Size byte.
class PacketReader {
public:
    explicit PacketReader(const Socket& socket) : socket_(socket) {}
    std::vector<std::uint8_t> next();  // one whole packet
    // Reads packets up to and including the keep-alive reply; returns how many came before it.
    std::size_t untilKeepAliveReply();

private:
    const Socket& socket_;
};

// Sends a keep-alive and reads everything the program sent before its reply: once it returns,
// the program has handled every packet sent before, and the turn of the keep-alive has begun.
std::size_t barrier(const Socket& insim, PacketReader& reader);

// ---- processes ----

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

class Child {  // a process with stdout and stderr in a file; killed when still running at the end
public:
    Child(const std::string& binary, const std::vector<std::string>& args, const std::filesystem::path& dir,
          const std::filesystem::path& console);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return pid_; }
    int waitExit(int timeoutMs);  // exit code, or -1 (then killed)

private:
    pid_t pid_ = -1;
    bool exited_ = false;
};

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

// Starts stintkeeper in a fresh directory with a cfg.xml naming the ports, its console in a file,
// and answers the handshake as the simulator does. Closing the connection ends it.
// With `mode`, it starts the floor program in that mode instead, the two ports as its arguments.
class ProgramUnderTest {
public:
    explicit ProgramUnderTest(const std::string& binary, const std::string& mode = "");
    ~ProgramUnderTest();
    const Socket& insim() const { return insim_; }
    PacketReader& reader() { return reader_; }
    std::uint16_t outGaugePort() const { return outGaugePort_; }
    pid_t pid() const { return child_->pid(); }
    void stop();  // closes the connection and waits for the normal end

private:
    TempDir dir_;
    std::uint16_t insimPort_ = 0;
    std::uint16_t outGaugePort_ = 0;
    Socket listener_;
    std::unique_ptr<Child> child_;
    Socket insim_;
    PacketReader reader_{insim_};
};

// ---- figures ----

double percentile(std::vector<double> values, double fraction);  // nearest rank
double median(std::vector<double> values);

}  // namespace bench
