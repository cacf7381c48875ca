// The simulator's screen as the stand-in shows it: the program's buttons at their places,
// redrawn on every IS_BTN and IS_BFN, with the simulator's colour codes as terminal colours.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "standin/race_model.h"

namespace standin {

struct Button {
    std::uint8_t clickId = 0;
    std::uint8_t left = 0, top = 0, width = 0, height = 0;
    std::string text;  // up to the first zero byte, colour codes included
};

class BoardView {
public:
    // Takes one packet the program sent; true when it is a button packet (IS_BTN or IS_BFN).
    bool apply(const std::vector<std::uint8_t>& packet);

    // The texts of the buttons on the screen, top to bottom (then left to right), as sent.
    std::vector<std::string> lines() const;
    int redraws() const { return redraws_; }

    // The screen as text: a status line (time, session, lap, pit menu) and the buttons in a frame.
    std::string render(const ViewStatus& status, std::uint32_t timeMs, bool colour) const;

private:
    std::map<std::uint8_t, Button> buttons_;  // by ClickID
    int redraws_ = 0;
};

// The simulator's text with "^<digit>" colour codes as terminal colours, or without them.
std::string colourText(std::string_view text, bool colour);
// What follows the lap in a status line: "/15" in a race of 15 laps, " of 2 hours" in a timed race, else nothing.
std::string raceLength(const ViewStatus& status);
// Simulated time for people: minutes, seconds and tenths (125500 -> 2:05.5).
std::string clockText(std::uint32_t ms);

}  // namespace standin
