// What the program does with each InSim packet and OutGauge datagram: the dispatch table, and the
// steps of a lap line and of a datagram in the order the console shows them.
#include "app/program.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

#include "link/handshake.h"
#include "link/outgoing.h"
#include "race/handlers.h"
#include "race/race_length.h"
#include "strategy/car_at_line.h"
#include "strategy/fuel.h"
#include "strategy/plan.h"
#include "strategy/plan_typing.h"
#include "strategy/pit_guard.h"
#include "strategy/pitboard.h"

namespace {

void keepAlive(Program&, const IS_TINY& tiny, Output& out) { answerKeepAlive(tiny, out); }

void state(Program& program, const IS_STA& sta, Output& out) {
    const bool ended = onState(program.race, sta, out);
    afterState(program.pitFuel, program.race, out);
    if (ended && program.log) program.log->endSession(out);
    if (ended && program.faces) publishSnapshot(program);
}

// A session found running is followed from its restart answer; the session before ends first.
void join(Program& program, const IS_RST& rst, Output& out) {
    if (program.race.session.tracking) endTracking(program.race, out);
    if (program.log) program.log->endSession(out);
    const SessionKind kind = onJoin(program.race, rst, out);
    afterRestart(program.pitFuel, out);
    if (program.log) program.log->startSession(kind, rst, out);
    program.started = rst;
    if (program.faces) facesSessionBegun(program);
}

// After a lost link: the same track and length as the session tracked may be the same session, which
// the cars' laps then confirm; anything else is another session.
void answeredRestart(Program& program, const IS_RST& rst, Output& out) {
    const IS_RST& was = program.started;
    const bool sameSoFar = program.resume == Program::Resume::Asked && program.race.session.tracking &&
                           std::memcmp(was.Track, rst.Track, sizeof rst.Track) == 0 && was.RaceLaps == rst.RaceLaps &&
                           was.QualMins == rst.QualMins;
    if (sameSoFar) {
        program.resume = Program::Resume::SameSoFar;
        program.answer = rst;
        return;
    }
    program.resume = Program::Resume::None;
    join(program, rst, out);
}

// The session before ends in the log before the restart is reported.
void restart(Program& program, const IS_RST& rst, Output& out) {
    if (program.join && rst.ReqI != 0) return answeredRestart(program, rst, out);
    if (program.log) program.log->endSession(out);
    const SessionKind kind = onRestart(program.race, rst, out);
    afterRestart(program.pitFuel, out);
    if (program.log) program.log->startSession(kind, rst, out);
    program.started = rst;
    program.resume = Program::Resume::None;
    if (program.faces) facesSessionBegun(program);
}

// The cars' laps answering a join: which laps the store missed, and after a lost link whether the race goes on.
void nodeLaps(Program& program, std::span<const std::uint8_t> packet, Output& out) {
    if (packet[2] == 0) return;  // not an answer
    Tracker& race = program.race;
    const std::vector<NodeLap> cars = readNodeLaps(packet);
    if (program.resume == Program::Resume::SameSoFar) {
        if (race.pLaps && carsBehindStore(*race.pLaps, cars)) {
            join(program, program.answer, out);
        } else {
            printLine(out, "Link back: the same session is still running, tracking goes on.");
        }
    }
    program.resume = Program::Resume::None;
    if (race.pLaps && race.session.tracking) markMissedLaps(*race.pLaps, cars);
}

// The pit guard's and the roster's: the guard's steps only while it is on, the roster's with a face on.
void connection(Program& program, const IS_NCN& ncn, Output&) {
    onConnection(program.pitFuel, ncn);
    if (program.faces) onRosterConnection(program.faces->roster, ncn);
    if (program.team) teamConnection(program, ncn);
}
void host(Program& program, const IS_ISM& ism, Output&) { teamHost(program, ism); }
void connectionLeaves(Program& program, const IS_CNL& cnl, Output&) {
    if (program.faces) onRosterConnectionLeaves(program.faces->roster, cnl);
}
void player(Program& program, const IS_NPL& npl, Output& out) {
    onPlayer(program.pitFuel, program.race, npl, out);
    if (program.faces) onRosterPlayer(program.faces->roster, npl);
}
void takeOver(Program& program, const IS_TOC& toc, Output& out) {
    // The team link reads who drives from the guard's record too.
    if (program.pitFuel.guard.on || program.team) onTakeOver(program.pitFuel, program.race, toc, out);
    if (program.team) teamTakeOver(program, toc);
    if (program.faces) onRosterTakeOver(program.faces->roster, toc);
}
void playerLeaves(Program& program, const IS_PLL& pll, Output&) {
    onPlayerLeaves(program.pitFuel, pll);
    if (program.faces) onRosterPlayerLeaves(program.faces->roster, pll);
}

void split(Program& program, const IS_SPX& spx, Output& out) { onSplit(program.race, spx, out); }

void result(Program& program, const IS_RES& res, Output& out) {
    const bool taken = onResult(program.race, res, out);
    if (taken && program.log) program.log->result(res, out);
}

void mode(Program& program, const IS_CIM& cim, Output& out) { onInterfaceMode(program.pitFuel, program.race, cim, out); }
void pitLane(Program& program, const IS_PLA& pla, Output& out) {
    if (program.pitFuel.guard.on) onPitLane(program.pitFuel, program.race, pla, out);
    if (!program.faces) return;
    onRosterPitLane(program.faces->roster, pla);
    facesPitEvent(program);
}
void pitStop(Program& program, const IS_PIT& pit, Output& out) {
    if (program.pitFuel.guard.on) onPitStop(program.pitFuel, program.race, pit, out);
    if (program.faces) facesPitStop(program, pit);
}
void pitStopFinished(Program& program, const IS_PSF& psf, Output& out) {
    if (program.pitFuel.guard.on) onPitStopFinished(program.pitFuel, program.race, psf, out);
    if (program.faces) facesPitEvent(program);
}

// Every other Type is read by its Size byte and dropped, the rows of a setting that is off too: its
// packets are then read by their Size byte and dropped as ever.
constexpr Route<Program> kAlways[] = {
    route<keepAlive>(ISP_TINY), route<state>(ISP_STA), route<restart>(ISP_RST),
    route<onLapLine>(ISP_LAP),  route<split>(ISP_SPX), route<result>(ISP_RES),
};
// The pit guard's, and with a face on the roster's and the pit events'.
constexpr Route<Program> kGuard[] = {
    route<mode>(ISP_CIM),       route<pitLane>(ISP_PLA),   route<pitStop>(ISP_PIT),      route<pitStopFinished>(ISP_PSF),
    route<connection>(ISP_NCN), route<player>(ISP_NPL),    route<takeOver>(ISP_TOC),     route<playerLeaves>(ISP_PLL),
    route<connectionLeaves>(ISP_CNL),
};
constexpr Route<Program> kJoin[] = {sizedRoute<Program, nodeLaps>(ISP_NLP)};
constexpr Route<Program> kTeam[] = {route<host>(ISP_ISM)};

template <std::size_t... Sizes>
constexpr auto tableOf(const Route<Program> (&... parts)[Sizes]) {
    std::array<Route<Program>, (Sizes + ...)> table{};
    std::size_t at = 0;
    ((std::copy(parts, parts + Sizes, table.begin() + at), at += Sizes), ...);
    return table;
}
constexpr auto kBoth = tableOf(kAlways, kJoin, kGuard);
constexpr auto kGuardOnly = tableOf(kAlways, kGuard);
constexpr auto kJoinOnly = tableOf(kAlways, kJoin);
constexpr auto kWithTeam = tableOf(kAlways, kJoin, kGuard, kTeam);  // the join's rows take only answers it asked for

}  // namespace

