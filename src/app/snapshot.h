// The snapshots the loop publishes for the outward faces: what it keeps for them between events, and the
// events at which it copies the facts the loop worked out into a finished snapshot, after the board is sent.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/race_log.h"
#include "link/wire.h"
#include "publish/latest_snapshot.h"
#include "publish/snapshot.h"
#include "race/handlers.h"
#include "race/roster.h"

struct Program;

struct Faces {
    std::shared_ptr<LatestSnapshot> latest;  // where the snapshots go
    Roster roster;
    bool linkUp = false;
    struct Line {                    // the viewed car's last lap line, as its steps left it
        IS_LAP lap;
        LapLineOutcome outcome;
        BoardData board;             // the board shown at it
    };
    std::optional<Line> line;
    // A lap line's snapshot waits this long for the line's level.
    static constexpr std::chrono::milliseconds kLevelWait{100};
    std::optional<std::chrono::steady_clock::time_point> due;
    std::vector<RaceSnapshot::Stop> stops;          // of the session
    std::vector<RaceSnapshot::FuelPoint> fuelByLap;  // of the car of `fuelPlid`, this session
    std::uint8_t fuelPlid = 0;
    std::optional<float> need;       // the fuel call's need at the last line that typed an amount
    struct TeamLevel {               // the latest level of the car that the team link gave, and its sender
        unsigned lap = 0;
        std::string sender;
    };
    std::optional<TeamLevel> teamLevel;
    struct Stint {                   // the viewed car's drivers, by their connection's user name, this session
        std::string driver;
        unsigned from = 0, to = 0;
    };
    std::vector<Stint> stints;
};

// The steps of the loop that publish, each after what it does for the game.
void facesLapLine(Program& program, const IS_LAP& lap, const LapLineOutcome& outcome);  // the viewed car's: waits
void facesLevelStored(Program& program, const LevelStored& stored);  // the line's level: published
// A level of the car from the team link, stored in the lap store's slot of the line: in place of any other.
void facesTeamLevel(Program& program, std::uint8_t plid, unsigned lap, float level, const std::string& sender);
void facesPitStop(Program& program, const IS_PIT& pit);
void facesPitEvent(Program& program);       // IS_PSF, IS_PLA
void facesSessionBegun(Program& program);   // a restart or a join: the session's own facts start anew
void facesLink(Program& program, bool connected);
// Each loop turn: a lap line whose level did not come in time is published without it.
void publishWhenDue(Program& program);

// The facts as they stand now, copied.
RaceSnapshot takeSnapshot(Program& program);
void publishSnapshot(Program& program);
