// Work per lap line: drives the program's own link and loop in-process, one turn at a time, so that
// callgrind can count the instructions of exactly the turns that handle a viewed lap line.
// Usage, MODE one of board, board-48h, board-48h-late, press, idle, idle-empty, dropped, echo (as scripts/bench.sh does):
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect=stintkeeper_measured_turn
//            --toggle-collect=stintkeeper_measured_echo bench_work MODE COUNTFILE > /dev/null
// It writes the number of measured turns to COUNTFILE; the instructions per turn are callgrind's total
// divided by it. Outside valgrind it runs as well, as a check that every turn did what it should.
#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/config.h"
#include "app/link.h"
#include "app/sdl_sockets.h"
#include "race.h"
#include "standin/loopback.h"
#include "standin/packets.h"
#include "support.h"

// The measured calls: plain names, kept out of line, for --toggle-collect.
extern "C" [[gnu::noinline]] bool stintkeeper_measured_turn(InSimLink* link, Program* program) {
    return !link->runTurn(*program).has_value();
}

// The floor of a turn: take a 20-byte message, answer with the board's bytes in one send.
extern "C" [[gnu::noinline]] void stintkeeper_measured_echo(int fd, std::uint8_t* buffer, std::size_t reply) {
    std::size_t got = 0;
    while (got < 20) {
        const ssize_t n = ::recv(fd, buffer + got, 20 - got, 0);
        if (n <= 0) return;
        got += static_cast<std::size_t>(n);
    }
    ::send(fd, buffer, reply, MSG_NOSIGNAL);
}

namespace {

constexpr std::uint8_t kRace = 1;
constexpr int kRaceLaps = 99;
constexpr std::uint8_t kFortyEightHours = 238;  // RaceLaps of a race of 48 hours
constexpr int kFortyEightHourLaps = 2880;

class Bench {
public:
    explicit Bench(bool longRaces = false) {
        config_.insimPort = host_.port();
        config_.outGaugePort = outGaugePort_;
        config_.longRaces = longRaces;
        applyDefaults(config_);
        program_ = Program(config_);
        // The simulator's half of the handshake runs beside the program's, which blocks on it.
        standin::HandshakeBytes handshake;
        std::thread simulator([&] { handshake = host_.handshake(INSIM_VERSION, 10000); });
        if (link_.initLibraries() != 0 || link_.connect(config_, program_) != 0) bench::fail("no connection");
        simulator.join();
        if (handshake.request.size() != sizeof(IS_SMALL)) bench::fail("the handshake did not complete");
    }
    ~Bench() { link_.shutdown(); }

    // One turn for each packet sent, none of them measured.
    void turns(const std::vector<std::uint8_t>& bytes, std::size_t packets) {
        if (!bytes.empty()) bench::sendAll(host_, bytes.data(), bytes.size());
        for (std::size_t i = 0; i < packets; ++i) link_.runTurn(program_);
        drain();
    }
    // The measured turn: handles `packet`; returns the bytes the program sent in it.
    template <class Packet>
    std::size_t measuredTurn(const Packet& packet) {
        bench::sendAll(host_, &packet, sizeof packet);
        stintkeeper_measured_turn(&link_, &program_);
        return drain();
    }
    void datagram(std::uint32_t time, float fuel) { gauge_.sendPacket(standin::makeOutGauge(time, fuel)); }
    // A turn with no InSim data: the 100 ms wait runs out, then the OutGauge poll.
    std::size_t measuredIdleTurn() {
        stintkeeper_measured_turn(&link_, &program_);
        return drain();
    }
    // A reading at the viewed car's lap line, taken in the turn of a keep-alive that follows it.
    void outGauge(std::uint32_t time, float fuel) {
        datagram(time, fuel);
        std::vector<std::uint8_t> keepAlive;
        bench::appendBytes(keepAlive, standin::makeTiny(TINY_NONE));
        turns(keepAlive, 1);
    }

private:
    std::size_t drain() { return host_.receiveBytes(SIZE_MAX, 0).size(); }  // what the program has sent by now

