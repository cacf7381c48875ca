// The stand-in's view of the screen: buttons kept by ClickID and shown top to bottom, colour codes,
// and the summary at the end of a session.
#include <gtest/gtest.h>

#include <cstring>

#include "link/wire.h"
#include "standin/board_view.h"
#include "standin/summary.h"

namespace {

std::vector<std::uint8_t> button(std::uint8_t clickId, std::uint8_t top, const std::string& text, std::size_t window) {
    IS_BTN_Header header{};
    header.Size = static_cast<byte>(sizeof header + window);
    header.Type = ISP_BTN;
    header.ReqI = clickId;
    header.ClickID = clickId;
    header.BStyle = ISB_DARK;
    header.L = 10;
    header.T = top;
    header.W = 20;
    header.H = 10;
    std::vector<std::uint8_t> packet(sizeof header + window, 0);
    std::memcpy(packet.data(), &header, sizeof header);
    std::memcpy(packet.data() + sizeof header, text.data(), std::min(text.size(), window));
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
    standin::ViewStatus status;
    status.plid = 1;
    status.lap = 13;
    status.raceLaps = 15;
    status.menuPercent = 22;
    status.session = "race";
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
    standin::SessionReport report;
    report.laps = 3;
    report.viewed = {1};
    report.strayPresses = 2;
    standin::CarReport winner;
    winner.plid = 2;
    winner.name = "Brandt";
    winner.lapsDone = 3;
    winner.lastLineMs = 190500;
    standin::CarReport viewed;
    viewed.plid = 1;
    viewed.name = "Alvarez";
    viewed.lapsDone = 3;
    viewed.lastLineMs = 215750;
    viewed.lapLineFuel = {0.9f, 0.35f, 0.25f};
    viewed.stops = {{2, 30, 30.0}};
    standin::CarReport dry;
    dry.plid = 3;
    dry.name = "Costa";
    dry.lapsDone = 1;
    dry.ranDry = true;
    dry.dryLap = 2;
    report.order = {winner, viewed, dry};
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
