// Fuel estimation from the lap-line readings and the pit fuel batch, checked line for line and byte for byte.
// The tracker is built by hand; estimateFuel and setPitFuel are called as the race board calls them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "standin/packets.h"
#include "strategy/fuel.h"
#include "support/recording_port.h"

namespace {

using standin::makeLap;

constexpr byte kPlayer = 3;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

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
    block.laps[slot] = makeLap(plid, 0, 0, lapsDone);
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
    return packet + text + std::string(64 - text.size(), '\0');  // terminator and zero fill of Msg
}

std::string batchFor(unsigned amount) {
    std::string batch = command("/press F12");
    for (int k = 0; k < 99; ++k) batch += command("/press left");
    for (unsigned k = 1; k < amount; ++k) batch += command("/press right");
    return batch + command("/press F12");
}

std::string settingConsole(unsigned amount) {
    return "Setting fuel to " + std::to_string(amount) + "%\n" + std::to_string((amount + 100) * 68) +
           " bytes sent.\nSet Advice: SET " + std::to_string(amount) + "% F";
}

}  // namespace

TEST(FuelEstimate, WorkedExampleWarnsMarksPitAndSetsTheAmount) {
    Tracker tracker = raceOf(20, 20);
    const std::size_t slot = soloReadings(tracker, 17, 0.375f, 0.25f);
    std::memcpy(tracker.latestBoard.marker, "D/T", 4);  // the penalty marker set before is overridden
    RecordingPort port;
    estimateFuel(tracker, makeLap(kPlayer, 0, 0, 17), slot, port);

    EXPECT_EQ(port.console(),
              "Fuel in 14: 0.375. Fuel one lap later: 0.25\n"
              "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 37.5%\n" +
                  settingConsole(38));
    EXPECT_EQ(std::string(tracker.latestBoard.marker, 4), std::string("PIT\0", 4));
    EXPECT_EQ(std::string(tracker.latestBoard.advice, 12), std::string("SET 38% F\0\0\0", 12));
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

// The viewed player alone: the levels and percentages printed, and the need and amount when it warns.
TEST(FuelEstimate, WarnsOnlyWhenShortWithThreeLapsOrMoreToGoAndBothLevelsRecorded) {
    const struct {
        word lapsDone;
        float oldLevel, lastLevel;
        const char *oldText, *lastText, *has, *uses, *need;  // need: nullptr when it does not warn
        unsigned amount;
        byte raceLaps = 20;
        std::size_t blocks = 20;
    } cases[] = {
        {3, 0.5f, 0.375f, "0.5", "0.375", "25", "12.5", "87.5", 88, 10},  // the first with two readings
        {10, 0.625f, 0.5f, "0.625", "0.5", "37.5", "12.5", nullptr, 0},  // exactly three laps' use: enough
        {10, 0.625f, std::nextafter(0.5f, 0.0f), "0.625", "0.5", "37.5", "12.5", "125", 99},  // one step less
        {18, 0.375f, 0.01f, "0.375", "0.01", "0", "36.5", nullptr, 0, 20, 30},  // two laps to go
        {25, 0.375f, 0.01f, "0.375", "0.01", "0", "36.5", nullptr, 0, 20, 30},  // fewer laps than stored
        {8, 0.125f, 0.875f, "0.125", "0.875", "162.5", "-75", nullptr, 0},  // a refuelling lap
        {12, 0.375f, 0.0f, "0.375", "0", "0", "37.5", nullptr, 0},  // the last level never recorded
        {12, 0.0f, -0.125f, "0", "-0.125", "0", "12.5", nullptr, 0},  // nor the earlier one: short, no warning
        {12, kNaN, 0.25f, "nan", "0.25", "nan", "nan", nullptr, 0},
        {12, 0.375f, kNaN, "0.375", "nan", "nan", "nan", nullptr, 0},
        {10, kInf, 0.25f, "inf", "0.25", "0", "inf", "inf", 99},  // the need printed uncapped, the amount capped
        {10, 0.75f, 0.5f, "0.75", "0.5", "25", "25", "750", 99, 40, 40},  // 30 laps of 25%
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "lap " << c.lapsDone << ": " << c.oldLevel << " -> " << c.lastLevel);
        Tracker tracker = raceOf(c.blocks, c.raceLaps);
        const std::size_t slot = soloReadings(tracker, c.lapsDone, c.oldLevel, c.lastLevel);
        RecordingPort port;
        estimateFuel(tracker, makeLap(kPlayer, 0, 0, c.lapsDone), slot, port);
        std::string console = "Fuel in " + std::to_string(c.lapsDone - 3) + ": " + c.oldText +
                              ". Fuel one lap later: " + c.lastText + "\nPlayer has approx " + c.has +
                              "% fuel and consumes " + c.uses + "% per lap.\n";
        if (c.need) console += "Player will run out of fuel! " + std::string(c.has) + "% < " + c.need + "%\n";
        EXPECT_EQ(port.console(), console + (c.amount ? settingConsole(c.amount) : ""));
        EXPECT_EQ(port.sent(), c.amount ? batchFor(c.amount) : "");
        EXPECT_EQ(std::string(tracker.latestBoard.marker), c.amount ? "PIT" : "");
    }
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
    estimateFuel(tracker, makeLap(kPlayer, 0, 0, 17), slot, port);
    EXPECT_EQ(port.console(),
              "Index 2 laps ago = 3 but last lap = 2\n"
              "Fuel in 14: 0.375. Fuel one lap later: 0.25\n"
              "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 37.5%\n" +
                  settingConsole(38));
}

