// Fuel estimation from the lap-line readings and the pit fuel batch, checked line for line and byte for byte.
// The tracker is built by hand; estimateFuel and setPitFuel are called as the race board calls them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "strategy/fuel.h"
#include "support/recording_port.h"

namespace {

constexpr byte kPlayer = 3;

IS_LAP lapOf(byte plid, word lapsDone) {
    IS_LAP lap{};
    lap.Size = 20;
    lap.Type = ISP_LAP;
    lap.PLID = plid;
    lap.LapsDone = lapsDone;
    return lap;
}

// A race store of `blocks` laps with the simulator reporting `raceLaps`.
Tracker raceOf(std::size_t blocks, byte raceLaps) {
    Tracker tracker;
    tracker.pLaps = std::make_unique<RaceLapStore>(blocks);
    tracker.session.sta.RaceLaps = raceLaps;
    tracker.session.sta.RaceInProg = 1;
    tracker.session.tracking = true;
    return tracker;
}

// Appends a car's record to the block of lap `lapsDone` and returns its slot.
std::size_t arrive(Tracker& tracker, byte plid, word lapsDone, float fuel) {
    LapBlock& block = *tracker.pLaps->block(lapsDone - 1u);
    const std::size_t slot = block.arrivals++;
    block.laps[slot] = lapOf(plid, lapsDone);
    block.fuel[slot] = fuel;
    return slot;
}

// The viewed player alone on the road: readings at the lines of laps L - 2 and L - 1; returns slot i.
std::size_t soloReadings(Tracker& tracker, word lapsDone, float oldLevel, float lastLevel) {
    arrive(tracker, kPlayer, static_cast<word>(lapsDone - 2), oldLevel);
    return arrive(tracker, kPlayer, static_cast<word>(lapsDone - 1), lastLevel);
}

std::string command(const std::string& text) {
    std::string packet = bytes({68, 13, 0, 0});  // Size, Type ISP_MST, ReqI, Zero
    packet += text;
    packet += std::string(64 - text.size(), '\0');  // terminator and zero fill of Msg
    return packet;
}

std::string batchFor(unsigned amount) {
    std::string batch = command("/press F12");
    for (int k = 0; k < 99; ++k) batch += command("/press left");
    for (unsigned k = 1; k < amount; ++k) batch += command("/press right");
    batch += command("/press F12");
    return batch;
}

std::string settingConsole(unsigned amount) {
    return "Setting fuel to " + std::to_string(amount) + "%\n" + std::to_string((amount + 100) * 68) +
           " bytes sent.\nSet Advice: SET " + std::to_string(amount) + "% F";
}

std::string adviceOf(const Tracker& tracker) {
    return std::string(tracker.latestBoard.advice, sizeof tracker.latestBoard.advice);
}

std::string paddedAdvice(const std::string& text) { return text + std::string(12 - text.size(), '\0'); }

}  // namespace

TEST(FuelEstimate, ShortFuelWarnsMarksPitAndSetsTheAmount) {
    Tracker tracker = raceOf(20, 20);
    const std::size_t slot = soloReadings(tracker, 17, 0.375f, 0.25f);
    std::memcpy(tracker.latestBoard.marker, "D/T", 4);  // the penalty marker set before is overridden
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 17), slot, port);

    EXPECT_EQ(port.console(),
              "Fuel in 14: 0.375. Fuel one lap later: 0.25\n"
              "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 37.5%\n" +
                  settingConsole(38));
    EXPECT_EQ(std::string(tracker.latestBoard.marker, 4), std::string("PIT\0", 4));
    EXPECT_EQ(adviceOf(tracker), paddedAdvice("SET 38% F"));
    ASSERT_EQ(port.sends().size(), 1u);  // the whole batch in one send
    EXPECT_EQ(port.sends()[0].size(), 9384u);
    EXPECT_EQ(port.sends()[0], batchFor(38));
    // The amount is reported before the batch leaves, the byte count after it.
    ASSERT_EQ(port.events.size(), 7u);
    EXPECT_EQ(port.events[3].bytes, "Setting fuel to 38%\n");
    EXPECT_TRUE(port.events[4].isSend);
    EXPECT_EQ(port.events[5].bytes, "9384 bytes sent.\n");
    EXPECT_EQ(port.events[6].bytes, "Set Advice: SET 38% F");  // the line stays open
}

