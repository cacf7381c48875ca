// Writes the seed inputs of the three fuzz targets: sessions played by the stand-in's race model,
// hand-made odd sessions under default and opt-in settings, and settings files.
// Usage: fuzz_seeds <corpus dir> <scenario dir>; files are seed-*.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "fuzz_seeds/outgauge_input.h"
#include "fuzz_seeds/settings_prefix.h"
#include "standin/packets.h"
#include "standin/race_model.h"
#include "standin/scenario.h"

namespace {

using namespace standin;
using fuzzing::appendRaw;

// One scenario as the simulator would play it: packets on the InSim stream and OutGauge datagrams,
// under the settings of its prefix. Set `fours` before the first packet for InSim 9 and 10.
struct Scenario {
    std::string settings = fuzzing::writePrefix({});
    bool fours = false;    // Size bytes count fours
    std::string stream;    // InSim bytes only: the input of the stream target
    std::string steps;     // packets and datagrams: the input of the OutGauge target

    template <class Packet>
    void packet(const Packet& p) {
        std::string bytes;
        appendRaw(bytes, p);
        raw(bytes);
    }
    void raw(std::string bytes) {  // packet bytes as they stand in bytes, however malformed
        if (fours && !bytes.empty()) bytes[0] = static_cast<char>(static_cast<unsigned char>(bytes[0]) / 4);
        stream += bytes;
        steps += static_cast<char>(fuzzing::kOpPacket);
        steps += bytes;
    }
    void gauge(std::uint32_t time, float fuel) { fuzzing::appendGaugeStep(steps, time, fuel); }
    void linkLost() { steps += static_cast<char>(fuzzing::kOpLinkLost); }  // the stream goes on as if nothing was lost
    void datagram(const std::string& bytes) { fuzzing::appendDatagramStep(steps, bytes); }
};

// A race of `laps` laps with `cars` cars; the viewed car's fuel falls by `use` a lap from `startFuel`.
// `played`: the laps played of it, all when 0.
void playRace(Scenario& s, byte laps, byte cars, byte viewed, float startFuel, float use, std::uint32_t& clock,
              word flags = 0, byte penalty = 0, word played = 0) {
    s.packet(makeRst(laps, 0, flags));
    s.packet(makeSta(viewed, 1, laps));
    for (word lap = 1; lap <= (played != 0 ? played : laps); ++lap) {
        for (byte car = 1; car <= cars; ++car) {
            // Cars swap places now and then, so boards change colour.
            const byte plid = (lap % 3 == 0 && car <= 2) ? static_cast<byte>(3 - car) : car;
            clock += 700;
            // The penalty given shows on one board, a stop-go and an unknown kind on the next two.
            byte given = 0;
            if (plid == viewed && penalty != 0 && lap == laps / 2) given = penalty;
            if (plid == viewed && penalty != 0 && lap == laps / 2 + 1) given = PENALTY_SG_VALID;
            if (plid == viewed && penalty != 0 && lap == laps / 2 + 2) given = 7;
            s.packet(makeLap(plid, 60000 + plid * 90 + lap * 13, lap * 61000u + car * 700u, lap, given));
            if (plid == viewed) {
                s.gauge(clock, startFuel - use * lap);
                s.packet(makeSpx(viewed, 20000, lap * 61000u + 20000));
            }
        }
        s.packet(makeTiny(TINY_NONE, static_cast<byte>(lap)));
        clock += 5000;
        s.gauge(clock, startFuel - use * lap);
    }
}

std::string unknownPacket(byte size, byte type) {
    std::string bytes(size < 4 ? 4 : size, '\x5a');
    bytes[0] = static_cast<char>(size);
    bytes[1] = static_cast<char>(type);
    return bytes;
}

std::vector<std::pair<std::string, Scenario>> scenarios() {
    std::vector<std::pair<std::string, Scenario>> all;
    std::uint32_t clock = 100000;

    Scenario race;  // runs short of fuel: PIT, the "/press" batch, LAST LAP and FINISHED
    playRace(race, 10, 6, 3, 0.5f, 0.1f, clock);
    race.packet(makeSta(3, 0, 10));
    all.emplace_back("race", race);

    // A long race at InSim 9, sizes in fours, the fuel averaged over laps with a reserve to the flag.
    Scenario longRace;
    longRace.settings = fuzzing::writePrefix({{"version", 5}, {"long", 1}, {"average", 4}, {"reserve", 51},
                                              {"fill", 1}, {"longAverage", 1}, {"level", 2}});
    longRace.fours = true;
    playRace(longRace, 101, 2, 1, 0.9f, 0.03f, clock, 0, 0, 30);
    all.emplace_back("long-race-v9", longRace);

    // A timed race at InSim 10 with the race log and every other fuel rule.
    Scenario timed;
    timed.settings = fuzzing::writePrefix({{"version", 6}, {"long", 1}, {"log", 1}, {"racing", 10}, {"topUp", 1},
                                           {"round", 1}, {"stopSeconds", 13}, {"level", 1}});
    timed.fours = true;
    playRace(timed, 191, 3, 2, 0.6f, 0.04f, clock, 0, 0, 25);
    all.emplace_back("timed-race-v10-log", timed);

    Scenario mustPit;  // mandatory stop, penalties, a lap beyond the race length
    mustPit.settings = fuzzing::writePrefix({{"timeout", 2000}});
    playRace(mustPit, 8, 4, 2, 0.9f, 0.02f, clock, HOSTF_MUST_PIT, PENALTY_DT_VALID);
    mustPit.packet(makeLap(2, 60000, 9 * 61000, 9, PENALTY_SG_VALID));
    mustPit.packet(makeLap(1, 60000, 9 * 61000, 9));
    all.emplace_back("must-pit", mustPit);

    Scenario qualifying;
    qualifying.packet(makeRst(0, 20));
    qualifying.packet(makeSta(2, 2, 0));
    qualifying.packet(makeRes(2, 91000, 1, 255));  // the viewed player's first result did not improve
    qualifying.packet(makeRes(3, 0, 1, 2));        // a result without a best lap
    for (byte round = 0; round < 3; ++round) {
        for (byte plid = 1; plid <= 5; ++plid) {
            qualifying.packet(makeLap(plid, 90000u - round * 500u + plid * 300u, 0, round + 1));
            qualifying.packet(makeRes(plid, 90000u - round * 500u + plid * 300u, round + 1,
                                      plid == 4 ? 255 : static_cast<byte>(plid - 1)));
            qualifying.gauge(clock += 3000, 0.5f);
        }
    }
    qualifying.packet(makeRes(2, 1, 4, 0));
    qualifying.packet(makeLap(2, 88000, 0, 4));
    qualifying.packet(makeRst(0, 10));  // a new qualifying replaces the store
    qualifying.packet(makeRst(3, 0));   // a race after it keeps the old one
    qualifying.packet(makeSta(2, 0, 0));
    all.emplace_back("qualifying", qualifying);

    Scenario fullBlock;  // 66 cars on one lap: the 65th and 66th are refused
    fullBlock.packet(makeRst(2, 0));
    fullBlock.packet(makeSta(66, 1, 2));
    for (word lap = 1; lap <= 2; ++lap) {
        for (int car = 1; car <= 66; ++car) fullBlock.packet(makeLap(static_cast<byte>(car), 61000, lap * 61000u + car, lap));
        fullBlock.gauge(clock += 1000, 0.4f);
    }
    all.emplace_back("full-block", fullBlock);

    Scenario disagree;  // the state reports another race length than the restart, then odd restarts
    disagree.packet(makeRst(3, 0));
    disagree.packet(makeSta(1, 1, 99));
    for (word lap = 1; lap <= 6; ++lap) {
        disagree.packet(makeLap(1, 61000, lap * 61000u, lap));
        disagree.gauge(clock += 1000, 0.3f);
    }
    disagree.packet(makeLap(1, 61000, 0, 0));
    disagree.packet(makeLap(1, 61000, 0, 65535));
    disagree.packet(makeRst(100, 0));
    disagree.packet(makeRst(0, 0, HOSTF_MUST_PIT));
    disagree.packet(makeRst(255, 255));
    disagree.packet(makeLap(1, 61000, 0, 1));
    disagree.packet(makeSta(1, 7, 3));
    all.emplace_back("race-lengths-disagree", disagree);

    Scenario odd;  // packets the program reads and drops, and a stream that ends inside a packet
    odd.packet(makeTiny(7));
    odd.raw(unknownPacket(40, 36));
    odd.raw(unknownPacket(4, 99));
    odd.raw(unknownPacket(0, 200));
    odd.raw(unknownPacket(2, 0));
    odd.raw(unknownPacket(255, 2));
    odd.packet(makeVer(5));
    odd.packet(makeRst(4, 0));
    odd.packet(makeSta(0, 1, 4));
    odd.packet(makeLap(0, 61000, 61000, 1));
    odd.packet(makeSpx(0));
    odd.raw(std::string("\x14\x18\x00\x01\x10\x27", 6));  // an IS_LAP cut short
    all.emplace_back("dropped-and-cut", odd);

    Scenario gauges;  // datagrams of every odd kind during a race
    gauges.settings = fuzzing::writePrefix({{"timeout", 0xFFFFFFFFu}});
    gauges.packet(makeRst(6, 0));
    gauges.packet(makeSta(5, 1, 6));
    const float readings[] = {std::numeric_limits<float>::quiet_NaN(), -0.25f, std::numeric_limits<float>::infinity(),
                              1e30f, 0.0f, 0.75f};
    std::uint32_t time = 0xFFFFF000u;  // the clock wraps during the race
    for (word lap = 1; lap <= 6; ++lap) {
        gauges.packet(makeLap(5, 61000, lap * 61000u, lap));
        gauges.datagram(std::string(96, '\x01'));
        gauges.datagram(std::string());
        gauges.datagram(std::string(91, '\x02'));
        gauges.datagram(std::string(512, '\x03'));
        gauges.gauge(time += 1500, readings[lap - 1]);
    }
    all.emplace_back("odd-datagrams", gauges);

    // Fuel short at lap lines 3 to 9, and between the lines what the pit guard follows: the F12 screen,
    // a dialog, a stop in the box, a text entry and a view away and back, each ended again.
    Scenario guard;
    guard.settings = fuzzing::writePrefix({{"version", 4}, {"guard", 1}});
    guard.packet(makeRst(12, 0));
    guard.packet(makeSta(3, 1, 12));
    const auto state = [](byte viewed, word flags) {
        IS_STA sta = makeSta(viewed, 1, 12);
        sta.Flags = flags;
        return sta;
    };
    const std::string plainView("\x08\x40\x00\x00\x00\x00\x00\x00", 8), pitScreen("\x08\x40\x00\x00\x00\x04\x00\x00", 8);
    const std::string pitStop = std::string("\x18\x1a\x00\x03\x00\x00\x00\x00\x28", 9) + std::string(15, '\0');  // 40%
    const std::string stopFinished = std::string("\x0c\x1b\x00\x03", 4) + std::string(8, '\0');
    for (word lap = 1; lap <= 12; ++lap) {
        for (byte car = 1; car <= 3; ++car) {
            guard.packet(makeLap(car, 60000, lap * 61000u + car * 700u, lap));
            if (car == 3) guard.gauge(clock += 700, 0.55f - 0.1f * lap);
        }
        if (lap == 2) guard.raw(pitScreen);
        if (lap == 3) guard.raw(plainView);
        if (lap == 4) guard.packet(state(3, ISS_DIALOG));
        if (lap == 5) {
            guard.packet(state(3, 0));
            guard.raw(pitStop);
        }
        if (lap == 6) {
            guard.raw(stopFinished);
            guard.packet(state(3, ISS_TEXT_ENTRY));
        }
        if (lap == 7) {
            guard.packet(state(2, ISS_TEXT_ENTRY));  // the view away: the held amount dropped
            guard.packet(state(3, 0));
        }
    }
    guard.raw(std::string("\x08\x1a\x00\x03\x00\x00\x00\x00", 8));  // an IS_PIT whose Size says 8
    guard.raw(std::string("\x08\x1c\x00\x03\x00\x00\x00\x00", 8));  // IS_PLA: out of the pit lane
    all.emplace_back("pit-guard", guard);

    // The guard with join and reconnect: a team mate in the car, then the local driver; an amount held
    // behind the F12 screen when the link is lost at lap 5, the answers of the new handshake (the same race,
    // lap 6 and a stop in it missed), and the race to its flag and a line beyond.
    Scenario lost;
    lost.settings = fuzzing::writePrefix({{"version", 4}, {"guard", 1}, {"join", 1}, {"reconnect", 1}});
    const auto driver = [&lost](byte ucid) {  // of car 3
        IS_NPL player{};
        player.Size = sizeof player, player.Type = ISP_NPL, player.ReqI = 2, player.PLID = 3, player.UCID = ucid;
        lost.packet(player);
    };
    const auto answers = [&lost, &driver](word lapOn, byte ucid) {  // what the game answers the requests of a handshake
        lost.packet(makeSta(3, 1, 10));
        IS_RST answer = makeRst(10, 0);
        answer.ReqI = 2;
        lost.packet(answer);
        IS_NCN local{};  // UCID 0, not remote
        local.Size = sizeof local, local.Type = ISP_NCN, local.ReqI = 2;
        lost.packet(local);
        driver(ucid);
        std::string nodeLaps("\x10\x25\x02\x02", 4);  // IS_NLP of two cars
        for (const byte car : {3, 4}) appendRaw(nodeLaps, NodeLap{0, lapOn, car, 0});
        lost.raw(nodeLaps);
    };
    answers(1, 5);
    for (word lap = 1; lap <= 11; ++lap) {
        if (lap == 6) continue;  // driven while the link was down
        for (const byte car : {4, 3}) {
            lost.packet(makeLap(car, 60000, lap * 61000u + car * 700u, lap, 0, car == 3 && lap > 6 ? 1 : 0));
        }
        lost.gauge(clock += 700, (lap < 6 ? 0.55f : 1.15f) - 0.1f * lap);  // a stop in lap 6, unseen
        if (lap == 3) driver(0);  // the car handed to the local driver
        if (lap == 4) lost.raw(pitScreen);
        if (lap == 5) {
            lost.linkLost();
            answers(7, 0);
        }
        if (lap == 8) lost.raw(plainView);
    }
    all.emplace_back("lost-link", lost);

    return all;
}

// A seed stays small so the fuzzer mutates it quickly: a session is cut after this many bytes.
constexpr std::size_t kMaxSeedBytes = 8000;

// What the race model sends for a scenario file: every InSim packet, and of the datagrams only the
// first after each packet, as the program takes at most one per loop turn.
Scenario modelScenario(const std::filesystem::path& file) {
    Scenario s;
    s.settings = fuzzing::writePrefix({{"version", 4}, {"guard", 1}});  // InSim 8, as connected below
    const ParseResult parsed = loadScenario(file.string());
    if (!parsed.scenario) {
        std::fprintf(stderr, "%s\n", parsed.error.c_str());
        std::exit(1);
    }
    RaceModel model(*parsed.scenario, 1);
    model.connected(8, 10000);  // a program of InSim 8: the driver's screen changes go out as IS_CIM
    bool datagramTaken = false;
    while (auto event = model.next()) {
        if (s.steps.size() > kMaxSeedBytes) break;
        if (event->kind == ModelEvent::Kind::InSim) {
            const std::string bytes(event->bytes.begin(), event->bytes.end());
            s.raw(bytes);
            datagramTaken = false;
        } else if (event->kind == ModelEvent::Kind::OutGauge && !datagramTaken) {
            if (event->bytes.size() == sizeof(OutGaugePack)) {  // only Time and Fuel are read: the short form
                OutGaugePack pack;
                std::memcpy(&pack, event->bytes.data(), sizeof pack);
                s.gauge(pack.Time, pack.Fuel);
            } else {
                s.datagram(std::string(event->bytes.begin(), event->bytes.end()));
            }
            datagramTaken = true;
        }
    }
    return s;
}

const char* const kConfigs[][2] = {
    {"full", "<Config>\n  <InSim port=\"29999\"/>\n  <OutGauge port=\"30000\"/>\n  <Password value=\"secret\"/>\n"
             "  <BoardTimeOut value=\"20\"/>\n  <LFSExec location=\"C:\\LFS\\\" start=\"1\" InvokeInSim=\"\"/>\n"
             "</Config>\n"},
    {"empty", ""},
    {"missing-attributes", "<Config><InSim/><OutGauge/><Password/><BoardTimeOut/><LFSExec/></Config>"},
    {"twice-and-end-tags", "<a><InSim port=\"1\"></InSim><InSim port='2'/><BoardTimeOut value=\"-5\"></BoardTimeOut>"
                           "<LFSExec start=\"2\" InvokeInSim=\"0\" location=\"\"/></a>"},
    {"hostile-numbers", "<x><InSim port=\"99999999999\"/><OutGauge port=\"-12501\"/>"
                        "<BoardTimeOut value=\"2147483647\"/><BoardTimeOut value=\"abc\"/></x>"},
    {"entities-and-comments", "<?xml version=\"1.0\"?><!-- c --><!DOCTYPE x><Config><Password value=\"&lt;&amp;&gt;&quot;&apos;\"/>"
                              "<![CDATA[<InSim port=\"5\"/>]]><LFSExec location=\"&#65;\"/></Config>"},
    {"unclosed", "<Config><InSim port=\"12\" <OutGauge port=\"7"},
    {"opt-in", "<Config><InSim port=\"12500\" version=\"8\" ver=\"9\"/><OutGauge interval=\"500\"/><Pit guard=\"1\"/>"
               "<Race long=\"x\"/><Log dir=\"\"/><Fuel average=\"3\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" "
               "level=\"both\" topUp=\"2\" longAverage=\"30\" round=\"nearest\" stopSeconds=\"30\" avg=\"1\"/></Config>"},
};

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <corpus dir> <scenario dir>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const char* target : {"insim_stream", "insim_outgauge", "config_file"}) {
        std::filesystem::create_directories(root / target);
    }
    auto all = scenarios();
    for (const auto& file : std::filesystem::directory_iterator(argv[2])) {
        if (file.path().extension() == ".txt") all.emplace_back("model-" + file.path().stem().string(), modelScenario(file));
    }
    for (const auto& [name, scenario] : all) {
        writeFile(root / "insim_stream" / ("seed-" + name), scenario.settings + scenario.stream);
        writeFile(root / "insim_outgauge" / ("seed-" + name), scenario.settings + scenario.steps);
    }
    for (const auto& config : kConfigs) writeFile(root / "config_file" / (std::string("seed-") + config[0]), config[1]);
    // The same settings as UTF-16 with a byte order mark: the reader converts other encodings.
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string(kConfigs[0][1])) utf16 += std::string{c, '\0'};
    writeFile(root / "config_file" / "seed-utf16", utf16);
    return 0;
}
