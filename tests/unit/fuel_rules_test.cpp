// The opt-in rules of the fuel estimate as transcripts: laps that are no racing laps left out, the level
// at the line from Fuel200, and the top-up typed to the flag but never from a reading before a stop.
#include <gtest/gtest.h>

#include "support/transcript.h"

using namespace transcript;

namespace {

// One lap line of the lone viewed PLID 3: its lap time, the stops made so far, its Fuel200 and the
// OutGauge reading after it (none for 0).
struct Line {
    std::uint32_t lapMs = 60000;
    int stops = 0;
    int fuel200 = 0;
    float gauge = 0.0f;
};

// A race of `raceLaps` with these lines, then the line of the next lap, whose console is kept.
Script stint(int raceLaps, const std::vector<Line>& lines, const Line& next) {
    Script script = race(raceLaps, 3);
    std::uint32_t elapsed = 0;
    int n = 0;
    for (const Line& line : lines) {
        elapsed += line.lapMs;
        script = script + lap(3, line.lapMs, elapsed, ++n, 0, line.stops, line.fuel200);
        if (line.gauge != 0.0f) script = script + gauge(n, line.gauge);
    }
    return script + mark() + lap(3, next.lapMs, elapsed + next.lapMs, n + 1, 0, next.stops, next.fuel200);
}

// What the estimate printed and typed: from its first line to the board.
std::string estimateOf(const std::string& console) {
    const std::size_t from = console.find("Fuel in "), to = console.find("Pitboard for ");
    return from == std::string::npos || to == std::string::npos ? console : console.substr(from, to - from);
}

Program with(const FuelSettings& settings, word insimVersion = 5) {
    Program program;
    program.fuel = settings;
    program.race.session.insimVersion = insimVersion;
    return program;
}

}  // namespace

