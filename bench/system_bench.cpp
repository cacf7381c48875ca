// Whole-process benchmarks of the real program against its floors, all in one run: lap line to pitboard
// latency, race throughput, peak memory over 20 races, idle CPU, and CPU while waiting for the simulator.
// Usage: bench_system PROGRAM FLOOR [latency|board|press|log|page|team|throughput|long|idle|waiting] > rows.tsv
// (one tab-separated row per figure; without a choice, all of them).
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "race.h"
#include "standin/http_client.h"
#include "standin/loopback.h"
#include "standin/packets.h"
#include "support.h"

namespace {

using bench::Clock;

constexpr int kRaceLaps = 99;
constexpr std::uint8_t kRace = 1;
constexpr std::size_t kBoardBytes = 8 + 28 + 32 + 28;  // IS_BFN and three IS_BTN
constexpr std::size_t kAdviceBytes = 24;                // the fourth IS_BTN
constexpr std::size_t kFullBatchBytes = 199 * 68;       // 99 % typed: 199 IS_MST
constexpr auto kIdleBeforeLap = std::chrono::microseconds(200);  // the program is back in its wait

struct Options {
    std::string program;
    std::string floor;
};

// ---- output ----

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void row(const std::string& figure, const std::string& program, const std::string& floor, const std::string& ratio,
         const std::string& target, const std::string& met) {
    std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), program.c_str(), floor.c_str(), ratio.c_str(),
                target.c_str(), met.c_str());
    std::fflush(stdout);
}

// How a figure was taken: printed under the table.
void note(const std::string& figure, const std::string& text) {
    std::printf("note\t%s\t%s\n", figure.c_str(), text.c_str());
    std::fflush(stdout);
}

std::string verdict(bool met) { return met ? "yes" : "NO"; }

// ---- the board on the wire ----

// Checks what a viewed lap line sent: the batch (when expected), IS_BFN, then the buttons in ClickID order.
void checkBoard(const std::vector<std::uint8_t>& bytes, std::size_t batchBytes, bool advice) {
    std::size_t at = 0;
    const auto expect = [&](bool ok, const char* what) {
        if (!ok) bench::fail(std::string("unexpected lap line output: ") + what + " at byte " + std::to_string(at));
    };
    while (at < batchBytes) {
        expect(bytes[at] == sizeof(IS_MST) && bytes[at + 1] == ISP_MST, "IS_MST of the batch");
        at += sizeof(IS_MST);
    }
    if (batchBytes > 0) {
        static constexpr char kClosing[] = "/press F12";  // with its terminator
        expect(std::memcmp(&bytes[at - sizeof(IS_MST) + 4], kClosing, sizeof kClosing) == 0, "closing /press F12");
    }
    expect(bytes[at] == sizeof(IS_BFN) && bytes[at + 1] == ISP_BFN, "IS_BFN");
    at += sizeof(IS_BFN);
    const std::size_t buttons = advice ? 4 : 3;
    for (std::size_t click = 1; click <= buttons; ++click) {
        expect(at + sizeof(IS_BTN_Header) <= bytes.size(), "IS_BTN");
        expect(bytes[at + 1] == ISP_BTN && bytes[at + 4] == click, "IS_BTN");
        at += bytes[at];
    }
    expect(at == bytes.size(), "end of the board");
}

// ---- 1. lap line to pitboard ----

struct LatencySamples {
    std::vector<double> program, echoOneSend, echoSameSends;
};

// One round trip to the echo: the same reply size as the program's lap line.
double echoRoundTrip(standin::InSimHost& echo, std::size_t batchBytes, bool advice, bool sameSends) {
    std::uint8_t request[20] = {};
    const auto batch = static_cast<std::uint32_t>(batchBytes);
    std::memcpy(request, &batch, sizeof batch);
    request[4] = advice ? 1 : 0;
    request[5] = sameSends ? 1 : 0;
    std::vector<std::uint8_t> reply(batchBytes + kBoardBytes + (advice ? kAdviceBytes : 0));
    const bench::WakeOnlyForAll whole(echo, reply.size());
    std::this_thread::sleep_for(kIdleBeforeLap);
    const auto start = Clock::now();
    bench::sendAll(echo, request, sizeof request);
    bench::receiveExactly(echo, reply.data(), reply.size());
    return bench::microsBetween(start, Clock::now());
}

// Times one viewed lap line: from writing its IS_LAP to the last byte of the board.
double timedLapLine(bench::ProgramUnderTest& program, const IS_LAP& lap, std::size_t batchBytes, bool advice) {
    std::vector<std::uint8_t> reply(batchBytes + kBoardBytes + (advice ? kAdviceBytes : 0));
    double micros = 0;
    {
        const bench::WakeOnlyForAll whole(program.insim(), reply.size());
        std::this_thread::sleep_for(kIdleBeforeLap);
        const auto start = Clock::now();
        bench::sendAll(program.insim(), &lap, sizeof lap);
        bench::receiveExactly(program.insim(), reply.data(), reply.size());
        micros = bench::microsBetween(start, Clock::now());
    }
    checkBoard(reply, batchBytes, advice);
    return micros;
}

struct Echo {
    explicit Echo(const std::string& floorBinary) : floor(floorBinary) {
        bench::startFloor(floor, {"echo", std::to_string(link.port())}, link);
    }
    standin::InSimHost link;
    standin::ProgramRunner floor;
};

// The floors of one lap line, taken right after it: a load that comes and goes on the machine
// then weighs on the program and on its floors alike.
void echoRounds(Echo& echo, LatencySamples& samples, std::size_t batchBytes, bool advice) {
    samples.echoOneSend.push_back(echoRoundTrip(echo.link, batchBytes, advice, false));
    samples.echoSameSends.push_back(echoRoundTrip(echo.link, batchBytes, advice, true));
}

