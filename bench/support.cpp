// The benchmark harnesses' side of the links and processes, on the stand-in's host, runner and loopback
// helpers, and /proc readings. Every failure ends the run with a message: a figure is printed only for
// what was really measured.
#include "support.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "link/wire.h"
#include "standin/loopback.h"
#include "standin/packets.h"

namespace bench {
namespace {

constexpr int kLinkWaitMs = 10000;
const standin::ProgramRunner* lastProgram = nullptr;  // its console's tail explains most failures

void printTail(const std::string& what, const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (lines.empty()) return;
    std::fprintf(stderr, "last lines of the program's %s:\n", what.c_str());
    for (std::size_t i = lines.size() > 15 ? lines.size() - 15 : 0; i < lines.size(); ++i) {
        std::fprintf(stderr, "  %s\n", lines[i].c_str());
    }
}

}  // namespace

void fail(const std::string& what) {
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    if (lastProgram != nullptr) {
        printTail("standard output", lastProgram->output());
        printTail("standard error", lastProgram->errors());
    }
    std::exit(1);
}

Socket::~Socket() {
    if (fd_ >= 0) ::close(fd_);
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

Socket connectTcp(std::uint16_t port) {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = standin::loopback(port);
    if (!socket || ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail("cannot connect to port " + std::to_string(port));
    }
    const int yes = 1;
    ::setsockopt(socket.fd(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    return socket;
}

Socket boundUdp(std::uint16_t port) {
    Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = standin::loopback(port);
    if (!socket || ::bind(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail("cannot receive on UDP port " + std::to_string(port));
    }
    return socket;
}

void sendAll(standin::InSimHost& link, const void* bytes, std::size_t size) {
    if (!link.send(bytes, size)) fail("the connection closed while sending");
}

void receiveExactly(standin::InSimHost& link, void* bytes, std::size_t size) {
    const standin::Packet got = link.receiveBytes(size, kLinkWaitMs);
    if (got.size() != size) fail("the connection closed, or nothing came for 10 s");
    std::copy(got.begin(), got.end(), static_cast<std::uint8_t*>(bytes));
}

standin::Packet nextPacket(standin::InSimHost& link) {
    auto packet = link.receivePacket(kLinkWaitMs);
    if (!packet) fail("the connection closed, or no packet came for 10 s");
    return std::move(*packet);
}

std::size_t barrier(standin::InSimHost& link) {
    const auto before = link.keepAliveRoundTrip(kLinkWaitMs);
    if (!before) fail("no answer to a keep-alive within 10 s");
    return before->size();
}

void startFloor(standin::ProgramRunner& floor, const std::vector<std::string>& arguments, standin::InSimHost& link) {
    if (!floor.start(std::nullopt, arguments)) fail(floor.startError());
    if (!link.accept(kLinkWaitMs)) fail("the floor " + arguments.at(0) + " did not connect");
}

WakeOnlyForAll::WakeOnlyForAll(const standin::InSimHost& link, std::size_t size) : fd_(link.socket()) {
    const int lowest = static_cast<int>(size);
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVLOWAT, &lowest, sizeof lowest);
}

WakeOnlyForAll::~WakeOnlyForAll() {
    const int one = 1;  // back to the default: any byte wakes a reader
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVLOWAT, &one, sizeof one);
}

Memory readMemory(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    Memory memory;
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) memory.peakKb = std::atol(line.c_str() + 6);
        if (line.rfind("VmRSS:", 0) == 0) memory.residentKb = std::atol(line.c_str() + 6);
    }
    if (memory.peakKb == 0) fail("no memory figures for process " + std::to_string(pid));
    // VmRSS comes from counters the kernel brings up to date only now and then; the page walk
    // behind smaps_rollup is exact, which a growth of a few pages needs.
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    while (std::getline(rollup, line)) {
        if (line.rfind("Rss:", 0) == 0) memory.residentKb = std::atol(line.c_str() + 4);
    }
    return memory;
}

CpuTime readCpu(pid_t pid) {
    CpuTime cpu;
    std::ifstream statFile("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold blanks.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) fail("no CPU figures for process " + std::to_string(pid));
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    std::uint64_t utime = 0, stime = 0;
    for (int index = 3; fields >> field; ++index) {  // field 3 is the state
        if (index == 14) utime = std::stoull(field);
        if (index == 15) { stime = std::stoull(field); break; }
    }
    cpu.ticks = utime + stime;
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    schedstat >> cpu.runNs;
    return cpu;
}

long clockTicksPerSecond() { return ::sysconf(_SC_CLK_TCK); }

ProgramUnderTest::ProgramUnderTest(const std::string& binary, const std::string& mode, const std::string& extraConfig)
    : outGaugePort_(standin::freePort(true)), runner_(binary) {
    if (!insim_.listening()) fail("cannot listen on loopback");
    std::vector<std::string> arguments;
    if (!mode.empty()) arguments = {mode, std::to_string(insim_.port()), std::to_string(outGaugePort_)};
    if (!runner_.start(standin::portsConfig(insim_.port(), outGaugePort_, extraConfig), arguments)) {
        fail(runner_.startError());
    }
    lastProgram = &runner_;
    const standin::HandshakeBytes handshake = insim_.handshake(INSIM_VERSION, kLinkWaitMs);
    if (handshake.isi.size() != sizeof(IS_ISI) || handshake.isi[1] != ISP_ISI) fail("the program sent no IS_ISI");
    if (handshake.request.size() != sizeof(IS_SMALL) || handshake.request[1] != ISP_SMALL) {
        fail("the program did not ask for OutGauge");
    }
    barrier(insim_);  // the OutGauge socket is open once the loop answers
}

ProgramUnderTest::~ProgramUnderTest() {
    if (lastProgram == &runner_) lastProgram = nullptr;
}

void ProgramUnderTest::stop() {
    insim_.closeClient();
    const int code = runner_.wait(kLinkWaitMs);
    if (code != 0) fail("the program ended with " + std::to_string(code) + " when the simulator went away");
}

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

double median(std::vector<double> values) { return percentile(std::move(values), 0.5); }

}  // namespace bench
