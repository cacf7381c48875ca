// The connections and players of the session as the game announces them, and their names in UTF-8.
#include "race/roster.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// Windows-1252's characters at 0x80 to 0x9F; 0: none.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string gameTextAsUtf8(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (const char c : field) {
        const auto byte = static_cast<unsigned char>(c);
        char32_t code = byte;
        if (byte < 0x20 || byte == 0x7F) code = kReplacement;
        else if (byte >= 0x80 && byte < 0xA0) code = kHighControls[byte - 0x80] != 0 ? kHighControls[byte - 0x80] : kReplacement;
        appendUtf8(out, code);
    }
    return out;
}

void onRosterConnection(Roster& roster, const IS_NCN& packet) {
    Roster::Connection& connection = roster.connections[packet.UCID];
    connection.known = true;
    connection.local = (packet.Flags & NCN_REMOTE) == 0;
    connection.userName = gameTextAsUtf8(packet.UName);
    connection.playerName = gameTextAsUtf8(packet.PName);
}

void onRosterConnectionLeaves(Roster& roster, const IS_CNL& packet) { roster.connections[packet.UCID] = {}; }

void onRosterPlayer(Roster& roster, const IS_NPL& packet) {
    Roster::Player& player = roster.players[packet.PLID];
    player = {true, packet.UCID, gameTextAsUtf8(packet.PName), false};
}

void onRosterTakeOver(Roster& roster, const IS_TOC& packet) {
    Roster::Player& player = roster.players[packet.PLID];
    const Roster::Connection& driver = roster.connections[packet.NewUCID];
    player.ucid = packet.NewUCID;
    if (!player.known || !driver.known) {
        player.known = false;  // a name of the driver before would not be true
        return;
    }
    player.name = driver.playerName;
}

void onRosterPlayerLeaves(Roster& roster, const IS_PLL& packet) { roster.players[packet.PLID] = {}; }

void onRosterPitLane(Roster& roster, const IS_PLA& packet) {
    roster.players[packet.PLID].inPitLane = packet.Fact != PITLANE_EXIT;
}

std::optional<std::string> playerName(const Roster& roster, std::uint8_t plid) {
    const Roster::Player& player = roster.players[plid];
    if (!player.known) return std::nullopt;
    return player.name;
}
