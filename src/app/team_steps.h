// The team link's steps in the loop: the driving member's report at each of the car's lap lines, and the other
// members' reports taken into the lap store's fuel slots of the lines their own game reported.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/output.h"
#include "link/wire.h"
#include "publish/team_line.h"
#include "race/handlers.h"

struct Program;

struct TeamSide {                    // with <Team>: what the link's reports need of the game, and what came
    std::string host;                // the host's name, from IS_ISM
    std::string localUser;           // the user name of the local connection, from IS_NCN
    // What the viewed car's last lap line worked out, for the report that goes once its level is read.
    std::optional<float> use;
    float lapsToGo = 0.0f;
    unsigned stops = 0, windowFrom = 0, windowTo = 0, amount = 0;
    struct Waiting {
        TeamLine line;
        std::string sender;
    };
    std::vector<Waiting> waiting;    // lines of the team car that came before its own game's IS_LAP
    unsigned teamAmount = 0;         // the amount the driving member's program typed or held, for the board
    std::optional<TeamLine> shown;   // the latest line taken from another member
};

// The local connection is known, named, and drives the car.
bool localKnownToDrive(const Program& program, std::uint8_t plid);
// Another member is known to drive the car: this program only follows it.
bool mateDrives(const Program& program, std::uint8_t plid);

// Who the local connection is, and the host: the names the reports carry.
void teamConnection(Program& program, const IS_NCN& ncn);
void teamHost(Program& program, const IS_ISM& ism);

// A car handed over: when the local connection gave it away, what this program shared is not shared again.
void teamTakeOver(Program& program, const IS_TOC& toc);
// A lap line registered: a line of the team car that waited for this IS_LAP is taken now.
void teamLapLine(Program& program, const IS_LAP& lap);
// The level of the viewed car's line read: shared when the local connection drives it.
void teamLevelStored(Program& program, const LevelStored& stored);
// A report from another member: its lines stored where its race, car, lap and elapsed time match this game's.
void takeTeamReport(Program& program, const TeamReport& report, Output& out);
