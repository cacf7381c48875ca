// The fuzz targets' invariant checks: each catches what it is there for, the real handlers pass them,
// the seed inputs reach the boards and the "/press" batch, and every fault the fuzzers found stays fixed.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "fuzz/fuzz_input.h"
#include "fuzz/fuzz_session.h"
#include "standin/packets.h"
#include "strategy/fuel.h"
#include "strategy/pitboard.h"
#include "support/recording_port.h"

namespace {

using invariants::WireChecker;
using namespace standin;

std::string checkSends(std::initializer_list<std::string> sends) {
    WireChecker checker;
    for (const auto& bytes : sends) checker.send(bytes.data(), bytes.size());
    return checker.fault;
}

std::string buttonHeader(int clickId, int window) {
    return bytes({12 + window, ISP_BTN, clickId, 0, clickId, 0, ISB_DARK, 0, 10, 42 + 8 * clickId, 20, 10});
}

std::string mst(const std::string& text) {
    std::string packet = bytes({68, ISP_MST, 0, 0}) + text;
    packet.resize(68, '\0');
    return packet;
}

std::string pressBatch(int amount) {
    std::string batch = mst("/press F12");
    for (int i = 0; i < 99; ++i) batch += mst("/press left");
    for (int i = 1; i < amount; ++i) batch += mst("/press right");
    return batch + mst("/press F12");
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path corpus(const char* target) {
    return std::filesystem::path(STINTKEEPER_SOURCE_DIR) / "tests/fuzz/corpus" / target;
}

// Runs an input of the OutGauge target through a session that keeps its first fault, as the target does.
void replayOutGaugeInput(fuzzing::Session& session, const std::string& input) {
    fuzzing::Input in{reinterpret_cast<const std::uint8_t*>(input.data()), input.size()};
    if (const std::uint8_t* timeOut = in.take(4)) std::memcpy(&session.tracker.boardTimeOutMs, timeOut, 4);
    fuzzing::runOutGaugeInput(session, in);
    session.finish();
}

// Runs an input of the stream target.
void replayStream(fuzzing::Session& session, const std::string& input) {
    fuzzing::Input in{reinterpret_cast<const std::uint8_t*>(input.data()), input.size()};
    while (session.packetFrom(in)) {
    }
    session.finish();
}

}  // namespace

TEST(WireChecker, AcceptsWhatTheProgramSends) {
    EXPECT_EQ(checkSends({kClearButtons, bytes({4, 3, 0, 0})}), "");
    EXPECT_EQ(checkSends({buttonHeader(1, 16), std::string("L5/10 P3") + std::string(8, ' ')}), "");
    EXPECT_EQ(checkSends({buttonHeader(2, 20), std::string("-100^9/+120") + std::string(8, ' ') + '\0'}), "");
    EXPECT_EQ(checkSends({buttonHeader(4, 12), std::string("SET 38% F\0\0\0", 12)}), "");

    WireChecker checker;
    checker.write("Setting fuel to 38%\n");
    const std::string batch = pressBatch(38);
    checker.send(batch.data(), batch.size());
    EXPECT_EQ(checker.fault, "");
    EXPECT_EQ(checker.batches, 1u);
}

TEST(WireChecker, CatchesEveryMalformedSend) {
    EXPECT_EQ(checkSends({bytes({8, 42, 0, 2, 0, 0, 0, 0})}), "IS_BFN other than the 8 clear bytes");
    EXPECT_EQ(checkSends({bytes({4, 3, 1, 0})}), "IS_TINY other than the keep-alive reply");
    EXPECT_EQ(checkSends({buttonHeader(1, 20)}), "IS_BTN 1 with a window of 20");
    EXPECT_EQ(checkSends({buttonHeader(5, 16)}), "IS_BTN 5 with a window of 16");
    EXPECT_EQ(checkSends({buttonHeader(3, 16), std::string(15, ' ')}), "IS_BTN text of 15 bytes for a window of 16");
    EXPECT_EQ(checkSends({buttonHeader(3, 16), std::string("1:05.03\0 x      ", 16)}),
              "IS_BTN text window not zero-filled after its text");
    EXPECT_EQ(checkSends({buttonHeader(4, 12), std::string(12, 'A')}), "advice button empty or unterminated");
    EXPECT_EQ(checkSends({std::string(10, 'x')}), "unexpected send of 10 bytes");

    std::string header = buttonHeader(1, 16);
    header[8] = 11;  // L
    EXPECT_EQ(checkSends({header}), "IS_BTN header fields");

    WireChecker interrupted;
    const std::string open = buttonHeader(1, 16);
    interrupted.send(open.data(), open.size());
    interrupted.write("text\n");
    EXPECT_EQ(interrupted.fault, "console text between a button header and its text");

    WireChecker nul;
    nul.write(std::string("Sending advice:\0", 16));
    EXPECT_EQ(nul.fault, "console text with a NUL byte");
}

TEST(WireChecker, PressBatchMustSetOneToNinetyNinePercentInOrder) {
    std::string fault;
    EXPECT_EQ(invariants::checkPressBatch(
                  reinterpret_cast<const std::uint8_t*>(pressBatch(1).data()), pressBatch(1).size(), fault), 1u);
    EXPECT_EQ(fault, "");

    const std::string tooMany = pressBatch(100);
    EXPECT_EQ(invariants::checkPressBatch(reinterpret_cast<const std::uint8_t*>(tooMany.data()), tooMany.size(), fault), 0u);
    EXPECT_EQ(fault, "IS_MST batch of 200 packets: amount outside 1 to 99");

    std::string swapped = pressBatch(5);
    std::memcpy(swapped.data() + 100 * 68, mst("/press left").data(), 68);
    fault.clear();
    invariants::checkPressBatch(reinterpret_cast<const std::uint8_t*>(swapped.data()), swapped.size(), fault);
    EXPECT_EQ(fault, "IS_MST 100 of the batch reads \"/press left\"");

    std::string dirty = pressBatch(5);
    dirty[67] = 'x';  // after the terminator of the first command
    fault.clear();
    invariants::checkPressBatch(reinterpret_cast<const std::uint8_t*>(dirty.data()), dirty.size(), fault);
    EXPECT_EQ(fault, "IS_MST text not zero-filled");

    WireChecker unannounced;
    const std::string batch = pressBatch(38);
    unannounced.write("Setting fuel to 37%\n");
    unannounced.send(batch.data(), batch.size());
    EXPECT_EQ(unannounced.fault, "batch of amount 38 not announced by \"Setting fuel to 38%\n\"");
}

TEST(Invariants, RealBoardsAndBatchesPassTheChecker) {
    Tracker tracker;
    WireChecker checker;
    onRestart(tracker, makeRst(20, 0), checker);
    onState(tracker, makeSta(7, 1, 20), checker);
    for (word lap = 1; lap <= 19; ++lap) {
        onLap(tracker, makeLap(3, 61000, lap * 61000u, lap), checker);
        onLap(tracker, makeLap(7, 61500, lap * 61000u + 900, lap), checker);
        const OutGaugePack gauge = makeOutGauge(lap * 61000u, 1.0f - 0.06f * lap, 7);
        onOutGauge(tracker, &gauge, sizeof gauge, checker);
    }
    setPitFuel(tracker, 0.98f, checker);  // the cap
    EXPECT_EQ(checker.fault, "");
    EXPECT_EQ(invariants::checkTracker(tracker), "");
    EXPECT_GT(checker.batches, 1u);
    EXPECT_GT(checker.buttons, 50u);
}

TEST(Invariants, LapStoreChecksCatchWhatTheyGuard) {
    Tracker tracker;
    RecordingPort port;
    onRestart(tracker, makeRst(3, 0), port);
    LapBlock& block = *tracker.pLaps->block(1);
    block.laps[0] = makeLap(4, 1, 1, 2);
    EXPECT_EQ(invariants::checkLapStore(*tracker.pLaps), "block 1: slot 0 at or after arrivals is not empty");
    block.arrivals = 1;
    EXPECT_EQ(invariants::checkLapStore(*tracker.pLaps), "");
    block.laps[0].LapsDone = 3;
    EXPECT_EQ(invariants::checkLapStore(*tracker.pLaps), "block 1: record of lap 3");
    block.laps[0] = makeLap(0, 1, 1, 2);
    EXPECT_EQ(invariants::checkLapStore(*tracker.pLaps), "block 1: record 0 with PLID 0 ends the list early");
    block.laps[0] = makeLap(4, 1, 1, 2);
    block.fuel[5] = 0.5f;
    EXPECT_EQ(invariants::checkLapStore(*tracker.pLaps), "block 1: slot 5 at or after arrivals is not empty");
    block.fuel[5] = 0.0f;
    block.arrivals = 65;
    EXPECT_EQ(invariants::checkLapStore(*tracker.pLaps), "block 1: arrivals 65");
}

TEST(Invariants, SeedsReachTheBoardsAndTheFuelSetting) {
    fuzzing::Session race(false);
    replayOutGaugeInput(race, readFile(corpus("insim_outgauge") / "seed-race"));
    EXPECT_EQ(race.fault(), "");
    EXPECT_GT(race.port.batches, 0u);
    EXPECT_GT(race.port.buttons, 0u);
    fuzzing::Session model(false);
    replayOutGaugeInput(model, readFile(corpus("insim_outgauge") / "seed-model-fuel_critical"));
    EXPECT_EQ(model.fault(), "");
    EXPECT_GT(model.port.batches, 0u);
    fuzzing::Session qualifying(false);
    replayStream(qualifying, readFile(corpus("insim_stream") / "seed-model-qualifying"));
    EXPECT_EQ(qualifying.fault(), "");
    EXPECT_GT(qualifying.port.buttons, 0u);
}

// Found by the stream fuzzer: a lap record of PLID 0 was stored, so the block's list ended at it and
// the viewed player's records behind it never got their fuel readings.
TEST(Regression, LapOfPlidZeroIsNotStored) {
    Tracker tracker;
    RecordingPort port;
    onRestart(tracker, makeRst(5, 0), port);
    onState(tracker, makeSta(3, 1, 5), port);
    port.clear();
    onLap(tracker, makeLap(0, 61000, 61000, 1), port);
    EXPECT_EQ(port.console(), "New registered laptime by PLID 0: 1:1.0\nMemory allocation error!\n");
    onLap(tracker, makeLap(3, 61500, 61500, 1), port);
    const OutGaugePack gauge = makeOutGauge(1000, 0.75f, 3);
    onOutGauge(tracker, &gauge, sizeof gauge, port);
    const LapBlock& first = *tracker.pLaps->block(0);
    EXPECT_EQ(first.arrivals, 1);
    EXPECT_EQ(first.laps[0].PLID, 3);
    EXPECT_EQ(first.fuel[0], 0.75f);
    EXPECT_EQ(invariants::checkTracker(tracker), "");
}

// With nobody viewed (ViewPLID 0) a lap of PLID 0 is nobody's lap line: no board for it.
TEST(Regression, NoBoardWhileNobodyIsViewed) {
    Tracker tracker;
    RecordingPort port;
    onRestart(tracker, makeRst(5, 0), port);
    onState(tracker, makeSta(0, 1, 5), port);
    onLap(tracker, makeLap(3, 61000, 61000, 1), port);
    port.clear();
    onLap(tracker, makeLap(0, 61000, 122000, 2), port);
    EXPECT_EQ(port.console(), "New registered laptime by PLID 0: 1:1.0\nMemory allocation error!\n");
    EXPECT_TRUE(port.sends().empty());
}