// The full field, splits left out: the board reads blocks of 64 records. Each race gives 98 boards
// (lap lines 2 to 99); the last two carry the "LAST LAP" and "FINISHED" advice.
LatencySamples boardLatency(const Options& options, int races) {
    bench::ProgramUnderTest program(options.program);
    Echo echo(options.floor);
    bench::RaceShape shape;
    shape.splitsPerLap = 0;
    const std::vector<bench::RaceEvent> events = bench::raceEvents(shape);
    LatencySamples samples;

    const IS_STA sta = standin::makeSta(shape.viewedPlid, kRace, kRaceLaps);
    bench::sendAll(program.insim(), &sta, sizeof sta);
    for (int race = 0; race < races; ++race) {
        std::vector<std::uint8_t> pending;
        bench::appendBytes(pending, standin::makeRst(kRaceLaps, 0));
        for (const bench::RaceEvent& event : events) {
            if (!(event.isLap && event.plid == shape.viewedPlid && event.lapsDone >= 2)) {
                bench::appendPacket(pending, event);
                continue;
            }
            bench::sendAll(program.insim(), pending.data(), pending.size());
            pending.clear();
            bench::barrier(program.insim());
            const bool advice = event.lapsDone >= kRaceLaps - 1;  // "LAST LAP", "FINISHED"
            samples.program.push_back(timedLapLine(program, bench::lapPacket(event), 0, advice));
            echoRounds(echo, samples, 0, advice);
        }
        bench::sendAll(program.insim(), pending.data(), pending.size());
        bench::barrier(program.insim());
    }
    program.stop();
    return samples;
}

// Short races of a small field in which the viewed car's fuel halves every lap: from lap line 3
// on, every board comes with the longest batch (99 %, 199 IS_MST, 13,532 bytes) and the advice.
LatencySamples pressLatency(const Options& options, int races) {
    constexpr int kLapsRun = 8;  // lap lines 3 to 8 still need more than the 99 % cap
    bench::ProgramUnderTest program(options.program);
    Echo echo(options.floor);
    standin::OutGaugeSender outGauge(program.outGaugePort());
    bench::RaceShape shape;
    shape.cars = 8;
    shape.laps = kLapsRun;
    shape.splitsPerLap = 0;
    shape.viewedPlid = 4;
    const std::vector<bench::RaceEvent> events = bench::raceEvents(shape);
    LatencySamples samples;
    std::uint32_t clock = 1000;

    const IS_STA sta = standin::makeSta(shape.viewedPlid, kRace, kRaceLaps);
    bench::sendAll(program.insim(), &sta, sizeof sta);
    for (int race = 0; race < races; ++race) {
        std::vector<std::uint8_t> pending;
        bench::appendBytes(pending, standin::makeRst(kRaceLaps, 0));
        float fuel = 1.0f;
        for (const bench::RaceEvent& event : events) {
            if (!(event.isLap && event.plid == shape.viewedPlid)) {
                bench::appendPacket(pending, event);
                continue;
            }
            bench::sendAll(program.insim(), pending.data(), pending.size());
            pending.clear();
            bench::barrier(program.insim());
            const IS_LAP lap = bench::lapPacket(event);
            if (event.lapsDone == 1) {
                bench::sendAll(program.insim(), &lap, sizeof lap);
                bench::barrier(program.insim());  // registered before its reading comes
            } else {
                const bool batch = event.lapsDone >= 3;
                const double micros = timedLapLine(program, lap, batch ? kFullBatchBytes : 0, batch);
                if (batch) {
                    samples.program.push_back(micros);
                    echoRounds(echo, samples, kFullBatchBytes, true);
                }
            }
            // The reading at this lap line, sent once the lap is registered (its board has come):
            // the program takes it in this turn or the next, before the next packet.
            outGauge.sendPacket(standin::makeOutGauge(clock += 100, fuel, shape.viewedPlid));
            fuel /= 2;
        }
        bench::sendAll(program.insim(), pending.data(), pending.size());
        bench::barrier(program.insim());
    }
    program.stop();
    return samples;
}

// A race of 48 hours read as such (<Race long="1"/>): 64 cars lapping in 50 to 59 s, 2,880 laps each,
// splits left out. The viewed car's lap lines 2 to 99 and its last 98 are timed; the peak resident
// size is read at the end.
struct LongRaceResult {
    std::vector<double> early, late;
    long peakKb = 0;
};
LongRaceResult longRace(const Options& options) {
    constexpr std::uint8_t kFortyEightHours = 238;
    constexpr int kLaps = 2880;
    bench::ProgramUnderTest program(options.program, "", "  <Race long=\"1\"/>\n");
    const bench::RaceShape shape{64, kLaps, 0, 32, 50000};
    LongRaceResult result;
    const IS_STA sta = standin::makeSta(shape.viewedPlid, kRace, kFortyEightHours);
    bench::sendAll(program.insim(), &sta, sizeof sta);
    std::vector<std::uint8_t> pending;
    bench::appendBytes(pending, standin::makeRst(kFortyEightHours, 0));
    for (const bench::RaceEvent& event : bench::raceEvents(shape)) {
        const bool early = event.lapsDone >= 2 && event.lapsDone <= kRaceLaps;
        const bool late = event.lapsDone > kLaps - 98;
        if (!(event.isLap && event.plid == shape.viewedPlid && (early || late))) {
            bench::appendPacket(pending, event);
            if (pending.size() < 64 * 1024) continue;
        }
        bench::sendAll(program.insim(), pending.data(), pending.size());
        pending.clear();
        bench::barrier(program.insim());
        if (!(event.isLap && event.plid == shape.viewedPlid && (early || late))) continue;
        (early ? result.early : result.late).push_back(timedLapLine(program, bench::lapPacket(event), 0, false));
    }
    bench::sendAll(program.insim(), pending.data(), pending.size());
    bench::barrier(program.insim());
    result.peakKb = bench::readMemory(program.pid()).peakKb;
    program.stop();
    return result;
}

