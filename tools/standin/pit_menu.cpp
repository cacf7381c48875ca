// Where a key press lands on the local screen, the pit menu's fuel setting, and reading the key out
// of a "/press" command. Keys are matched the way they are typed in the commands: "F9" to "F12", "left", "right".
#include "standin/pit_menu.h"

namespace standin {

PressOutcome PitMenu::move(bool right) {
    const int moved = clamp(fuel_ + (right ? 1 : -1));
    if (moved == fuel_) return PressOutcome::AtLimit;
    fuel_ = moved;
    return PressOutcome::Moved;
}

word LocalScreen::stateFlags() const {
    return static_cast<word>((dialog ? ISS_DIALOG : 0) | (textEntry ? ISS_TEXT_ENTRY : 0));
}

PressOutcome pressOn(LocalScreen& screen, PitMenu* menu, std::string_view key) {
    if (screen.dialog || screen.textEntry) return PressOutcome::Blocked;
    if (key == "F12") {
        if (screen.mode != CIM_NORMAL) return PressOutcome::Stray;
        screen.subMode = screen.pitInstructions() ? 0 : NRM_PIT_INSTRUCTIONS;
        return PressOutcome::Toggled;
    }
    // F9, F10 and F11 show their panel beside the driving view, or take it away when it is shown.
    for (byte panel = 1; panel < NRM_PIT_INSTRUCTIONS; ++panel) {
        if (key != "F" + std::to_string(8 + panel)) continue;
        if (screen.mode != CIM_NORMAL) return PressOutcome::Stray;
        screen.subMode = screen.subMode == panel ? 0 : panel;
        return PressOutcome::Toggled;
    }
    const bool left = key == "left", right = key == "right";
    if (!screen.pitInstructions() || !(left || right) || menu == nullptr) return PressOutcome::Stray;
    return menu->move(right);
}

std::string screenName(byte mode, byte subMode) {
    static const char* const kModes[] = {"", "options", "host options", "garage", "car select", "track select",
                                         "free view"};
    if (mode == CIM_NORMAL) return subMode == 0 ? "plain view" : "F" + std::to_string(8 + subMode) + " screen";
    return mode < std::size(kModes) ? kModes[mode] : "mode " + std::to_string(mode);
}

std::string_view pressedKey(std::string_view message) {
    constexpr std::string_view kCommand = "/press ";
    if (message.substr(0, kCommand.size()) != kCommand) return {};
    std::string_view key = message.substr(kCommand.size());
    while (!key.empty() && key.back() == ' ') key.remove_suffix(1);
    return key;
}

}  // namespace standin
