// The stand-in's view of the screen: buttons kept by ClickID and shown top to bottom, colour codes,
// and the summary at the end of a session.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/wire.h"
#include "standin/board_view.h"
#include "standin/summary.h"

namespace {

// An IS_BTN of a board line as the program sends it, the text cut or zero-filled to its window.
std::vector<std::uint8_t> button(std::uint8_t clickId, std::uint8_t top, const std::string& text, std::size_t window) {
    std::vector<std::uint8_t> packet = {static_cast<std::uint8_t>(12 + window), ISP_BTN, clickId, 0, clickId, 0,
                                        ISB_DARK, 0, 10, top, 20, 10};
    packet.resize(12 + window, 0);
    std::copy_n(text.begin(), std::min(text.size(), window), packet.begin() + 12);
    return packet;
}

const std::vector<std::uint8_t> kClear = {8, ISP_BFN, 0, BFN_CLEAR, 0, 0, 0, 0};

}  // namespace

TEST(StandinBoardView, ButtonsByPlaceAndClearedAtOnce) {
    standin::BoardView view;
    EXPECT_TRUE(view.apply(button(3, 66, "1:01.90 PIT     ", 16)));
    EXPECT_TRUE(view.apply(button(1, 50, "L11/15 P1       ", 16)));
    EXPECT_TRUE(view.apply(button(2, 58, "-0.00^9/+1.62", 20)));  // zero bytes end the text
    EXPECT_EQ(view.lines(), (std::vector<std::string>{"L11/15 P1       ", "-0.00^9/+1.62", "1:01.90 PIT     "}));
    EXPECT_TRUE(view.apply(button(1, 50, "L12/15 P^22     ", 16)));  // the same ClickID replaces its button
    EXPECT_EQ(view.plainLines()[0], "L12/15 P2     ");  // the code is gone, the window stays as sent
    EXPECT_FALSE(view.apply({4, ISP_TINY, 0, 0}));  // not a button packet
    EXPECT_EQ(view.redraws(), 4);
    EXPECT_TRUE(view.apply(kClear));
    EXPECT_TRUE(view.empty());
    EXPECT_EQ(view.redraws(), 5);
}

TEST(StandinBoardView, ColourCodesAsTerminalColoursOrPlain) {
    EXPECT_EQ(standin::colourText("^2-1.80^9/^1+0.60", true),
              "\x1b[32m-1.80\x1b[39m/\x1b[31m+0.60\x1b[39m");
    EXPECT_EQ(standin::colourText("^2-1.80^9/^1+0.60", false), "-1.80/+0.60");
    EXPECT_EQ(standin::colourText("no codes ^ here^", true), "no codes ^ here^");
}

TEST(StandinBoardView, RenderedScreen) {
    standin::BoardView view;
    standin::ViewStatus status{.plid = 1, .lap = 13, .raceLaps = 15, .menuPercent = 22, .session = "race"};
    EXPECT_EQ(view.render(status, 749000, false),
              "  .- 12:29.0  race lap 13/15  PLID 1  pit fuel 22%\n"
              "  '- (no buttons)\n");
    view.apply(button(1, 50, "L11/15 P^21     ", 16));
    view.apply(button(4, 74, "SET 22% F", 12));
    status.menuOpen = true;
    EXPECT_EQ(view.render(status, 749000, false),
              "  .- 12:29.0  race lap 13/15  PLID 1  pit fuel 22% (menu open)\n"
              "  | L11/15 P1              |\n"
              "  | SET 22% F              |\n"
              "  '-------------------------\n");
    EXPECT_EQ(view.render(status, 749000, true).find("  | L11/15 P\x1b[32m1\x1b[39m              |\n"),
              std::string("  .- 12:29.0  race lap 13/15  PLID 1  pit fuel 22% (menu open)\n").size());
}

TEST(StandinSummary, RaceOrderFuelStopsAndStrays) {
    const auto car = [](std::uint8_t plid, const char* name, int lapsDone, std::uint32_t lastLineMs) {
        standin::CarReport report;
        report.plid = plid;
        report.name = name;
        report.lapsDone = lapsDone;
        report.lastLineMs = lastLineMs;
        return report;
    };
    standin::CarReport viewed = car(1, "Alvarez", 3, 215750), dry = car(3, "Costa", 1, 0);
    viewed.lapLineFuel = {0.9f, 0.35f, 0.25f};
    viewed.stops = {{2, 30, 30.0}};
    dry.ranDry = true;
    dry.dryLap = 2;
    const standin::SessionReport report{
        .laps = 3, .order = {car(2, "Brandt", 3, 190500), viewed, dry}, .viewed = {1}, .strayPresses = 2};
    EXPECT_EQ(standin::formatSummary(report),
              "Race of 3 laps: result\n"
              "  P1  PLID 2   Brandt      3 laps   3:10.500\n"
              "  P2  PLID 1   Alvarez     3 laps   +0:25.250  (1 stop)\n"
              "  P3  PLID 3   Costa       1 laps   ran dry on lap 2\n"
              "Viewed car: PLID 1 (Alvarez)\n"
              "  fuel at the lap lines:\n"
              "    1: 90.0%    2: 35.0%    3: 25.0%   \n"
              "  stop at the end of lap 2: took 30.0% (pit menu 30%)\n"
              "  ran dry: no\n"
              "Stray key presses: 2\n");
}