// Plays `races` races of the bench's shape to programs alike: every packet goes to each, and each viewed lap
// line from lap 2 on is handed to `line` (with whether its board carries an advice) to time as it will, once
// all have handled what came before it.
template <class Line>
void playViewedLines(const std::vector<bench::ProgramUnderTest*>& programs, int races, Line line) {
    bench::RaceShape shape;
    shape.splitsPerLap = 0;
    const std::vector<bench::RaceEvent> events = bench::raceEvents(shape);
    const auto both = [&](const std::vector<std::uint8_t>& bytes) {
        for (bench::ProgramUnderTest* program : programs) {
            bench::sendAll(program->insim(), bytes.data(), bytes.size());
            bench::barrier(program->insim());
        }
    };
    std::vector<std::uint8_t> pending;
    bench::appendBytes(pending, standin::makeSta(shape.viewedPlid, kRace, kRaceLaps));
    for (int race = 0; race < races; ++race) {
        bench::appendBytes(pending, standin::makeRst(kRaceLaps, 0));
        for (const bench::RaceEvent& event : events) {
            if (!(event.isLap && event.plid == shape.viewedPlid && event.lapsDone >= 2)) {
                bench::appendPacket(pending, event);
                continue;
            }
            both(pending);
            pending.clear();
            line(event, bench::lapPacket(event), event.lapsDone >= kRaceLaps - 1);
        }
    }
    both(pending);
}

// The board latency with the race log on against the same without it: two programs fed the same race,
// each viewed lap line timed on both in turn (which goes first alternates), so that a load that comes
// and goes weighs on both alike. With the log on, every line writes its row (the viewed car's at its
// next line, as no OutGauge reading comes): one write and one flush.
struct LogSamples {
    std::vector<double> on, off;
};

LogSamples logLatency(const Options& options, int races) {
    bench::ProgramUnderTest off(options.program);
    bench::ProgramUnderTest on(options.program, "", "  <Log dir=\"logs\"/>\n");
    LogSamples samples;
    playViewedLines({&off, &on}, races, [&](const bench::RaceEvent&, const IS_LAP& lap, bool advice) {
        const bool offFirst = samples.off.size() % 2 == 0;
        if (offFirst) samples.off.push_back(timedLapLine(off, lap, 0, advice));
        samples.on.push_back(timedLapLine(on, lap, 0, advice));
        if (!offFirst) samples.off.push_back(timedLapLine(off, lap, 0, advice));
    });
    off.stop();
    on.stop();
    return samples;
}