TEST(FuelEstimate, NothingWithoutBothReadingsAndNeverBeyondTheStore) {
    Tracker tracker = raceOf(5, 20);  // the simulator later reports a longer race than the store was made for
    const std::size_t slot = soloReadings(tracker, 5, 0.375f, 0.25f);  // blocks 2 and 3
    arrive(tracker, kPlayer, 5, 0.125f);                             // block 4, the last one
    RecordingPort port;
    estimateFuel(tracker, makeLap(kPlayer, 0, 0, 2), 0, port);  // no lap line two laps back yet
    for (word lapsDone : {7, 8, 200, 65535}) estimateFuel(tracker, makeLap(kPlayer, 0, 0, lapsDone), 0, port);
    estimateFuel(tracker, makeLap(kPlayer, 0, 0, 5), kLapsPerBlock, port);  // a slot past the block
    estimateFuel(tracker, makeLap(9, 0, 0, 5), slot, port);                  // absent two laps ago
    // A record behind the arrivals count is not part of the block.
    tracker.pLaps->block(2)->arrivals = 0;
    estimateFuel(tracker, makeLap(kPlayer, 0, 0, 5), slot, port);
    Tracker noStore;
    estimateFuel(noStore, makeLap(kPlayer, 0, 0, 6), 0, port);
    EXPECT_TRUE(port.events.empty());
    EXPECT_EQ(tracker.latestBoard.marker[0], '\0');

    tracker.pLaps->block(3)->arrivals = 255;  // a corrupt count is held to the block's 64 slots
    estimateFuel(tracker, makeLap(kPlayer, 0, 0, 6), 0, port);
    EXPECT_EQ(port.console(),
              "Fuel in 3: 0.25. Fuel one lap later: 0.125\n"
              "Player has approx 0% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 0% < 175%\n" +
                  settingConsole(99));
}

TEST(PitFuel, AmountIsTruncatedPercentPlusOneCappedAt99) {
    const std::pair<float, unsigned> cases[] = {
        {0.375f, 38}, {0.001f, 1}, {0.5f, 51}, {0.29f, 29} /* stored just below 29% */, {0.02f, 2}, {0.97f, 98},
        {0.98f, 99},  {0.99f, 99}, {7.5f, 99}, {3e38f, 99}, {kInf, 99}, {0.0f, 1}, {-0.0f, 1}, {-0.005f, 1},
        {-0.5f, 1},   {-kInf, 1},  {kNaN, 0}};
    for (const auto& [need, amount] : cases) EXPECT_EQ(pitFuelAmount(need), amount) << need;
}

TEST(PitFuel, BatchAndAdviceForEachAmount) {
    const struct {
        float need;
        unsigned amount;
        std::size_t size;
        const char* advice;
    } cases[] = {
        {0.001f, 1, 6868, "SET 1% F"},  // no right presses
        {-0.5f, 1, 6868, "SET 1% F"},   // nothing needed: the lowest setting
        {0.29f, 29, 8772, "SET 29% F"},
        {0.5f, 51, 10268, "SET 51% F"},
        {0.98f, 99, 13532, "SET 99% F"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.need);
        Tracker tracker;
        std::memcpy(tracker.latestBoard.advice, "FINISHED", 9);  // overwritten whole, terminator included
        RecordingPort port;
        setPitFuel(tracker, c.need, port);
        EXPECT_EQ(port.console(), settingConsole(c.amount));
        ASSERT_EQ(port.sends().size(), 1u);
        ASSERT_EQ(port.sends()[0].size(), c.size);
        EXPECT_EQ(port.sends()[0], batchFor(c.amount));
        EXPECT_EQ(std::string(tracker.latestBoard.advice), c.advice);
    }
}

TEST(PitFuel, UnknownNeedSetsNothing) {
    Tracker tracker;
    std::memcpy(tracker.latestBoard.advice, "LAST LAP", 9);
    RecordingPort port;
    setPitFuel(tracker, kNaN, port);
    EXPECT_EQ(port.console(), "Fuel need unknown! Pit fuel not set.\n");
    EXPECT_TRUE(port.sends().empty());
    EXPECT_EQ(std::string(tracker.latestBoard.advice, 12), std::string("LAST LAP\0\0\0\0", 12));
}