void useInSimVersion(Program& program, word version, Output& out) {
    program.race.session.insimVersion = version;
    out.setSizeUnit(sizeUnitOf(version));
    PitGuard& guard = program.pitFuel.guard;
    if (guard.on && version < kPitGuardVersion) {
        diagnose(out, "the simulator speaks InSim version ", version, ": the pit guard needs version 8 or later, so it is off");
        guard.on = false;
    }
}

Routes<Program> programRoutes(const Program& program) {
    if (program.team) return kWithTeam;
    const bool guard = program.pitFuel.guard.on || program.faces;
    if (guard && program.join) return kBoth;
    if (guard) return kGuardOnly;
    const Routes<Program> joinOnly = kJoinOnly;
    return program.join ? joinOnly : joinOnly.first(std::size(kAlways));
}

std::vector<byte> requestsAfterHandshake(const Program& program) {
    const bool session = program.join;
    const bool drivers = program.join || program.pitFuel.guard.on || program.faces || program.team;  // the faces' roster, the team's driver
    std::vector<byte> asked;
    asked.reserve(5);  // and GCC 12's Release build sees no write past an empty vector's end
    if (session) asked.insert(asked.end(), {TINY_SST, TINY_RST});  // the state first: the restart answer is read against it
    if (drivers) asked.insert(asked.end(), {TINY_NCN, TINY_NPL});
    if (session) asked.push_back(TINY_NLP);
    if (program.team) asked.push_back(TINY_ISM);  // the host's name, which the team's messages carry
    return asked;
}