// The page on with `clients` streams open, against it off, in one run: each lap line to its board on both
// (taken in turn, as the log's), and on the page's side from the line to its event at every client. The
// line's reading is sent just before it, so the line's snapshot goes as soon as the line is handled. Then
// the idle cost and the peak size of both.
double percentOfCore(const bench::CpuTime& before, const bench::CpuTime& after, double seconds);
constexpr int kEventWaitMs = 5000;
struct PageResult {
    std::vector<double> on, off, event;  // us, us, ms
    double idleOn = 0, idleOff = 0;      // % of a core
    double peakOnMb = 0, peakOffMb = 0;
};
PageResult pageRun(const Options& options, int races, int clients) {
    const std::uint16_t webPort = standin::freePort(false);
    bench::ProgramUnderTest off(options.program);
    bench::ProgramUnderTest on(options.program, "", "  <Web port=\"" + std::to_string(webPort) + "\"/>\n");
    std::vector<std::unique_ptr<standin::HttpConnection>> streams;
    for (int k = 0; k < clients; ++k) {
        streams.push_back(std::make_unique<standin::HttpConnection>(webPort));
        streams.back()->send("GET /events HTTP/1.1\r\n\r\n");
        if (!streams.back()->nextEvent(kEventWaitMs)) bench::fail("a stream of the page sent nothing");
    }
    standin::OutGaugeSender gauge(on.outGaugePort());
    PageResult result;
    std::uint32_t clock = 1000;
    playViewedLines({&off, &on}, races, [&](const bench::RaceEvent& event, const IS_LAP& lap, bool advice) {
        for (auto& stream : streams) {
            while (stream->nextEvent(0)) {
            }
        }
        result.off.push_back(timedLapLine(off, lap, 0, advice));
        gauge.sendPacket(standin::makeOutGauge(clock += 100, 1.0f - 0.005f * event.lapsDone, event.plid));
        const auto start = Clock::now();
        result.on.push_back(timedLapLine(on, lap, 0, advice));
        for (auto& stream : streams) {
            if (!stream->nextEvent(kEventWaitMs)) bench::fail("a lap line's event did not come");
            result.event.push_back(bench::microsBetween(start, Clock::now()) / 1000.0);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bench::CpuTime onBefore = bench::readCpu(on.pid()), offBefore = bench::readCpu(off.pid());
    const auto begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double seconds = bench::microsBetween(begin, Clock::now()) / 1e6;
    result.idleOn = percentOfCore(onBefore, bench::readCpu(on.pid()), seconds);
    result.idleOff = percentOfCore(offBefore, bench::readCpu(off.pid()), seconds);
    result.peakOnMb = static_cast<double>(bench::readMemory(on.pid()).peakKb) / 1024.0;
    result.peakOffMb = static_cast<double>(bench::readMemory(off.pid()).peakKb) / 1024.0;
    streams.clear();
    off.stop();
    on.stop();
    return result;
}

// The team link: the driving member's program with <Team> against one without, fed the same race, each
// viewed lap line to its board on both, three races with the broker up and three with it gone; and
// a waiting member's program with <Team> and the page, fed the same race with the other member named as
// the car's driver: from the driver's line to the event of its page that carries that line's level. The
// bytes the driver's program sent the broker, a lap, from the kernel's count of its connection (ss). The broker
// and the waiting member's program run at the idle priority, as on machines of their own.
struct TeamResult {
    std::vector<double> up, gone, offUp, offGone;  // us
    std::vector<double> page;                       // ms
    double bytesPerLap = 0;
};

// Bytes sent so far on the connection of process `pid` to local port `port`; 0 when there is none.
double bytesSentTo(pid_t pid, std::uint16_t port) {
    const std::string command = "ss -tinpH '( dport = :" + std::to_string(port) + " )' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return 0;
    std::string text;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0;) text.append(chunk, got);
    const std::size_t owner = text.find("pid=" + std::to_string(pid) + ",");
    const std::size_t sent = owner == std::string::npos ? owner : text.find("bytes_sent:", owner);
    return sent == std::string::npos ? 0 : std::stod(text.substr(sent + 11));
}

// IS_ISM, IS_NCN and IS_NPL as the game sends them: the host, the members' connections and the car the first
// one drives.
std::vector<std::uint8_t> teamMembers(bool localDrives, std::uint8_t plid) {
    std::vector<std::uint8_t> bytes;
    IS_ISM ism{};
    ism.Size = sizeof ism;
    ism.Type = ISP_ISM;
    std::strcpy(ism.HName, "bench");
    bench::appendBytes(bytes, ism);
    for (const std::uint8_t ucid : {1, 2}) {
        IS_NCN ncn{};
        ncn.Size = sizeof ncn;
        ncn.Type = ISP_NCN;
        ncn.UCID = ucid;
        std::strcpy(ncn.UName, ucid == 1 ? "driver" : "mate");
        const bool local = (ucid == 1) == localDrives;
        ncn.Flags = local ? 0 : NCN_REMOTE;
        bench::appendBytes(bytes, ncn);
    }
    IS_NPL npl{};
    npl.Size = sizeof npl;
    npl.Type = ISP_NPL;
    npl.PLID = plid;
    npl.UCID = 1;
    bench::appendBytes(bytes, npl);
    return bytes;
}

// Every thread of process `pid` at the idle priority: the broker and the waiting member's program stand for
// other machines, which must not take this one's cores from the driver's program and the bench.
void onOtherMachine(pid_t pid) {
    const sched_param none{};
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task")) {
        ::sched_setscheduler(static_cast<pid_t>(std::stol(task.path().filename().string())), SCHED_IDLE, &none);
    }
}

TeamResult teamRun(const Options& options) {
    const std::uint16_t brokerPort = standin::freePort(false), webPort = standin::freePort(false);
    standin::ProgramRunner broker("/usr/sbin/mosquitto");
    if (!broker.start(std::nullopt, {"-p", std::to_string(brokerPort)}) || !broker.waitForErrors("running", 5000)) {
        bench::fail("the broker did not start: " + broker.errors());
    }
    onOtherMachine(broker.pid());
    const std::string team = "  <Team name=\"bench\" broker=\"127.0.0.1\" port=\"" + std::to_string(brokerPort) + "\"/>\n";
    bench::ProgramUnderTest off(options.program);
    bench::ProgramUnderTest on(options.program, "", team);
    bench::ProgramUnderTest mate(options.program, "", team + "  <Web port=\"" + std::to_string(webPort) + "\"/>\n");
    const std::uint8_t viewed = bench::RaceShape{}.viewedPlid;
    for (auto [program, drives] : {std::pair{&on, true}, std::pair{&mate, false}}) {
        const std::vector<std::uint8_t> members = teamMembers(drives, viewed);
        bench::sendAll(program->insim(), members.data(), members.size());
        bench::barrier(program->insim());
    }
    standin::HttpConnection stream(webPort);
    stream.send("GET /events HTTP/1.1\r\n\r\n");
    if (!stream.nextEvent(kEventWaitMs)) bench::fail("the waiting member's page sent nothing");
    std::this_thread::sleep_for(std::chrono::seconds(1));  // both links connect on their own threads
    onOtherMachine(mate.pid());
    standin::OutGaugeSender gauge(on.outGaugePort());
    TeamResult result;
    std::uint32_t clock = 1000;
    double bytesBefore = 0;
    int race = 0, lines = 0;
    constexpr int kRacesUp = 3;
    playViewedLines({&off, &on, &mate}, 2 * kRacesUp, [&](const bench::RaceEvent& event, const IS_LAP& lap, bool advice) {
        if (event.lapsDone == 2 && race++ == kRacesUp) {
            result.bytesPerLap = (bytesSentTo(on.pid(), brokerPort) - bytesBefore) / lines;
            broker.kill();  // the races after: the broker gone
        }
        if (race == 1 && event.lapsDone == 2) bytesBefore = bytesSentTo(on.pid(), brokerPort);
        const bool up = race <= kRacesUp;
        (up ? result.offUp : result.offGone).push_back(timedLapLine(off, lap, 0, advice));
        timedLapLine(mate, lap, 0, advice);  // the member's own game sends the line too
        while (stream.nextEvent(0)) {
        }
        gauge.sendPacket(standin::makeOutGauge(clock += 100, 1.0f - 0.005f * event.lapsDone, event.plid));
        const auto start = Clock::now();
        (up ? result.up : result.gone).push_back(timedLapLine(on, lap, 0, advice));
        if (!up) return;
        ++lines;
        const std::string level = "{\"lap\":" + std::to_string(event.lapsDone) + ",\"percent\":";
        for (;;) {
            const std::optional<std::string> json = stream.nextEvent(kEventWaitMs);
            if (!json) bench::fail("the driver's level did not reach the waiting member's page");
            if (json->find(level) == std::string::npos) continue;
            result.page.push_back(bench::microsBetween(start, Clock::now()) / 1000.0);
            break;
        }
    });
    off.stop();
    on.stop();
    mate.stop();
    return result;
}

void teamRows(const Options& options) {
    const TeamResult run = teamRun(options);
    for (const bool up : {true, false}) {
        const std::vector<double>& on = up ? run.up : run.gone;
        const std::vector<double>& off = up ? run.offUp : run.offGone;
        const double on99 = bench::percentile(on, 0.99), off99 = bench::percentile(off, 0.99);
        row(std::string("7 lap line -> board, team link on, broker ") + (up ? "up" : "gone") + ", p99 us", fixed(on99, 1),
            fixed(off99, 1) + " link off", fixed(on99 / off99, 2), "<= 1.1x link off", verdict(on99 <= 1.1 * off99));
    }
    const double p50 = bench::percentile(run.page, 0.50), p99 = bench::percentile(run.page, 0.99);
    row("7 driver's lap line -> level on the waiting member's page, p50 / p99 ms", fixed(p50, 2) + " / " + fixed(p99, 2),
        "-", "-", "<= 1000", verdict(p99 <= 1000));
    row("7 bytes sent to the broker a lap, mean of three 99-lap races", fixed(run.bytesPerLap, 0), "-", "-", "-", "-");
    note("7 team link", std::to_string(run.up.size() + run.gone.size()) + " lap lines of 6 races of 64 cars; a local "
         "mosquitto, killed after the third race; the waiting member's program fed the same races; the broker and "
         "it at the idle priority, as on machines of their own");
}

void pageRows(const Options& options) {
    const PageResult one = pageRun(options, 2, 1);
    const PageResult all = pageRun(options, 2, 16);
    for (const PageResult* run : {&one, &all}) {
        const std::string clients = run == &one ? "1 client" : "16 clients";
        const double p50 = bench::percentile(run->event, 0.50), p99 = bench::percentile(run->event, 0.99);
        row("6 lap line -> event at the page, " + clients + ", p50 / p99 ms", fixed(p50, 2) + " / " + fixed(p99, 2), "-",
            "-", "p99 <= 5", verdict(p99 <= 5.0));
    }
    const double on99 = bench::percentile(all.on, 0.99), off99 = bench::percentile(all.off, 0.99);
    row("6 lap line -> board, page on with 16 clients, p99 us", fixed(on99, 1), fixed(off99, 1) + " page off",
        fixed(on99 / off99, 2), "<= 1.1x page off", verdict(on99 <= 1.1 * off99));
    row("6 idle CPU, page on with 16 clients, % of a core", fixed(all.idleOn, 4), fixed(all.idleOff, 4) + " page off",
        all.idleOff > 0 ? fixed(all.idleOn / all.idleOff, 2) : "-", "<= 1.5x page off",
        verdict(all.idleOn <= 1.5 * std::max(all.idleOff, 0.01)));
    row("6 peak RSS (VmHWM), page on with 16 clients, MB", fixed(all.peakOnMb, 1), fixed(all.peakOffMb, 1) + " page off",
        fixed(all.peakOnMb / all.peakOffMb, 2), "< 24", verdict(all.peakOnMb < 24));
}

void latencyRows(const std::string& what, const std::string& how, const LatencySamples& samples, bool press) {
    const double p50 = bench::percentile(samples.program, 0.50);
    const double p99 = bench::percentile(samples.program, 0.99);
    const double echo50 = bench::percentile(samples.echoOneSend, 0.50);
    const double echo99 = bench::percentile(samples.echoOneSend, 0.99);
    const double same50 = bench::percentile(samples.echoSameSends, 0.50);
    const double same99 = bench::percentile(samples.echoSameSends, 0.99);
    row("1 " + what + ", p50 us", fixed(p50, 1), fixed(echo50, 1) + " echo", fixed(p50 / echo50, 2), "-", "-");
    const bool met = p99 <= 3 * echo99 && (!press || p99 < 1000);
    row("1 " + what + ", p99 us", fixed(p99, 1), fixed(echo99, 1) + " echo", fixed(p99 / echo99, 2),
        press ? "<= 3x echo, < 1000" : "<= 3x echo", verdict(met));
    row("1 " + what + ", p50 / p99 us", fixed(p50, 1) + " / " + fixed(p99, 1),
        fixed(same50, 1) + " / " + fixed(same99, 1) + " echo, same sends", fixed(p99 / same99, 2), "-", "-");
    note("1 " + what, std::to_string(samples.program.size()) + " lap lines (" + how +
                          "), each sent 200 us after the program went idle and followed by the two echo round trips "
                          "with the same reply size; timed to the last byte (SO_RCVLOWAT)");
}

// ---- 2. throughput and 4. memory ----

struct RaceStream {
    std::vector<std::uint8_t> bytes;
    std::vector<std::size_t> packetEnds;       // one send per packet, as the simulator sends them
    std::vector<std::size_t> viewedKeepAlives;  // packet index of the keep-alive behind each viewed lap line
    std::vector<std::uint32_t> viewedLapTimes;  // ETime of each viewed lap line, for the OutGauge Time
};

// IS_STA, IS_RST, every lap and split, a keep-alive after each viewed lap line (its reply tells the
// harness when to send that lap line's OutGauge datagram) and one at the end.
RaceStream longRaceStream(const bench::RaceShape& shape) {
    RaceStream stream;
    const auto add = [&stream](const auto& packet) {
        bench::appendBytes(stream.bytes, packet);
        stream.packetEnds.push_back(stream.bytes.size());
    };
    add(standin::makeSta(shape.viewedPlid, kRace, static_cast<byte>(shape.laps)));
    add(standin::makeRst(static_cast<byte>(shape.laps), 0));
    for (const bench::RaceEvent& event : bench::raceEvents(shape)) {
        if (event.isLap) {
            add(bench::lapPacket(event));
        } else {
            add(bench::splitPacket(event));
        }
        if (event.isLap && event.plid == shape.viewedPlid) {
            stream.viewedKeepAlives.push_back(stream.packetEnds.size());
            add(standin::makeTiny(TINY_NONE));
            stream.viewedLapTimes.push_back(event.elapsed);
        }
    }
    add(standin::makeTiny(TINY_NONE));
    return stream;
}

// Counts what the reader thread has seen (keep-alive replies, or races read whole) for the writer.
class Progress {
public:
    void advance() {
        std::lock_guard lock(mutex_);
        at_ = Clock::now();
        ++count_;
        changed_.notify_all();
    }
    Clock::time_point waitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return count_ >= count; });
        return at_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t count_ = 0;
    Clock::time_point at_;
};