// A sixteenth of the tank a lap; with racing="1.1" the use is that of the last three racing laps.
TEST(FuelRules, LapsThatAreNoRacingLapsAreLeftOut) {
    FuelSettings racing;
    racing.average = 3;
    racing.racing = 1.1f;
    const struct {
        const char* name;
        std::vector<Line> lines;
        const char* estimate;
    } cases[] = {
        {"a caution lap: 80 s against 60, and half the use",
         {{60000, 0, 0, 0.9375f}, {60000, 0, 0, 0.875f}, {60000, 0, 0, 0.8125f}, {60000, 0, 0, 0.75f},
          {60000, 0, 0, 0.6875f}, {80000, 0, 0, 0.65625f}},
         "Fuel in 4: 0.6875. Fuel one lap later: 0.65625\n"
         "Lap 6 left out of the use: slow against the best recent lap.\n"
         "Average use over 3 laps: 6.25% per lap.\n"
         "Player has approx 59.375% fuel and consumes 6.25% per lap.\n"},
        {"the out-lap after a stop at the end of lap 4, burning half as much again",
         {{60000, 0, 0, 0.9375f}, {60000, 0, 0, 0.875f}, {60000, 0, 0, 0.8125f}, {80000, 1, 0, 0.875f},
          {60000, 1, 0, 0.78125f}},
         "Fuel in 3: 0.875. Fuel one lap later: 0.78125\n"
         "Lap 5 left out of the use: the out-lap.\n"
         "Average use over 2 laps: 6.25% per lap.\n"
         "Player has approx 71.875% fuel and consumes 6.25% per lap.\n"},
        {"the first lap, 40 s from a grid past the line: no pace to measure the others by",
         {{40000, 0, 0, 0.9375f}, {60000, 0, 0, 0.875f}, {60000, 0, 0, 0.8125f}, {60000, 0, 0, 0.75f},
          {60000, 0, 0, 0.6875f}},
         "Fuel in 3: 0.75. Fuel one lap later: 0.6875\n"
         "Average use over 3 laps: 6.25% per lap.\n"
         "Player has approx 62.5% fuel and consumes 6.25% per lap.\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(estimateOf(play(stint(20, c.lines, Line{}), with(racing))), c.estimate) << c.name;
    }
}

// Fuel200 at lines 1 to 4: 50, 37.5, 25 and 12.5 %; the OutGauge readings after lines 1 to 3 each a
// sixty-fourth lower. Sixteen laps to go.
TEST(FuelRules, TheLevelAtTheLineFromFuel200) {
    const auto lines = [](int hidden) {
        const int at = hidden ? 255 : 0;
        return std::vector<Line>{{60000, 0, at ? at : 100, 0.484375f}, {60000, 0, at ? at : 75, 0.359375f},
                                 {60000, 0, at ? at : 50, 0.234375f}};
    };
    const std::string projected =
        "Fuel in 1: 0.359375. Fuel one lap later: 0.234375\n"
        "No fuel at this line from the simulator: the OutGauge readings are used.\n"
        "Player has approx 10.9375% fuel and consumes 12.5% per lap.\n"
        "Player will run out of fuel! 10.9375% < 200%\n" + setting(99);
    const struct {
        const char* name;
        LevelSource level;
        word version;
        bool hidden;
        std::string estimate;
    } cases[] = {
        {"every level from Fuel200, this line's at once", LevelSource::Line, 8, false,
         "Fuel in 1: 0.375. Fuel one lap later: 0.25\nFuel at this line: 12.5%.\n"
         "Average use over 1 laps: 12.5% per lap.\n"
         "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
         "Player will run out of fuel! 12.5% < 200%\n" + setting(99)},
        {"the level now from Fuel200, the use from OutGauge", LevelSource::Both, 8, false,
         "Fuel in 1: 0.359375. Fuel one lap later: 0.234375\nFuel at this line: 12.5%.\n"
         "Average use over 1 laps: 12.5% per lap.\n"
         "Player has approx 12.5% fuel and consumes 12.5% per lap.\n"
         "Player will run out of fuel! 12.5% < 200%\n" + setting(99)},
        {"the host hides fuel: 255", LevelSource::Line, 8, true, projected},
        {"InSim 5 has a spare byte there", LevelSource::Line, 5, false, projected},
    };
    for (const auto& c : cases) {
        FuelSettings settings;
        settings.level = c.level;
        const Line next{60000, 0, c.hidden ? 255 : 25};
        EXPECT_EQ(estimateOf(play(stint(20, lines(c.hidden), next), with(settings, c.version))), c.estimate) << c.name;
    }
    // Under half a percent a lap: laps 2 and 4 show no use between their levels and still count.
    FuelSettings three;
    three.average = 3;
    three.level = LevelSource::Line;
    const std::vector<Line> slow{{60000, 0, 125, 0.6f}, {60000, 0, 125, 0.6f}, {60000, 0, 100, 0.5f}};
    EXPECT_EQ(estimateOf(play(stint(20, slow, Line{60000, 0, 100}), with(three, 8))),
              "Fuel in 1: 0.625. Fuel one lap later: 0.5\nFuel at this line: 50%.\n"
              "Average use over 3 laps: 4.16667% per lap.\n"
              "Player has approx 50% fuel and consumes 4.16667% per lap.\n");
}

// Filling to the finish, the use an eighth of the tank a lap: typed with fewer than three laps to go
// while less than three laps' use is left (the least when the tank reaches the flag), and not from a
// reading that a stop came after.
TEST(FuelRules, TopUpToTheFlagNeverFromAReadingBeforeAStop) {
    const struct {
        const char* name;
        int lapsDone;
        std::vector<Line> last;  // the lines of laps L - 2 and L - 1
        Line now;                // the line of lap L
        LevelSource level;
        std::string head;        // the estimate's lines with and without topUp="1"
        std::string topUp, asDesigned;  // what follows them with it and as designed, without it
    } cases[] = {
        {"two laps to go, a lap and a half's fuel left", 18, {{60000, 0, 0, 0.375f}, {60000, 0, 0, 0.25f}}, {},
         LevelSource::Gauge,
         "Fuel in 15: 0.375. Fuel one lap later: 0.25\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n",
         "Player will run out of fuel! 12.5% < 25%\n" + setting(13), ""},
        {"two laps to go, two laps' fuel left: the least, not what the menu held", 18,
         {{60000, 0, 0, 0.5f}, {60000, 0, 0, 0.375f}}, {}, LevelSource::Gauge,
         "Fuel in 15: 0.5. Fuel one lap later: 0.375\nPlayer has approx 25% fuel and consumes 12.5% per lap.\n",
         "Player has fuel to the flag: pit fuel to the least.\n" + setting(1), ""},
        {"the stop's own line: the level projected across the stop", 12,
         {{60000, 0, 0, 0.375f}, {60000, 0, 0, 0.25f}}, {60000, 1}, LevelSource::Gauge,
         "Fuel in 9: 0.375. Fuel one lap later: 0.25\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n",
         "Pit stop in lap 12: no amount from the reading before it.\n",
         "Player will run out of fuel! 12.5% < 100%\n" + setting(88)},
        {"the line after a stop that took nothing: the use across it", 12,
         {{60000, 0, 0, 0.375f}, {60000, 1, 0, 0.25f}}, {60000, 1}, LevelSource::Gauge,
         "Fuel in 9: 0.375. Fuel one lap later: 0.25\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n",
         "Pit stop in lap 11: no amount from the reading before it.\n",
         "Player will run out of fuel! 12.5% < 100%\n" + setting(88)},
        {"the stop's own line with Fuel200: the level after the stop", 12,
         {{60000, 0, 75, 0.375f}, {60000, 0, 50, 0.25f}}, {60000, 1, 30}, LevelSource::Line,
         "Fuel in 9: 0.375. Fuel one lap later: 0.25\nFuel at this line: 15%.\nAverage use over 1 laps: 12.5% per lap.\n"
         "Player has approx 15% fuel and consumes 12.5% per lap.\nPlayer will run out of fuel! 15% < 100%\n" + setting(86),
         "", ""},
    };
    for (const auto& c : cases) {
        std::vector<Line> lines(static_cast<std::size_t>(c.lapsDone - 3), Line{60000, 0, 0, 0.9f});
        lines.insert(lines.end(), c.last.begin(), c.last.end());
        FuelSettings settings{1, 0.0f, true};
        settings.level = c.level;
        EXPECT_EQ(estimateOf(play(stint(20, lines, c.now), with(settings, 8))), c.head + c.asDesigned) << c.name;
        settings.topUp = true;
        EXPECT_EQ(estimateOf(play(stint(20, lines, c.now), with(settings, 8))), c.head + c.topUp) << c.name;
    }
    // Filled for the laps to go, the least too when the tank reaches the flag, not the two laps' fuel.
    std::vector<Line> reaching(15, Line{60000, 0, 0, 0.9f});
    reaching.insert(reaching.end(), {Line{60000, 0, 0, 0.5f}, Line{60000, 0, 0, 0.375f}});
    FuelSettings laps;
    laps.topUp = true;
    EXPECT_EQ(estimateOf(play(stint(20, reaching, Line{}), with(laps, 8))),
              "Fuel in 15: 0.5. Fuel one lap later: 0.375\nPlayer has approx 25% fuel and consumes 12.5% per lap.\n"
              "Player has fuel to the flag: pit fuel to the least.\n" + setting(1));
}

// The amount itself: the nearest whole percent and the use of more laps than nine; the time a stop costs
// is the table's below.
TEST(FuelRules, NearestPercentAndLongAverage) {
    // The worked example's car filled to the finish: a need of 25%, typed as 25 where 26 is designed.
    std::vector<Line> lines(16, Line{60000, 0, 0, 0.375f});
    lines.back().gauge = 0.25f;
    const FuelSettings toFinish{1, 0.0f, true};
    FuelSettings nearest = toFinish;
    nearest.roundNearest = true;
    EXPECT_EQ(estimateOf(play(stint(20, lines, Line{}), with(nearest))),
              "Fuel in 14: 0.375. Fuel one lap later: 0.25\nPlayer has approx 12.5% fuel and consumes 12.5% per lap.\n"
              "Player will run out of fuel! 12.5% < 37.5%\n" + setting(25));

    // Laps 3 and 4 burnt an eighth, the nine after them a sixteenth: ten laps average 7.5%.
    const float levels[] = {0.9375f, 0.875f, 0.75f, 0.625f, 0.5625f, 0.5f, 0.4375f, 0.375f, 0.3125f, 0.25f, 0.1875f, 0.125f};
    lines.clear();
    for (const float level : levels) lines.push_back(Line{60000, 0, 0, level});
    FuelSettings longer;
    longer.average = 3;
    longer.longAverage = 10;
    EXPECT_EQ(estimateOf(play(stint(20, lines, Line{}), with(longer))),
              "Fuel in 10: 0.1875. Fuel one lap later: 0.125\nAverage use over 10 laps: 7.5% per lap.\n"
              "Player has approx 5% fuel and consumes 7.5% per lap.\nPlayer will run out of fuel! 5% < 52.5%\n" +
                  setting(53));
}

// A stop never takes away the lap the car is on, and one shorter than a lap takes at most one lap away:
// the last two lines of an hour's leader on minute laps and of a car lapped twice on laps of 62 s, and a
// race of 60 laps, where a stop takes no lap.
TEST(FuelRules, AStopNeverTakesTheLastLap) {
    // The viewed PLID 3's line `line`, a lap after readings of 37.5 % and 25 %: 12.5 % left, 12.5 % a lap.
    const auto lineOf = [](int raceLaps, std::uint32_t lapMs, bool lapped, int line, float stopSeconds) {
        std::vector<std::pair<std::uint32_t, Script>> events;
        for (int n = 1; n < line; ++n) {
            const float level = n == line - 2 ? 0.375f : n == line - 1 ? 0.25f : 0.9f;
            events.emplace_back(lapMs * n, lap(3, lapMs, lapMs * n, n) + gauge(n, level));
        }
        for (int n = 1; lapped && 60000u * n < lapMs * line; ++n) events.emplace_back(60000u * n, lap(4, 60000, 60000u * n, n));
        std::stable_sort(events.begin(), events.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        Script script = race(raceLaps, 3);
        for (const auto& event : events) script = script + event.second;
        FuelSettings settings{1, 0.5f, true};
        settings.topUp = true;
        settings.stopSeconds = stopSeconds;
        Program program = with(settings);
        program.race.longRaces = true;
        const std::string console = estimateOf(feed(script + mark() + lap(3, lapMs, lapMs * line, line), program));
        return console.substr(console.find("per lap.\n") + 9);
    };
    const std::string twoLaps = "Player will run out of fuel! 12.5% < 31.25%\n" + setting(19);
    const std::string oneLap = "Player will run out of fuel! 12.5% < 18.75%\n" + setting(7);
    const struct {
        int raceLaps;
        std::uint32_t lapMs;
        bool lapped;
        int line;
        float stopSeconds;
        std::string console;
    } cases[] = {
        {191, 60000, false, 58, 1.0f, twoLaps},
        {191, 60000, false, 58, 59.0f, twoLaps},
        {191, 60000, false, 58, 60.0f, "Laps to go with a stop: 1.\n" + oneLap},
        {191, 60000, false, 59, 60.0f, oneLap},
        {191, 62000, true, 57, 4.0f, twoLaps},
        {191, 62000, true, 57, 5.0f, "Laps to go with a stop: 1.\n" + oneLap},
        {191, 62000, true, 58, 5.0f, oneLap},
        {60, 60000, false, 58, 600.0f, twoLaps},
        {60, 60000, false, 59, 60.0f, oneLap},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lineOf(c.raceLaps, c.lapMs, c.lapped, c.line, c.stopSeconds), c.console)
            << "RaceLaps " << c.raceLaps << ", line " << c.line << ", stop of " << c.stopSeconds << " s";
    }
}
