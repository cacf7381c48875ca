// Who is in the session: the connections and the players in cars, by the ids the game gives them, with
// their names turned into UTF-8 for the outward faces; whether each car is in the pit lane.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/wire.h"

struct Roster {
    struct Connection {
        bool known = false;
        bool local = false;       // this machine's own connection
        std::string userName;     // UTF-8
        std::string playerName;   // UTF-8
    };
    struct Player {
        bool known = false;
        byte ucid = 0;            // the connection that drives the car
        std::string name;         // UTF-8
        bool inPitLane = false;
    };
    std::array<Connection, 256> connections;  // by UCID
    std::array<Player, 256> players;          // by PLID
};

void onRosterConnection(Roster& roster, const IS_NCN& packet);
void onRosterConnectionLeaves(Roster& roster, const IS_CNL& packet);
void onRosterPlayer(Roster& roster, const IS_NPL& packet);
void onRosterTakeOver(Roster& roster, const IS_TOC& packet);  // the car's name becomes its new driver's
void onRosterPlayerLeaves(Roster& roster, const IS_PLL& packet);
void onRosterPitLane(Roster& roster, const IS_PLA& packet);

// A player's name, when the roster knows the car.
std::optional<std::string> playerName(const Roster& roster, std::uint8_t plid);

// A text field of the game as UTF-8: up to its first zero byte, read as Windows-1252 (the game's own
// code page for Latin text); a byte that is no character there (a control byte, one of the five unused)
// becomes U+FFFD. Never fails, whatever the bytes.
std::string gameTextAsUtf8(std::string_view field);
template <std::size_t N>
std::string gameTextAsUtf8(const char (&field)[N]) {
    std::string_view text(field, N);
    return gameTextAsUtf8(text.substr(0, text.find('\0')));
}