// Writes the race packet by packet. With `replies`, it waits behind each viewed lap line's keep-alive
// until the reader has seen the reply and sent the lap line's datagram: the reading then reaches the
// program after that lap line and before the next, as it does from the simulator.
void writeStream(standin::InSimHost& link, const RaceStream& stream, Progress* replies, std::size_t repliesBefore) {
    std::size_t begin = 0;
    std::size_t nextViewed = 0;
    for (std::size_t index = 0; index < stream.packetEnds.size(); ++index) {
        const std::size_t end = stream.packetEnds[index];
        bench::sendAll(link, stream.bytes.data() + begin, end - begin);
        begin = end;
        if (replies != nullptr && nextViewed < stream.viewedKeepAlives.size() &&
            stream.viewedKeepAlives[nextViewed] == index) {
            replies->waitFor(repliesBefore + ++nextViewed);
        }
    }
}

struct ThroughputResult {
    std::vector<double> packetsPerSecond;
    bench::Memory afterFirst, afterLast;
    std::size_t batches = 0;  // "/press" batches over all races
};

// The program, or with `mode` the floor that makes only the program's own calls, behind the same writer.
ThroughputResult programThroughput(const std::string& binary, const std::string& mode, const RaceStream& stream,
                                   int races) {
    bench::ProgramUnderTest program(binary, mode);
    standin::OutGaugeSender outGauge(program.outGaugePort());
    Progress replies;
    std::atomic<std::size_t> closingPresses{0};
    const std::size_t perRace = stream.viewedLapTimes.size() + 1;
    std::thread reader([&] {
        for (int race = 0; race < races; ++race) {
            for (std::size_t reply = 0; reply < perRace; ++reply) {
                for (;;) {  // everything up to the next keep-alive reply
                    const standin::Packet packet = bench::nextPacket(program.insim());
                    // Every batch opens and closes with "/press F12".
                    static constexpr char kClosing[] = "/press F12";  // with its terminator
                    if (packet[1] == ISP_MST && packet.size() == sizeof(IS_MST) &&
                        std::memcmp(&packet[4], kClosing, sizeof kClosing) == 0) {
                        ++closingPresses;
                    }
                    if (packet.size() == sizeof(IS_TINY) && packet[1] == ISP_TINY) break;
                }
                if (reply + 1 < perRace) {
                    outGauge.sendPacket(standin::makeOutGauge(stream.viewedLapTimes[reply] + 300,
                                                              bench::longRaceFuel(static_cast<int>(reply) + 1)));
                }
                replies.advance();
            }
        }
    });
    ThroughputResult result;
    for (int race = 0; race < races; ++race) {
        const std::size_t before = static_cast<std::size_t>(race) * perRace;
        const auto start = Clock::now();
        writeStream(program.insim(), stream, &replies, before);
        const auto end = replies.waitFor(before + perRace);
        result.packetsPerSecond.push_back(static_cast<double>(stream.packetEnds.size()) /
                                          (bench::microsBetween(start, end) / 1e6));
        if (race == 0) result.afterFirst = bench::readMemory(program.pid());
        if (race + 1 == races) result.afterLast = bench::readMemory(program.pid());
    }
    reader.join();
    result.batches = closingPresses / 2;
    program.stop();
    return result;
}

