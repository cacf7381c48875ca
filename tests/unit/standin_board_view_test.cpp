// The stand-in's view of the screen: buttons kept by ClickID and shown top to bottom as the demo
// renders them, colour codes as terminal colours or plain, all cleared at once.
#include <gtest/gtest.h>

#include <algorithm>

#include "link/wire.h"
#include "standin/board_view.h"

namespace {

// An IS_BTN of a board line as the program sends it, the text cut or zero-filled to its window.
std::vector<std::uint8_t> button(std::uint8_t clickId, std::uint8_t top, const std::string& text, std::size_t window) {
    std::vector<std::uint8_t> packet = {static_cast<std::uint8_t>(12 + window), ISP_BTN, clickId, 0, clickId, 0,
                                        ISB_DARK, 0, 10, top, 20, 10};
    packet.resize(12 + window, 0);
    std::copy_n(text.begin(), std::min(text.size(), window), packet.begin() + 12);
    return packet;
}

}  // namespace

TEST(StandinBoardView, ButtonsByPlaceRenderedAndClearedAtOnce) {
    standin::BoardView view;
    const standin::ViewStatus status{.plid = 1, .lap = 13, .raceLaps = 15, .menuOpen = true, .menuPercent = 22,
                                     .session = "race"};
    EXPECT_TRUE(view.apply(button(2, 58, "-0.00^9/+1.62", 20)));  // zero bytes end the text
    EXPECT_TRUE(view.apply(button(1, 50, "L11/15 P1       ", 16)));
    EXPECT_TRUE(view.apply(button(1, 50, "L12/15 P^21     ", 16)));  // the same ClickID replaces its button
    EXPECT_FALSE(view.apply({4, ISP_TINY, 0, 0}));
    EXPECT_EQ(view.lines(), (std::vector<std::string>{"L12/15 P^21     ", "-0.00^9/+1.62"}));
    EXPECT_EQ(view.render(status, 749000, false),
              "  .- 12:29.0  race lap 13/15  PLID 1  pit fuel 22% (menu open)\n"
              "  | L12/15 P1              |\n"
              "  | -0.00/+1.62            |\n"
              "  '-------------------------\n");
    EXPECT_NE(view.render(status, 749000, true).find("  | L12/15 P\x1b[32m1\x1b[39m              |\n"),
              std::string::npos);
    EXPECT_EQ(view.redraws(), 3);
    EXPECT_TRUE(view.apply({8, ISP_BFN, 0, BFN_CLEAR, 0, 0, 0, 0}));
    EXPECT_EQ(view.render(status, 0, false), "  .- 0:00.0  race lap 13/15  PLID 1  pit fuel 22% (menu open)\n"
                                             "  '- (no buttons)\n");
}