TEST(FuelEstimate, FirstEstimateAtLapThreeAndNoneBefore) {
    Tracker tracker = raceOf(10, 10);
    const std::size_t slot = soloReadings(tracker, 3, 0.5f, 0.375f);
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 2), slot, port);
    EXPECT_TRUE(port.events.empty());
    estimateFuel(tracker, lapOf(kPlayer, 3), slot, port);
    EXPECT_EQ(port.console(),
              "Fuel in 0: 0.5. Fuel one lap later: 0.375\n"
              "Player has approx 25% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 25% < 87.5%\n" +
                  settingConsole(88));
}

TEST(FuelEstimate, EstimateEqualToThreeLapsOfUseIsEnough) {
    Tracker tracker = raceOf(20, 20);
    const std::size_t slot = soloReadings(tracker, 10, 0.625f, 0.5f);  // use 0.125, estimate 0.375
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 10), slot, port);
    EXPECT_EQ(port.console(),
              "Fuel in 7: 0.625. Fuel one lap later: 0.5\n"
              "Player has approx 37.5% fuel and consumes 12.5% per lap.\n");
    EXPECT_TRUE(port.sends().empty());
    EXPECT_EQ(tracker.latestBoard.marker[0], '\0');

    // One step less fuel at the last line tips it over.
    Tracker shorter = raceOf(20, 20);
    soloReadings(shorter, 10, 0.625f, std::nextafter(0.5f, 0.0f));
    RecordingPort shortPort;
    estimateFuel(shorter, lapOf(kPlayer, 10), slot, shortPort);
    EXPECT_EQ(std::string(shorter.latestBoard.marker), "PIT");
    EXPECT_EQ(shortPort.sends().size(), 1u);
}

TEST(FuelEstimate, TwoLapsOrFewerToGoNeverWarn) {
    for (word lapsDone : {18, 19, 20, 25}) {  // 25: the simulator reports fewer laps than the store holds
        Tracker tracker = raceOf(30, 20);
        const std::size_t slot = soloReadings(tracker, lapsDone, 0.375f, 0.01f);  // far below one lap's use
        RecordingPort port;
        estimateFuel(tracker, lapOf(kPlayer, lapsDone), slot, port);
        EXPECT_EQ(port.console(), "Fuel in " + std::to_string(lapsDone - 3) +
                                      ": 0.375. Fuel one lap later: 0.01\n"
                                      "Player has approx 0% fuel and consumes 36.5% per lap.\n")
            << lapsDone;
        EXPECT_TRUE(port.sends().empty()) << lapsDone;
        EXPECT_EQ(tracker.latestBoard.marker[0], '\0') << lapsDone;
    }
}

TEST(FuelEstimate, RefuellingLapGivesNegativeUseAndNoWarning) {
    Tracker tracker = raceOf(20, 20);
    const std::size_t slot = soloReadings(tracker, 8, 0.125f, 0.875f);
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 8), slot, port);
    EXPECT_EQ(port.console(),
              "Fuel in 5: 0.125. Fuel one lap later: 0.875\n"
              "Player has approx 162.5% fuel and consumes -75% per lap.\n");
    EXPECT_TRUE(port.sends().empty());
}

TEST(FuelEstimate, UnrecordedLevelsArePrintedButNeverWarn) {
    struct Case {
        float oldLevel, lastLevel;
        const char* console;
    };
    const Case cases[] = {
        {0.375f, 0.0f,
         "Fuel in 9: 0.375. Fuel one lap later: 0\n"
         "Player has approx 0% fuel and consumes 37.5% per lap.\n"},
        {0.0f, -0.125f,  // short by the numbers, but the earlier level was never recorded
         "Fuel in 9: 0. Fuel one lap later: -0.125\n"
         "Player has approx 0% fuel and consumes 12.5% per lap.\n"},
    };
    for (const Case& c : cases) {
        Tracker tracker = raceOf(20, 20);
        const std::size_t slot = soloReadings(tracker, 12, c.oldLevel, c.lastLevel);
        RecordingPort port;
        estimateFuel(tracker, lapOf(kPlayer, 12), slot, port);
        EXPECT_EQ(port.console(), c.console);
        EXPECT_TRUE(port.sends().empty());
        EXPECT_EQ(tracker.latestBoard.marker[0], '\0');
    }
}