ThroughputResult floorThroughput(const Options& options, const RaceStream& stream, int races) {
    standin::InSimHost link;
    standin::ProgramRunner floor(options.floor);
    bench::startFloor(floor, {"reader", std::to_string(link.port()), std::to_string(stream.bytes.size())}, link);
    Progress racesRead;
    std::thread acks([&] {
        for (int race = 0; race < races; ++race) {
            std::uint8_t ack = 0;
            bench::receiveExactly(link, &ack, 1);
            racesRead.advance();
        }
    });
    ThroughputResult result;
    for (int race = 0; race < races; ++race) {
        const auto start = Clock::now();
        writeStream(link, stream, nullptr, 0);
        const auto end = racesRead.waitFor(static_cast<std::size_t>(race) + 1);
        result.packetsPerSecond.push_back(static_cast<double>(stream.packetEnds.size()) /
                                          (bench::microsBetween(start, end) / 1e6));
        if (race == 0) result.afterFirst = bench::readMemory(floor.pid());
        if (race + 1 == races) result.afterLast = bench::readMemory(floor.pid());
    }
    acks.join();
    return result;
}

// ---- 3. idle ----

struct IdleResult {
    double programPercent = 0, floorPercent = 0, loopPercent = 0;
    std::uint64_t programTicks = 0, floorTicks = 0;
};

// Connected in a race, late (the lap store nearly full), no InSim traffic, OutGauge at 10 datagrams
// a second for 10 s. The bare wait loop and the loop's own calls run beside it, the same datagrams
// reaching all three at the same time.
constexpr int kIdleAfterLaps = 90;

double percentOfCore(const bench::CpuTime& before, const bench::CpuTime& after, double seconds) {
    return static_cast<double>(after.runNs - before.runNs) / 1e9 / seconds * 100;
}

