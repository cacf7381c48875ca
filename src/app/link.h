// The link to the simulator: the InSim connection and its handshake, the loop that reads one InSim
// packet and polls OutGauge once per turn, and the shutdown; every system call goes through Sockets.
#pragma once

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
    int run(Program& program);  // turns until one returns an exit code
    // Releases the socket set, the InSim socket and the libraries, in that order.
    void shutdown();

private:
    bool receiveExactly(void* bytes, std::size_t size);  // completes short reads; false when the connection fails
    void pollInSim(Program& program);
    std::optional<int> pollOutGauge(Program& program);

    Sockets& sockets_;
    Output& console_;
    LinkTimings timings_;
    bool connected_ = false;
    bool exitFlag_ = false;
};