TEST(FuelEstimate, NotANumberReadingIsPrintedAndNeverWarns) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (bool nanFirst : {true, false}) {
        Tracker tracker = raceOf(20, 20);
        const std::size_t slot =
            nanFirst ? soloReadings(tracker, 12, nan, 0.25f) : soloReadings(tracker, 12, 0.375f, nan);
        RecordingPort port;
        estimateFuel(tracker, lapOf(kPlayer, 12), slot, port);
        EXPECT_EQ(port.console(), nanFirst ? "Fuel in 9: nan. Fuel one lap later: 0.25\n"
                                             "Player has approx nan% fuel and consumes nan% per lap.\n"
                                           : "Fuel in 9: 0.375. Fuel one lap later: nan\n"
                                             "Player has approx nan% fuel and consumes nan% per lap.\n");
        EXPECT_TRUE(port.sends().empty());
        EXPECT_EQ(tracker.latestBoard.marker[0], '\0');
    }
}

TEST(FuelEstimate, InfiniteUseCapsTheAmountAndPrintsTheNeedUncapped) {
    Tracker tracker = raceOf(20, 20);
    const std::size_t slot = soloReadings(tracker, 10, std::numeric_limits<float>::infinity(), 0.25f);
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 10), slot, port);
    EXPECT_EQ(port.console(),
              "Fuel in 7: inf. Fuel one lap later: 0.25\n"
              "Player has approx 0% fuel and consumes inf% per lap.\n"
              "Player will run out of fuel! 0% < inf%\n" +
                  settingConsole(99));
    ASSERT_EQ(port.sends().size(), 1u);
    EXPECT_EQ(port.sends()[0], batchFor(99));
}

TEST(FuelEstimate, LargeNeedIsPrintedUncappedAndTheAmountCapped) {
    Tracker tracker = raceOf(40, 40);
    const std::size_t slot = soloReadings(tracker, 10, 0.75f, 0.5f);  // 30 laps of 25%
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 10), slot, port);
    EXPECT_EQ(port.console(),
              "Fuel in 7: 0.75. Fuel one lap later: 0.5\n"
              "Player has approx 25% fuel and consumes 25% per lap.\n"
              "Player will run out of fuel! 25% < 750%\n" +
                  settingConsole(99));
}

TEST(FuelEstimate, ReadingsArePairedByPlayerNotBySlot) {
    Tracker tracker = raceOf(20, 20);
    for (byte other : {7, 8, 9}) arrive(tracker, other, 15, 0.9f);  // three cars ahead two laps ago
    arrive(tracker, kPlayer, 15, 0.375f);                           // slot 3
    arrive(tracker, 7, 16, 0.8f);
    arrive(tracker, 8, 16, 0.7f);
    const std::size_t slot = arrive(tracker, kPlayer, 16, 0.25f);  // slot 2: one place won
    arrive(tracker, 9, 16, 0.6f);
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 17), slot, port);
    EXPECT_EQ(port.console(),
              "Index 2 laps ago = 3 but last lap = 2\n"
              "Fuel in 14: 0.375. Fuel one lap later: 0.25\n"
              "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 37.5%\n" +
                  settingConsole(38));
}

TEST(FuelEstimate, PlayerAbsentTwoLapsAgoDoesNothing) {
    Tracker tracker = raceOf(20, 20);
    arrive(tracker, 7, 15, 0.375f);
    // A record behind the arrivals count is not part of the block.
    tracker.pLaps->block(15 - 1)->laps[1] = lapOf(kPlayer, 15);
    tracker.pLaps->block(15 - 1)->fuel[1] = 0.375f;
    const std::size_t slot = arrive(tracker, kPlayer, 16, 0.25f);
    RecordingPort port;
    estimateFuel(tracker, lapOf(kPlayer, 17), slot, port);
    EXPECT_TRUE(port.events.empty());
    EXPECT_EQ(tracker.latestBoard.marker[0], '\0');
}

