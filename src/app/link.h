// The link to the simulator: the InSim connection and its handshake, the loop that reads one InSim
// packet and polls OutGauge once per turn, and the shutdown; every system call goes through Sockets.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/config.h"
#include "app/program.h"
#include "app/sockets.h"
#include "link/output.h"

// Standard output and standard error; nothing is connected to send to.
class StandardOutput final : public Output {
public:
    void send(const void*, std::size_t) override {}
    void write(std::string_view text) override;
};

struct LinkTimings {
    std::uint32_t waitMs = 100;             // longest wait for InSim data in one turn
    std::uint32_t connectRetryMs = 100;     // pause between connection attempts while the simulator starts
    std::uint32_t waitingNoteMs = 10000;    // how often standard error says what the connection waits for
    std::uint32_t reconnectRetryMs = 1000;  // pause between connection attempts after a lost link
};

// The handlers' output while connected: sends go to the InSim socket, text to the console.
class InSimLink final : public Output {
public:
    InSimLink(Sockets& sockets, Output& console, LinkTimings timings = {})
        : sockets_(sockets), console_(console), timings_(timings) {}
    ~InSimLink() override;  // closes what a fatal start-up failure left open
    InSimLink(const InSimLink&) = delete;
    InSimLink& operator=(const InSimLink&) = delete;

    void send(const void* bytes, std::size_t size) override;  // on the InSim socket, once connected
    void write(std::string_view text) override;
    void diagnostic(std::string_view text) override;

    // SDL and SDL_net. Returns 0, or the exit code of a fatal failure.
    int initLibraries();
    // Connects to InSim, identifies the program, checks the version, asks for OutGauge and opens the
    // OutGauge socket; resets the session's loop state once connected. Returns 0, or the exit code of
    // a fatal failure.
    int connect(const Config& config, Program& program);
    // One loop turn: waits up to 100 ms for InSim data and reads one packet if there is some, then
    // polls OutGauge once. Returns the exit code once the loop must end: 0 after the InSim connection
    // failed, 2 when no receive buffer could be had for OutGauge.
    std::optional<int> runTurn(Program& program);
    // Turns until one returns an exit code. With reconnect on, a lost link is made again as at the start
    // instead (a link the game closes before its version reply, again), and the exit code of a fatal
    // failure of that ends the turns.
    int run(Program& program);
    // A flag that a signal handler sets: the loop and the wait for the simulator end at it, as at a lost
    // link, the buttons cleared while connected.
    void stopOn(const volatile std::sig_atomic_t* flag) { stop_ = flag; }
    // Releases the socket set, the InSim socket and the libraries, in that order.
    void shutdown();

private:
    bool receiveExactly(void* bytes, std::size_t size);  // completes short reads; false when the connection fails
    bool stopping() const { return stop_ != nullptr && *stop_ != 0; }
    // Tries to connect every `retryMs` until the simulator accepts; false when stopped first.
    bool awaitSimulator(std::uint32_t retryMs, Program& program);
    // From the connection on: the socket set, IS_ISI, the version, OutGauge asked for (its socket opened
    // the first time), the requests after a handshake. 0, or the exit code of a fatal failure; after a
    // lost link, kTryAgain when the game closed before its version reply.
    int handshake(Program& program, bool first);
    // Connects again until a handshake gets the version reply: 0, or the exit code of a fatal failure.
    int reconnect(Program& program);
    void drainOutGauge(Program& program);  // what came while the link was down, as it came
    void pollInSim(Program& program);
    std::optional<int> pollOutGauge(Program& program);

    Sockets& sockets_;
    Output& console_;
    LinkTimings timings_;
    bool connected_ = false;
    bool exitFlag_ = false;
    bool gaugeOpen_ = false;
    const Config* config_ = nullptr;  // the settings connect was given, for connecting again
    const volatile std::sig_atomic_t* stop_ = nullptr;
};
