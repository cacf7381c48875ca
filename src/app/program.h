// What the program does with each InSim packet and OutGauge datagram: the dispatch table, and the
// steps of a lap line and of a datagram in the order the console shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "app/config.h"
#include "app/race_log.h"
#include "app/snapshot.h"
#include "app/team_steps.h"
#include "link/dispatch.h"
#include "link/output.h"
#include "publish/team_port.h"
#include "race/tracker.h"
#include "strategy/fuel_settings.h"
#include "strategy/plan.h"
#include "strategy/plan_typing.h"
#include "strategy/pit_fuel.h"

struct Program {                     // everything the handlers work on, for the whole run
    Tracker race;                    // sessions, stores and boards
    std::int32_t boardTimeOutMs = kDefaultBoardTimeOutMs;
    FuelSettings fuel;
    Stints stints = Stints::Off;     // with a Plan setting: the stint plan
    PlanShown planShown;
    PlanTyped planTyped;
    PitFuelState pitFuel;
    std::optional<RaceLog> log;      // with a Log setting: the race logs
    bool join = false;               // <Race join>: a session found running at a handshake is followed
    IS_RST started{};                // the restart, or its answer, that began the session tracked
    // After a lost link, with join on: the answers decide whether the session tracked goes on.
    enum class Resume { None, Asked, SameSoFar } resume = Resume::None;
    IS_RST answer{};                 // the restart answer while the cars' laps are awaited
    std::unique_ptr<Faces> faces;    // with <Web>: the roster and the snapshots published
    TeamPort* team = nullptr;        // with <Team>: the team link, which the entry point owns
    TeamSide teamSide;               // and what its reports need and left

    Program() = default;
    explicit Program(const Config& config) : boardTimeOutMs(config.boardTimeOutMs), fuel(config.fuel), stints(config.stints) {
        race.longRaces = config.longRaces;
        if (!config.logDirectory.empty()) log.emplace(config.logDirectory, stints != Stints::Off);
        pitFuel.guard.on = config.pitGuard;
        join = config.join;
        if (config.web.on) {
            faces = std::make_unique<Faces>();
            faces->latest = std::make_shared<LatestSnapshot>();
            if (log) log->keepCopy();
        }
    }
};

// The version the handshake accepted, from the next packet on: the unit of every Size byte both ways,
// what the lap lines carry, and the pit guard, which is turned off below version 8.
void useInSimVersion(Program& program, word version, Output& out);

// The handled InSim packet types, each with the rest of its packet after the header and its handler.
// The pit guard's packets are among them only while the guard is on, the cars' laps only with join.
Routes<Program> programRoutes(const Program& program);

// What the game is asked after every handshake, in the order its answers are read: with join, what session
// runs; with join or the guard, who drives (the guard's driver rule). A face that needs more of the game at
// each handshake adds its condition here.
std::vector<byte> requestsAfterHandshake(const Program& program);

// The InSim link was lost and is being made again: a held amount is dropped; with join the answers to
// come decide whether the session tracked goes on, without it that session ends here.
void onLinkLost(Program& program, Output& out);

// A lap line: registered and stored, then for the viewed player the standings, his picture at the line,
// the stint plan, the fuel call with the pit fuel typed (or held by the pit guard) when he will run short,
// and the board, in that order; last its row in the race log. A held amount goes at his finishing line and
// when the lap ends tracking.
void onLapLine(Program& program, const IS_LAP& lap, Output& out);

// An OutGauge datagram as received: the current time, boards too old taken away, the fuel at the line,
// and the row of the viewed car's line that waited for it.
void onGauge(Program& program, const void* datagram, std::size_t length, Output& out);

// Each loop turn with the team link on: what the other members sent since the last turn.
void onTeamTurn(Program& program, Output& out);