namespace {

constexpr std::string_view kRaceOver = "the race is over";  // why a held pit fuel amount is dropped

// The steps of a lap line, and what they decided.
LapLineOutcome lapLineSteps(Program& program, const IS_LAP& lap, Output& out) {
    Tracker& race = program.race;
    const bool tracking = race.session.tracking;
    const LapRegistered registered = registerLap(race, lap, out);
    onLapLineOfCar(program.pitFuel, lap);
    if (program.team) teamLapLine(program, lap);
    // Nothing is typed into a race that is over: a lap beyond its length ends tracking, and the amount held goes.
    if (tracking && !race.session.tracking) dropHeldPitFuel(program.pitFuel, kRaceOver, out);
    LapLineOutcome outcome;
    outcome.position = registered.position;
    outcome.viewed = registered.viewed;
    outcome.placeUnknown = registered.placeUnknown;
    switch (registered.board) {
    case BoardDue::None:
        return outcome;
    case BoardDue::Qualifying:
        showQualifyingBoard(race, out);
        return outcome;
    case BoardDue::Race:
        break;
    }
    BoardData& board = race.latestBoard;
    const Distance distance = distanceAt(race, lap);
    if (distance.flagTaken) noteFlagTaken(program.pitFuel, race.races, lap.PLID);
    outcome.raceBoard = true;
    outcome.distance = distance;
    startRaceBoard(board, lap, race.session, distance);
    const std::optional<std::size_t> slot = findStandings(race, lap, out);
    if (slot && lap.LapsDone > 2) {
        const CarAtLine car = carAtLine(race, lap, *slot, distance, program.fuel, out);
        const StintPlan plan = planStints(car, program.fuel, program.stints,
                                          countSaid(program.planShown, race.races, lap.NumStops));
        reportPlan(program.planShown, race.races, lap.NumStops, plan, program.fuel, out);
        std::optional<float> planned;
        if (plan.stops > 0 && !plan.mandatory) planned = plan.fuel;
        const FuelCall call = callFuel(car, program.fuel, planned, plan.made && plan.stops == 0, out);
        outcome.call = call;
        outcome.plan = plan;
        // While a team mate drives, his program types: the board shows what it typed, or the plan's window.
        const bool mate = mateDrives(program, lap.PLID);
        if (call.runsShort && !mate) markPitStop(board);
        // Typed, or held by the guard. With a fuel stop planned the plan says when; with the plan on the board
        // says SET only for an amount typed.
        const bool planOn = program.stints != Stints::Off;
        if (mate) {
            if (program.teamSide.teamAmount != 0) teamAdvice(board, program.teamSide.teamAmount);
        } else if (planned) {
            const unsigned amount = plannedAmountDue(program.planTyped, program.pitFuel, race.races, lap, plan,
                                                     program.planShown.stops, program.fuel);
            if (amount != 0) outcome.pitFuel = setPlannedPitFuel(program.pitFuel, race, lap, amount, out);
        } else if (call.runsShort) {
            outcome.pitFuel = setPitFuel(program.pitFuel, race, lap, call.need, !planOn, out);
        }
        advisePlan(board, plan, mate ? 0 : amountSet(program.pitFuel, race.races, lap.PLID));
        if (program.team) {
            TeamSide& side = program.teamSide;
            side.use = call.estimated && call.use > 0.0f ? std::optional<float>(call.use) : std::nullopt;
            side.lapsToGo = static_cast<float>(distance.lapsToGo);
            side.stops = plan.stops;
            side.windowFrom = plan.windowFrom;
            side.windowTo = plan.windowTo;
            side.amount = outcome.pitFuel != 0 ? outcome.pitFuel : program.pitFuel.guard.held;
        }
    }
    if (distance.finishing) dropHeldPitFuel(program.pitFuel, kRaceOver, out);  // the viewed car took the flag
    setLastLapAdvice(board, distance);
    showRaceBoard(race, out);
    return outcome;
}

}  // namespace

void onLapLine(Program& program, const IS_LAP& lap, Output& out) {
    const LapLineOutcome outcome = lapLineSteps(program, lap, out);
    if (program.log) program.log->lapLine(lap, outcome, out);
    if (program.faces) facesLapLine(program, lap, outcome);
}

void onGauge(Program& program, const void* datagram, std::size_t length, Output& out) {
    const std::optional<float> fuel = readGauge(program.race, datagram, length, out);
    if (!fuel) return;
    ageBoards(program.race, program.boardTimeOutMs, out);
    const std::optional<LevelStored> stored = recordLapFuel(program.race, *fuel, out);
    if (stored && program.log) program.log->levelStored(*stored, out);
    if (stored && program.faces) facesLevelStored(program, *stored);
    if (stored && program.team) teamLevelStored(program, *stored);
}

void onTeamTurn(Program& program, Output& out) {
    for (const TeamReport& report : program.team->arrived(out)) takeTeamReport(program, report, out);
}

void onLinkLost(Program& program, Output& out) {
    dropHeldPitFuel(program.pitFuel, "the link was lost", out);
    if (program.join) {
        if (program.race.session.tracking) program.resume = Program::Resume::Asked;
        return;
    }
    if (program.race.session.tracking) endTracking(program.race, out);
    if (program.log) program.log->endSession(out);
}
