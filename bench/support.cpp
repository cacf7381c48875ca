// Loopback sockets, child processes and /proc readings shared by the benchmark harnesses.
// Every failure ends the run with a message: a figure is printed only for what was really measured.
#include "support.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "link/wire.h"
#include "standin/packets.h"

extern char** environ;

namespace bench {

sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

namespace {

// Every socket is close-on-exec: a child that kept a copy would keep the program's connection open.

void setNoDelay(int fd) {
    const int yes = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

void setReceiveTimeout(int fd, int seconds) {
    timeval limit{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
}

std::filesystem::path lastConsole;  // of the program started last: its tail explains most failures

}  // namespace

void fail(const std::string& what) {
    std::fprintf(stderr, "bench: %s\n", what.c_str());
    if (!lastConsole.empty()) {
        std::ifstream console(lastConsole);
        std::vector<std::string> lines;
        for (std::string line; std::getline(console, line);) lines.push_back(line);
        std::fprintf(stderr, "last lines of the program's console:\n");
        for (std::size_t i = lines.size() > 15 ? lines.size() - 15 : 0; i < lines.size(); ++i) {
            std::fprintf(stderr, "  %s\n", lines[i].c_str());
        }
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

Socket listenTcp(std::uint16_t& port) {
    Socket listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener) fail("no TCP socket");
    const int yes = 1;
    ::setsockopt(listener.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = loopback(0);
    if (::bind(listener.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.fd(), 4) != 0) {
        fail("cannot listen on loopback");
    }
    socklen_t length = sizeof address;
    ::getsockname(listener.fd(), reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return listener;
}

Socket acceptTcp(const Socket& listener, int timeoutMs) {
    if (!waitReadable(listener, timeoutMs)) fail("nobody connected");
    Socket client(::accept4(listener.fd(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) fail("accept failed");
    setNoDelay(client.fd());
    setReceiveTimeout(client.fd(), 10);
    return client;
}

Socket connectTcp(std::uint16_t port) {
    Socket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(port);
    if (!socket || ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        fail("cannot connect to port " + std::to_string(port));
    }
    setNoDelay(socket.fd());
    return socket;
}

Socket openUdp() {
    Socket socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket) fail("no UDP socket");
    return socket;
}

std::uint16_t freeUdpPort() {
    Socket socket = openUdp();
    sockaddr_in address = loopback(0);
    if (::bind(socket.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) fail("no free UDP port");
    socklen_t length = sizeof address;
    ::getsockname(socket.fd(), reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void sendAll(const Socket& socket, const void* bytes, std::size_t size) {
    const auto* cursor = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t sent = ::send(socket.fd(), cursor, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) fail(std::string("send failed: ") + std::strerror(errno));
        cursor += sent;
        size -= static_cast<std::size_t>(sent);
    }
}

void sendDatagram(const Socket& socket, std::uint16_t port, const void* bytes, std::size_t size) {
    const sockaddr_in address = loopback(port);
    ::sendto(socket.fd(), bytes, size, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

void receiveExactly(const Socket& socket, void* bytes, std::size_t size) {
    auto* cursor = static_cast<std::uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t got = ::recv(socket.fd(), cursor, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got == 0) fail("the connection closed");
        if (got < 0) fail(std::string("receive failed: ") + std::strerror(errno));
        cursor += got;
        size -= static_cast<std::size_t>(got);
    }
}

bool waitReadable(const Socket& socket, int timeoutMs) {
    pollfd entry{socket.fd(), POLLIN, 0};
    int ready;
    do ready = ::poll(&entry, 1, timeoutMs); while (ready < 0 && errno == EINTR);
    return ready > 0;
}

WakeOnlyForAll::WakeOnlyForAll(const Socket& socket, std::size_t size) : socket_(socket) {
    const int lowest = static_cast<int>(size);
    ::setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVLOWAT, &lowest, sizeof lowest);
}

WakeOnlyForAll::~WakeOnlyForAll() {
    const int one = 1;  // back to the default: any byte wakes a reader
    ::setsockopt(socket_.fd(), SOL_SOCKET, SO_RCVLOWAT, &one, sizeof one);
}

std::vector<std::uint8_t> PacketReader::next() {
    std::uint8_t size = 0;
    receiveExactly(socket_, &size, 1);
    if (size < 2) fail("the program sent a packet of Size " + std::to_string(size));
    std::vector<std::uint8_t> packet(size);
    packet[0] = size;
    receiveExactly(socket_, packet.data() + 1, size - 1u);
    return packet;
}

std::size_t PacketReader::untilKeepAliveReply() {
    for (std::size_t before = 0;; ++before) {
        const std::vector<std::uint8_t> packet = next();
        if (packet.size() == sizeof(IS_TINY) && packet[1] == ISP_TINY) return before;
    }
}

std::size_t barrier(const Socket& insim, PacketReader& reader) {
    const IS_TINY keepAlive = standin::makeTiny(TINY_NONE);
    sendAll(insim, &keepAlive, sizeof keepAlive);
    return reader.untilKeepAliveReply();
}

TempDir::TempDir() {
    char pattern[] = "/tmp/stintkeeper-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) fail("no temporary directory");
    path_ = pattern;
}

TempDir::~TempDir() {
    if (std::getenv("BENCH_KEEP") != nullptr) {  // for a look at the program's console after the run
        std::fprintf(stderr, "bench: kept %s\n", path_.c_str());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Child::Child(const std::string& binary, const std::vector<std::string>& args, const std::filesystem::path& dir,
             const std::filesystem::path& console) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    std::vector<std::string> words{binary};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        fail("cannot start " + binary);
    }
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
    if (!exited_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

int Child::waitExit(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!exited_) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (Clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            exited_ = true;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
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

ProgramUnderTest::ProgramUnderTest(const std::string& binary, const std::string& mode) {
    listener_ = listenTcp(insimPort_);
    outGaugePort_ = freeUdpPort();
    std::ofstream(dir_.path() / "cfg.xml") << "<Config>\n  <InSim port=\"" << insimPort_
                                            << "\"/>\n  <OutGauge port=\"" << outGaugePort_ << "\"/>\n</Config>\n";
    lastConsole = dir_.path() / "console.txt";
    std::vector<std::string> args;
    if (!mode.empty()) args = {mode, std::to_string(insimPort_), std::to_string(outGaugePort_)};
    child_ = std::make_unique<Child>(binary, args, dir_.path(), lastConsole);
    insim_ = acceptTcp(listener_, 10000);

    IS_ISI isi{};
    receiveExactly(insim_, &isi, sizeof isi);
    if (isi.Type != ISP_ISI) fail("the program did not open with IS_ISI");
    const IS_VER version = standin::makeVer(INSIM_VERSION);
    sendAll(insim_, &version, sizeof version);
    IS_SMALL request{};
    receiveExactly(insim_, &request, sizeof request);
    if (request.Type != ISP_SMALL) fail("the program did not ask for OutGauge");
    barrier(insim_, reader_);  // the OutGauge socket is open once the loop answers
}

ProgramUnderTest::~ProgramUnderTest() = default;

void ProgramUnderTest::stop() {
    insim_ = Socket();
    const int code = child_->waitExit(10000);
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