    standin::InSimHost host_;
    std::uint16_t outGaugePort_ = standin::freePort(true);
    Config config_;
    Program program_;
    StandardOutput console_;
    std::unique_ptr<Sockets> sockets_ = makeSdlSockets();
    InSimLink link_{*sockets_, console_};
    standin::OutGaugeSender gauge_{outGaugePort_};
};

// Runs the race and measures the viewed car's lap lines for which `measure` says so; the rest of the
// field is handled in unmeasured turns. `expected(lapsDone)` is what the lap line must send.
template <class Fuel, class Measure, class Expected>
std::size_t runRace(Bench& run, const bench::RaceShape& shape, Fuel fuel, Measure measure, Expected expected,
                    std::uint8_t raceLaps = kRaceLaps) {
    std::vector<std::uint8_t> pending;
    std::size_t pendingPackets = 0;
    bench::appendBytes(pending, standin::makeRst(raceLaps, 0));
    ++pendingPackets;
    std::size_t measured = 0;
    for (const bench::RaceEvent& event : bench::raceEvents(shape)) {
        if (!(event.isLap && event.plid == shape.viewedPlid)) {
            bench::appendPacket(pending, event);
            ++pendingPackets;
            continue;
        }
        run.turns(pending, pendingPackets);
        pending.clear();
        pendingPackets = 0;
        const IS_LAP lap = bench::lapPacket(event);
        if (measure(event.lapsDone)) {
            const std::size_t sent = run.measuredTurn(lap);
            if (sent != expected(event.lapsDone)) {
                bench::fail("lap line " + std::to_string(event.lapsDone) + " sent " + std::to_string(sent) +
                            " bytes, not " + std::to_string(expected(event.lapsDone)));
            }
            ++measured;
        } else {
            std::vector<std::uint8_t> bytes;
            bench::appendBytes(bytes, lap);
            run.turns(bytes, 1);
        }
        run.outGauge(event.elapsed + 300, fuel(event.lapsDone));
    }
    run.turns(pending, pendingPackets);
    return measured;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_work board|board-48h|board-48h-late|press|idle|idle-empty|dropped|echo COUNTFILE\n");
        return 2;
    }
    const std::string mode = argv[1];
    const bool timed = mode == "board-48h" || mode == "board-48h-late";
    Bench run(timed);
    if (mode != "idle-empty") {
        std::vector<std::uint8_t> start;
        bench::appendBytes(start, standin::makeSta(32, kRace, timed ? kFortyEightHours : kRaceLaps));
        run.turns(start, 1);
    }
    std::size_t measured = 0;

    if (mode == "board") {
        // The full field over the full distance, fuel never short: boards of three buttons, and four
        // on the last two lap lines ("LAST LAP", "FINISHED").
        const bench::RaceShape shape{64, kRaceLaps, 0, 32};
        measured = runRace(
            run, shape, [](int lap) { return 0.95f - 0.004f * static_cast<float>(lap); },
            [](int lap) { return lap >= 2; }, [](int lap) { return lap >= kRaceLaps - 1 ? 120u : 96u; });
    } else if (timed) {
        // A race of 48 hours read as such: 64 cars lapping in 50 to 59 s, 2,880 laps each, none at the
        // flag yet. board-48h measures the viewed car's lap lines 2 to 99, board-48h-late its last 98,
        // with 2,782 laps of every car stored before them.
        const bench::RaceShape shape{64, kFortyEightHourLaps, 0, 32, 50000};
        const bool late = mode == "board-48h-late";
        measured = runRace(
            run, shape, [](int) { return 0.5f; },
            [late](int lap) { return late ? lap > kFortyEightHourLaps - 98 : lap >= 2 && lap <= kRaceLaps; },
            [](int) { return 96u; }, kFortyEightHours);
    } else if (mode == "press") {
        // Fuel halves every lap: from lap line 3 on every board comes with the longest batch.
        const bench::RaceShape shape{64, 8, 0, 32};
        for (int race = 0; race < 10; ++race) {
            measured += runRace(
                run, shape, [](int lap) { return 1.0f / static_cast<float>(1u << (lap - 1)); },
                [](int lap) { return lap >= 3; }, [](int) { return 199u * 68u + 120u; });
        }
    } else if (mode == "idle" || mode == "idle-empty") {
        // Turns with no InSim data: the 100 ms wait runs out, then one OutGauge datagram is taken.
        // "idle" late in a race (90 laps of 64 cars stored), "idle-empty" with no race at all.
        if (mode == "idle") {
            const bench::RaceShape shape{64, 90, 0, 32};
            runRace(
                run, shape, [](int lap) { return 0.95f - 0.004f * static_cast<float>(lap); }, [](int) { return false; },
                [](int) { return 0u; });
        }
        for (int turn = 0; turn < 20; ++turn) {
            run.datagram(8000000 + 100 * static_cast<std::uint32_t>(turn), 0.5f);
            if (run.measuredIdleTurn() != 0) bench::fail("an idle turn sent something");
            ++measured;
        }
    } else if (mode == "dropped") {
        // The loop's own cost: a 20-byte packet of a type nobody handles, read and dropped.
        std::uint8_t unknown[20] = {20, 60, 0, 0};
        for (int turn = 0; turn < 200; ++turn) {
            if (run.measuredTurn(unknown) != 0) bench::fail("a dropped packet got an answer");
            ++measured;
        }
    } else if (mode == "echo") {
        // The floor: a bare recv and send on a loopback connection of the same kind.
        standin::InSimHost harness;
        const bench::Socket echo = bench::connectTcp(harness.port());
        if (!harness.accept(1000)) bench::fail("no loopback connection");
        std::vector<std::uint8_t> buffer(96);
        std::uint8_t request[20] = {};
        for (int turn = 0; turn < 200; ++turn) {
            bench::sendAll(harness, request, sizeof request);
            stintkeeper_measured_echo(echo.fd(), buffer.data(), buffer.size());
            bench::receiveExactly(harness, buffer.data(), buffer.size());
            ++measured;
        }
    } else {
        bench::fail("unknown mode " + mode);
    }
    std::ofstream(argv[2]) << measured << "\n";
    return 0;
}
