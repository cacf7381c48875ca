// Keeps the buttons the program put on the simulator's screen and draws them as text.
// "^1" is red, "^2" green and "^9" the button's own colour, as on the simulator's screen.
#include "standin/board_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "link/wire.h"

namespace standin {
namespace {

constexpr std::size_t kFrameWidth = 22;  // visible characters inside the frame

const char* terminalColour(char digit) {
    switch (digit) {
        case '0': return "\x1b[30m";
        case '1': return "\x1b[31m";  // red
        case '2': return "\x1b[32m";  // green
        case '3': return "\x1b[33m";
        case '4': return "\x1b[34m";
        case '5': return "\x1b[35m";
        case '6': return "\x1b[36m";
        case '7': return "\x1b[37m";
        default: return "\x1b[39m";   // 8 and 9: the button's own colour
    }
}

std::size_t visibleLength(std::string_view text) {
    std::size_t length = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
        else ++length;
    }
    return length;
}

std::string trimmedRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

std::string colourText(std::string_view text, bool colour) {
    std::string out;
    bool coloured = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '^' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
            if (colour) {
                out += terminalColour(text[i + 1]);
                coloured = true;
            }
            ++i;
        } else {
            out += text[i];
        }
    }
    if (coloured) out += "\x1b[39m";
    return out;
}

std::string clockText(std::uint32_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%u:%02u.%u", ms / 60000, (ms / 1000) % 60, (ms % 1000) / 100);
    return text;
}

bool BoardView::apply(const std::vector<std::uint8_t>& packet) {
    if (packet.size() < 4) return false;
    if (packet[1] == ISP_BTN && packet.size() >= sizeof(IS_BTN_Header)) {
        IS_BTN_Header header;
        std::memcpy(&header, packet.data(), sizeof header);
        Button button{header.ClickID, header.L, header.T, header.W, header.H, {}};
        const auto* text = reinterpret_cast<const char*>(packet.data() + sizeof header);
        const std::size_t window = packet.size() - sizeof header;
        button.text.assign(text, strnlen(text, window));
        buttons_[header.ClickID] = button;
        ++redraws_;
        return true;
    }
    if (packet[1] == ISP_BFN && packet.size() >= sizeof(IS_BFN)) {
        IS_BFN bfn;
        std::memcpy(&bfn, packet.data(), sizeof bfn);
        if (bfn.SubT == BFN_CLEAR) buttons_.clear();
        else if (bfn.SubT == 0) buttons_.erase(bfn.ClickID);  // BFN_DEL_BTN: one button
        ++redraws_;
        return true;
    }
    return false;
}

std::vector<std::string> BoardView::lines() const {
    std::vector<const Button*> sorted;
    for (const auto& entry : buttons_) sorted.push_back(&entry.second);
    std::stable_sort(sorted.begin(), sorted.end(), [](const Button* a, const Button* b) {
        return a->top != b->top ? a->top < b->top : a->left < b->left;
    });
    std::vector<std::string> texts;
    for (const Button* button : sorted) texts.push_back(button->text);
    return texts;
}

std::string raceLength(const ViewStatus& status) {
    if (status.raceLaps > 0) return "/" + std::to_string(status.raceLaps);
    if (status.raceHours > 0) return " of " + raceLengthText(0, status.raceHours);
    return {};
}

std::string BoardView::render(const ViewStatus& status, std::uint32_t timeMs, bool colour) const {
    std::string out = "  .- " + clockText(timeMs);
    if (*status.session) {
        out += "  " + std::string(status.session);
        if (status.lap > 0) out += " lap " + std::to_string(status.lap) + raceLength(status);
    }
    out += "  PLID " + std::to_string(status.plid) + "  pit fuel " + std::to_string(status.menuPercent) + "%" +
           (status.menuOpen ? " (menu open)" : "") + "\n";
    if (buttons_.empty()) return out + "  '- (no buttons)\n";
    for (const std::string& text : lines()) {
        const std::string shown = trimmedRight(text);
        const std::size_t visible = visibleLength(shown);
        out += "  | " + colourText(shown, colour) +
               std::string(visible < kFrameWidth ? kFrameWidth - visible : 0, ' ') + " |\n";
    }
    return out + "  '" + std::string(kFrameWidth + 3, '-') + "\n";
}

}  // namespace standin
