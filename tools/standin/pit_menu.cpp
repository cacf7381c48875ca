// The pit menu's key handling, and reading the key out of a "/press" command.
// Keys are matched the way they are typed in the commands: "F12", "left", "right".
#include "standin/pit_menu.h"

namespace standin {

PressOutcome PitMenu::press(std::string_view key) {
    if (key == "F12") {
        open_ = !open_;
        return PressOutcome::Toggled;
    }
    const bool left = key == "left", right = key == "right";
    if (!open_ || !(left || right)) {
        ++strays_;
        return PressOutcome::Stray;
    }
    const int moved = clamp(fuel_ + (right ? 1 : -1));
    if (moved == fuel_) return PressOutcome::AtLimit;
    fuel_ = moved;
    return PressOutcome::Moved;
}

std::string_view pressedKey(std::string_view message) {
    constexpr std::string_view kCommand = "/press ";
    if (message.substr(0, kCommand.size()) != kCommand) return {};
    std::string_view key = message.substr(kCommand.size());
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    return key;
}

}  // namespace standin