IdleResult idleCost(const Options& options) {
    bench::ProgramUnderTest program(options.program);
    bench::RaceShape shape;
    shape.laps = kIdleAfterLaps;
    shape.splitsPerLap = 0;
    std::vector<std::uint8_t> start;
    bench::appendBytes(start, standin::makeSta(shape.viewedPlid, kRace, kRaceLaps));
    bench::appendBytes(start, standin::makeRst(kRaceLaps, 0));
    for (const bench::RaceEvent& event : bench::raceEvents(shape)) bench::appendPacket(start, event);
    bench::sendAll(program.insim(), start.data(), start.size());
    bench::barrier(program.insim());
    bench::ProgramUnderTest loop(options.floor, "loop");

    standin::InSimHost floorLink;
    const std::uint16_t floorUdp = standin::freePort(true);
    standin::ProgramRunner floor(options.floor);
    bench::startFloor(floor, {"idle", std::to_string(floorLink.port()), std::to_string(floorUdp)}, floorLink);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // all settled in their waits

    standin::OutGaugeSender toProgram(program.outGaugePort()), toFloor(floorUdp), toLoop(loop.outGaugePort());
    const bench::CpuTime programBefore = bench::readCpu(program.pid());
    const bench::CpuTime floorBefore = bench::readCpu(floor.pid());
    const bench::CpuTime loopBefore = bench::readCpu(loop.pid());
    const auto begin = Clock::now();
    std::uint32_t time = 300000;
    for (int tick = 1; tick <= 100; ++tick) {
        std::this_thread::sleep_until(begin + std::chrono::milliseconds(100 * tick));
        const OutGaugePack pack = standin::makeOutGauge(time += 100, 0.5f, shape.viewedPlid);
        toProgram.sendPacket(pack);
        toFloor.sendPacket(pack);
        toLoop.sendPacket(pack);
    }
    const double seconds = bench::microsBetween(begin, Clock::now()) / 1e6;
    const bench::CpuTime programAfter = bench::readCpu(program.pid());
    const bench::CpuTime floorAfter = bench::readCpu(floor.pid());
    const bench::CpuTime loopAfter = bench::readCpu(loop.pid());

    IdleResult result;
    result.programPercent = percentOfCore(programBefore, programAfter, seconds);
    result.floorPercent = percentOfCore(floorBefore, floorAfter, seconds);
    result.loopPercent = percentOfCore(loopBefore, loopAfter, seconds);
    result.programTicks = programAfter.ticks - programBefore.ticks;
    result.floorTicks = floorAfter.ticks - floorBefore.ticks;
    loop.stop();
    program.stop();
    return result;
}