TEST(FuelEstimate, NeverReadsBeyondTheStore) {
    Tracker tracker = raceOf(5, 20);  // the simulator later reports a longer race than the store was made for
    const std::size_t slot = soloReadings(tracker, 6, 0.375f, 0.25f);  // blocks 3 and 4, the last ones
    RecordingPort port;
    for (word lapsDone : {7, 8, 200, 65535}) estimateFuel(tracker, lapOf(kPlayer, lapsDone), slot, port);
    estimateFuel(tracker, lapOf(kPlayer, 6), kLapsPerBlock, port);  // a slot past the block
    EXPECT_TRUE(port.events.empty());

    tracker.pLaps->block(3)->arrivals = 255;  // a corrupt count is held to the block's 64 slots
    estimateFuel(tracker, lapOf(kPlayer, 6), slot, port);
    EXPECT_EQ(port.console(),
              "Fuel in 3: 0.375. Fuel one lap later: 0.25\n"
              "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 175%\n" +
                  settingConsole(99));

    Tracker noStore;
    RecordingPort idle;
    estimateFuel(noStore, lapOf(kPlayer, 6), 0, idle);
    EXPECT_TRUE(idle.events.empty());
}

TEST(PitFuel, AmountIsTruncatedPercentPlusOneCappedAt99) {
    EXPECT_EQ(pitFuelAmount(0.375f), 38u);
    EXPECT_EQ(pitFuelAmount(0.001f), 1u);
    EXPECT_EQ(pitFuelAmount(0.5f), 51u);   // a whole percentage gets one more
    EXPECT_EQ(pitFuelAmount(0.29f), 29u);  // stored just below 29%
    EXPECT_EQ(pitFuelAmount(0.02f), 2u);
    EXPECT_EQ(pitFuelAmount(0.97f), 98u);
    EXPECT_EQ(pitFuelAmount(0.98f), 99u);
    EXPECT_EQ(pitFuelAmount(0.99f), 99u);
    EXPECT_EQ(pitFuelAmount(7.5f), 99u);
    EXPECT_EQ(pitFuelAmount(3e38f), 99u);
    EXPECT_EQ(pitFuelAmount(std::numeric_limits<float>::infinity()), 99u);
}

TEST(PitFuel, NoNeedGivesTheLowestSettingAndAnUnknownNeedNone) {
    EXPECT_EQ(pitFuelAmount(0.0f), 1u);
    EXPECT_EQ(pitFuelAmount(-0.0f), 1u);
    EXPECT_EQ(pitFuelAmount(-0.005f), 1u);
    EXPECT_EQ(pitFuelAmount(-0.5f), 1u);
    EXPECT_EQ(pitFuelAmount(-std::numeric_limits<float>::infinity()), 1u);
    EXPECT_EQ(pitFuelAmount(std::numeric_limits<float>::quiet_NaN()), 0u);

    Tracker tracker;
    std::memcpy(tracker.latestBoard.advice, "LAST LAP", 9);
    RecordingPort port;
    setPitFuel(tracker, std::numeric_limits<float>::quiet_NaN(), port);
    EXPECT_EQ(port.console(), "Fuel need unknown! Pit fuel not set.\n");
    EXPECT_TRUE(port.sends().empty());
    EXPECT_EQ(adviceOf(tracker), paddedAdvice("LAST LAP"));

    RecordingPort lowest;
    setPitFuel(tracker, -0.5f, lowest);
    EXPECT_EQ(lowest.console(), settingConsole(1));
    EXPECT_EQ(lowest.sent(), batchFor(1));
}

TEST(PitFuel, BatchAndAdviceForEachAmount) {
    struct Case {
        float need;
        unsigned amount;
        std::size_t size;
        const char* advice;
    };
    const Case cases[] = {
        {0.001f, 1, 6868, "SET 1% F"},  // no right presses
        {0.29f, 29, 8772, "SET 29% F"},
        {0.5f, 51, 10268, "SET 51% F"},
        {0.98f, 99, 13532, "SET 99% F"},
        {2.0f, 99, 13532, "SET 99% F"},
    };
    for (const Case& c : cases) {
        Tracker tracker;
        std::memcpy(tracker.latestBoard.advice, "FINISHED", 9);  // overwritten whole, terminator included
        RecordingPort port;
        setPitFuel(tracker, c.need, port);
        EXPECT_EQ(port.console(), settingConsole(c.amount)) << c.need;
        ASSERT_EQ(port.sends().size(), 1u) << c.need;
        const std::string batch = port.sends()[0];
        ASSERT_EQ(batch.size(), c.size) << c.need;
        EXPECT_EQ(batch, batchFor(c.amount)) << c.need;
        EXPECT_EQ(batch.substr(batch.size() - 68), command("/press F12")) << c.need;  // nothing follows it
        EXPECT_EQ(std::string(tracker.latestBoard.advice), c.advice) << c.need;
    }
}
