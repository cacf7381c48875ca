// The simulator's local screen and the pit menu on it, as the driver and the program's "/press" keys
// change them: which screen is shown, an open dialog or text entry, and the fuel setting of the F12 screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "link/wire.h"

namespace standin {

enum class PressOutcome {
    Toggled,     // F12: the pit instructions screen opened or closed
    Moved,       // left or right changed the setting
    AtLimit,     // left at 1% or right at 100%: nothing changed, the press was not wasted
    Stray,       // left or right while the F12 screen was not open, F12 outside the driving screens,
                 // or a key the menu does not know
    Blocked,     // any key while a dialog or a text entry was open: it went there
};

// A car's pit menu: the fuel setting, which left and right move by one percent between 1 and 100.
class PitMenu {
public:
    static constexpr int kLowest = 1;
    static constexpr int kHighest = 100;

    explicit PitMenu(int fuelPercent = 10) : fuel_(clamp(fuelPercent)) {}

    PressOutcome move(bool right);
    int fuelPercent() const { return fuel_; }

private:
    static int clamp(int value) { return value < kLowest ? kLowest : value > kHighest ? kHighest : value; }
    int fuel_;
};

// The local screen: the interface mode and submode as IS_CIM gives them, and whether a dialog or a
// text entry is open.
struct LocalScreen {
    byte mode = CIM_NORMAL;
    byte subMode = 0;
    bool dialog = false;
    bool textEntry = false;

    bool pitInstructions() const { return mode == CIM_NORMAL && subMode == NRM_PIT_INSTRUCTIONS; }
    word stateFlags() const;  // ISS_DIALOG and ISS_TEXT_ENTRY, for IS_STA
    bool operator==(const LocalScreen&) const = default;
};

// A key pressed on the local screen. An open dialog or text entry takes every key. F12 opens the
// F12 screen from any screen of the driving mode, and goes back to the plain view from it; F9, F10
// and F11 likewise show their panel, or take it away when it is the one shown. Left and right move
// the fuel setting of `menu` while the F12 screen is open. `menu` is null when no car is viewed.
PressOutcome pressOn(LocalScreen& screen, PitMenu* menu, std::string_view key);

// The screen for people: "plain view", "F9 screen" to "F12 screen", "options", ..., "free view".
std::string screenName(byte mode, byte subMode);

// The key of a "/press <key>" command; empty when the message is not one.
std::string_view pressedKey(std::string_view message);

}  // namespace standin