// Before the simulator is there: the program tries to connect every 100 ms, measured for 5 s from the
// moment it printed "Waiting for InSim... ", beside the floor that retries the same way.
IdleResult waitingCost(const Options& options) {
    const std::uint16_t port = standin::freePort(false);  // nobody listens there
    standin::ProgramRunner program(options.program), floor(options.floor);
    if (!program.start(standin::portsConfig(port, standin::freePort(true)))) bench::fail(program.startError());
    if (!program.waitForOutput("Waiting for InSim... ", 10000)) bench::fail("the program did not wait for InSim");
    if (!floor.start(std::nullopt, {"connect", std::to_string(port)})) bench::fail(floor.startError());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both settled in their retries
    const bench::CpuTime programBefore = bench::readCpu(program.pid());
    const bench::CpuTime floorBefore = bench::readCpu(floor.pid());
    const auto begin = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    const double seconds = bench::microsBetween(begin, Clock::now()) / 1e6;
    const bench::CpuTime programAfter = bench::readCpu(program.pid());
    const bench::CpuTime floorAfter = bench::readCpu(floor.pid());
    if (!program.running() || !floor.running()) bench::fail("the program or its floor stopped waiting");
    IdleResult result;
    result.programPercent = percentOfCore(programBefore, programAfter, seconds);
    result.floorPercent = percentOfCore(floorBefore, floorAfter, seconds);
    result.programTicks = programAfter.ticks - programBefore.ticks;
    result.floorTicks = floorAfter.ticks - floorBefore.ticks;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_system PROGRAM FLOOR [latency|board|press|log|page|team|throughput|long|idle|waiting]\n");
        return 2;
    }
    // The children start in directories of their own: their paths must not depend on ours.
    const Options options{std::filesystem::absolute(argv[1]).string(), std::filesystem::absolute(argv[2]).string()};
    const std::string only = argc == 4 ? argv[3] : "";

    if (only.empty() || only == "latency" || only == "board") {
        latencyRows("lap line -> board", "52 races of 64 cars, lap lines 2 to 99, 96 bytes or 120 with the advice",
                    boardLatency(options, 52), false);
    }
    if (only.empty() || only == "latency" || only == "press") {
        latencyRows("lap line -> board + /press batch",
                    "834 races of 8 cars cut at lap 8, fuel halving every lap: lap lines 3 to 8 send the 99 % batch, "
                    "13,532 bytes, before the 120-byte board",
                    pressLatency(options, 834), true);
    }

    if (only.empty() || only == "page") pageRows(options);
    if (only.empty() || only == "team") teamRows(options);
    if (only.empty() || only == "latency" || only == "log") {
        const LogSamples samples = logLatency(options, 26);
        const double on50 = bench::percentile(samples.on, 0.50), off50 = bench::percentile(samples.off, 0.50);
        const double on99 = bench::percentile(samples.on, 0.99), off99 = bench::percentile(samples.off, 0.99);
        row("1 lap line -> board, race log on, p50 us", fixed(on50, 1), fixed(off50, 1) + " log off",
            fixed(on50 / off50, 2), "-", "-");
        row("1 lap line -> board, race log on, p99 us", fixed(on99, 1), fixed(off99, 1) + " log off",
            fixed(on99 / off99, 2), "<= 1.2x log off", verdict(on99 <= 1.2 * off99));
        note("1 lap line -> board, race log on", std::to_string(samples.on.size()) +
                 " lap lines of 26 races of 64 cars, each timed on a program with <Log dir=\"logs\"/> and on one "
                 "without, in turn, the first of the two alternating; every lap line of the race writes its row");
    }

    if (only.empty() || only == "throughput") {
        constexpr int kRaces = 20;
        const RaceStream stream = longRaceStream(bench::RaceShape{});
        const ThroughputResult programRun = programThroughput(options.program, "", stream, kRaces);
        const ThroughputResult floorRun = floorThroughput(options, stream, kRaces);
        const ThroughputResult loopRun = programThroughput(options.floor, "loop", stream, kRaces);
        const double rate = bench::median(programRun.packetsPerSecond);
        const double floorRate = bench::median(floorRun.packetsPerSecond);
        const double loopRate = bench::median(loopRun.packetsPerSecond);
        row("2 throughput, InSim packets/s", fixed(rate, 0), fixed(floorRate, 0) + " reader",
            fixed(rate / floorRate, 2), ">= 0.25 x reader", verdict(rate >= floorRate / 4));
        row("2 throughput, InSim packets/s", fixed(rate, 0), fixed(loopRate, 0) + " loop's own calls",
            fixed(rate / loopRate, 2), "-", "-");
        note("2 throughput", "64 cars x 99 laps, " + std::to_string(stream.packetEnds.size()) +
                                 " packets a race, one send each; median of " + std::to_string(kRaces) +
                                 " races; the program's console to a pipe the harness reads; " +
                                 std::to_string(programRun.batches) + " /press batches in all. The loop's own calls: per packet the 100 ms wait, "
                                 "header and rest each in one receive, a flushed line per lap, the UDP look "
                                 "(a select and, with a datagram, a receive), none of the race logic");

        const double peakMb = static_cast<double>(programRun.afterFirst.peakKb) / 1024;
        const double floorPeakMb = static_cast<double>(floorRun.afterFirst.peakKb) / 1024;
        row("4 peak RSS (VmHWM) after a 99-lap race, MB", fixed(peakMb, 1), fixed(floorPeakMb, 1) + " reader",
            fixed(peakMb / floorPeakMb, 2), "< 16", verdict(peakMb < 16));
        const long rssGrowth = programRun.afterLast.residentKb - programRun.afterFirst.residentKb;
        const long peakGrowth = programRun.afterLast.peakKb - programRun.afterFirst.peakKb;
        row("4 growth race 1 -> 20, Rss / VmHWM KB", std::to_string(rssGrowth) + " / " + std::to_string(peakGrowth),
            std::to_string(floorRun.afterLast.residentKb - floorRun.afterFirst.residentKb) + " / " +
                std::to_string(floorRun.afterLast.peakKb - floorRun.afterFirst.peakKb) + " reader",
            "-", "no growth", verdict(rssGrowth <= 0));
    }

    if (only.empty() || only == "long") {
        const LongRaceResult timed = longRace(options);
        const double peakMb = static_cast<double>(timed.peakKb) / 1024;
        row("4 peak RSS (VmHWM) after a 48-hour race, MB", fixed(peakMb, 1), "-", "-", "< 16", verdict(peakMb < 16));
        const double early50 = bench::percentile(timed.early, 0.50), early99 = bench::percentile(timed.early, 0.99);
        const double late50 = bench::percentile(timed.late, 0.50), late99 = bench::percentile(timed.late, 0.99);
        row("1 lap line -> board, 48-hour race, last 98 laps, p50 / p99 us", fixed(late50, 1) + " / " + fixed(late99, 1),
            fixed(early50, 1) + " / " + fixed(early99, 1) + " laps 2 to 99", fixed(late50 / early50, 2), "-", "-");
        note("4 peak RSS after a 48-hour race",
             "<Race long=\"1\"/>, RaceLaps 238: 64 cars lapping in 50 to 59 s, 2,880 laps each (184,320 lap "
             "records stored), splits left out; the viewed car's lap lines 2 to 99 and its last 98 timed as above");
    }
    if (only.empty() || only == "idle") {
        const IdleResult idle = idleCost(options);
        const long hz = bench::clockTicksPerSecond();
        row("3 idle CPU, % of a core", fixed(idle.programPercent, 4), fixed(idle.floorPercent, 4) + " wait loop",
            fixed(idle.programPercent / std::max(idle.floorPercent, 1e-9), 2), "< 0.1",
            verdict(idle.programPercent < 0.1));
        row("3 idle CPU, % of a core", fixed(idle.programPercent, 4),
            fixed(idle.loopPercent, 4) + " loop's own calls",
            fixed(idle.programPercent / std::max(idle.loopPercent, 1e-9), 2), "-", "-");
        note("3 idle CPU", "after " + std::to_string(kIdleAfterLaps) +
                               " laps of 64 cars, 10 s without InSim traffic, OutGauge 10/s; the wait loop: poll "
                               "and a receive without waiting; the loop's own calls: the program's select, UDP "
                               "select and receive; time on CPU from schedstat (utime+stime: " +
                               std::to_string(idle.programTicks) + " / " + std::to_string(idle.floorTicks) +
                               " ticks of 1/" + std::to_string(hz) + " s)");
    }
    if (only.empty() || only == "idle" || only == "waiting") {
        const IdleResult waiting = waitingCost(options);
        row("3 CPU waiting for the simulator, % of a core", fixed(waiting.programPercent, 4),
            fixed(waiting.floorPercent, 4) + " connect retry",
            fixed(waiting.programPercent / std::max(waiting.floorPercent, 1e-9), 2), "-", "-");
        note("3 CPU waiting", "5 s before the simulator is there, from \"Waiting for InSim... \" on; the connect "
                              "retry: a fresh socket and a refused connect every 100 ms; time on CPU from schedstat "
                              "(utime+stime: " + std::to_string(waiting.programTicks) + " / " +
                              std::to_string(waiting.floorTicks) + " ticks)");
    }
    return 0;
}
