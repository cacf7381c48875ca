// What a team's programs share about their car at each of its lap lines, as plain values: the driving
// member's loop fills one, the team link carries it, and the other members' loops take it in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TeamRace {               // which race, as the game names it: a message of another race is not taken
    std::string host;           // the host's name (IS_ISM)
    std::string track;          // short track name (IS_RST)
    unsigned raceLaps = 0;      // RaceLaps of the restart, as the game gives it
    bool operator==(const TeamRace&) const = default;
};

struct TeamLine {               // the car at one of its lap lines
    std::uint16_t lap = 0;      // LapsDone
    std::uint32_t elapsed = 0;  // ETime of the line, ms: with the lap, what ties the line to the game's own IS_LAP
    float fuel = 0.0f;          // level read at the line, fraction of a full tank
};

struct TeamReport {             // one message: a car's line, or its history of lines so far
    TeamRace race;
    std::uint8_t plid = 0;      // the car
    std::string sender;         // user name of the sending program's local connection
    std::vector<TeamLine> lines;  // one at a lap line, all of the race in a history, oldest first
    // What the driving member's program worked out at the line (absent in a history):
    std::optional<float> use;   // fuel a lap, fraction of a full tank
    float lapsToGo = 0.0f;      // lines still to cross
    unsigned stops = 0;         // stops the plan counts to the flag
    unsigned windowFrom = 0;    // the next stop's window, laps; 0: none
    unsigned windowTo = 0;
    unsigned amount = 0;        // percent typed or held at its latest line; 0: none
    bool history = false;
};
