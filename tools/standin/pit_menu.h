// A car's pit-stop menu as the simulator's keys drive it: F12 opens and closes it,
// left and right move the fuel setting by one percent between 1 and 100 while it is open.
#pragma once

#include <string>
#include <string_view>

namespace standin {

enum class PressOutcome {
    Toggled,     // F12: the menu opened or closed
    Moved,       // left or right changed the setting
    AtLimit,     // left at 1% or right at 100%: nothing changed, the press was not wasted
    Stray,       // a key while the menu was closed, or a key the menu does not know
};

class PitMenu {
public:
    static constexpr int kLowest = 1;
    static constexpr int kHighest = 100;

    explicit PitMenu(int fuelPercent = 10) : fuel_(clamp(fuelPercent)) {}

    PressOutcome press(std::string_view key);
    bool open() const { return open_; }
    int fuelPercent() const { return fuel_; }
    int strayPresses() const { return strays_; }

private:
    static int clamp(int value) { return value < kLowest ? kLowest : value > kHighest ? kHighest : value; }
    bool open_ = false;
    int fuel_;
    int strays_ = 0;
};

// The key of a "/press <key>" command; empty when the message is not one.
std::string_view pressedKey(std::string_view message);

}  // namespace standin
