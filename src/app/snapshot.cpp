// The snapshots for the outward faces: the facts of the lap line, the stores, the roster and the link
// copied into one finished record and handed to the latest-snapshot slot. Nothing here works a fact out
// again: each is read where the loop put it.
#include "app/snapshot.h"

#include <algorithm>
#include <unordered_set>

#include "app/program.h"
#include "race/race_length.h"
#include "strategy/plan.h"

namespace {

constexpr std::size_t kStandingLaps = 100;  // a car not seen at a line within this many laps of the first is gone
constexpr byte kFuelHidden = 255;           // IS_PIT FuelAdd when the host does not show the fuel

std::optional<RaceSnapshot::Race> raceOf(const Tracker& race) {
    if (!race.session.tracking) return std::nullopt;
    RaceSnapshot::Race out;
    if (!race.pLaps) {
        if (!race.qualifying) return std::nullopt;
        out.kind = RaceSnapshot::Race::Kind::Qualifying;
        return out;
    }
    const RaceLength length = race.pLaps->length();
    if (length.kind == RaceLength::Hours) {
        out.kind = RaceSnapshot::Race::Kind::Timed;
        out.minutes = length.count * 60;
    } else {
        out.laps = length.count;
    }
    for (std::size_t index = race.pLaps->blockCount(); index-- > 0;) {
        if (race.pLaps->block(index)->arrivals > 0) {
            out.leaderLaps = static_cast<unsigned>(index + 1);
            break;
        }
    }
    return out;
}

// In qualifying, each car with a best lap, the fastest first.
std::vector<RaceSnapshot::Standing> qualifyingStandings(const QualifyingStore& store, const Roster& roster) {
    std::vector<const IS_RES*> results;
    for (const IS_RES& result : store.results) {
        if (result.BTime != 0) results.push_back(&result);
    }
    std::stable_sort(results.begin(), results.end(), [](const IS_RES* a, const IS_RES* b) { return a->BTime < b->BTime; });
    std::vector<RaceSnapshot::Standing> out;
    for (const IS_RES* result : results) {
        RaceSnapshot::Standing car;
        car.place = static_cast<unsigned>(out.size() + 1);
        car.plid = result->PLID;
        car.name = playerName(roster, result->PLID);
        if (!car.name && result->PName[0] != '\0') car.name = gameTextAsUtf8(result->PName);
        car.lapsDone = result->LapsDone;
        car.bestLapMs = result->BTime;
        car.gapMs = result->BTime - results.front()->BTime;
        car.inPit = roster.players[result->PLID].inPitLane;
        out.push_back(std::move(car));
    }
    return out;
}

// Each car at its latest line, the cars of later laps first, then in order of arrival.
std::vector<RaceSnapshot::Standing> standingsOf(const Tracker& race, const Roster& roster, unsigned leaderLaps) {
    std::vector<RaceSnapshot::Standing> out;
    if (!race.pLaps && race.qualifying && race.session.tracking) return qualifyingStandings(*race.qualifying, roster);
    if (!race.pLaps || leaderLaps == 0) return out;
    std::unordered_set<unsigned> seen;
    const std::size_t last = leaderLaps - 1;
    const std::size_t first = last >= kStandingLaps ? last - kStandingLaps + 1 : 0;
    for (std::size_t index = last + 1; index-- > first;) {
        const LapBlock& block = *race.pLaps->block(index);
        const bool partial = race.pLaps->partial(index);
        const std::size_t arrivals = std::min<std::size_t>(block.arrivals, kLapsPerBlock);
        for (std::size_t s = 0; s < arrivals; ++s) {
            const IS_LAP& lap = block.laps[s];
            if (!seen.insert(lap.PLID).second) continue;
            RaceSnapshot::Standing car;
            if (!partial) {
                car.place = static_cast<unsigned>(out.size() + 1);
                car.gapMs = lap.ETime - block.laps[0].ETime;
            }
            car.plid = lap.PLID;
            car.name = playerName(roster, lap.PLID);
            car.lapsDone = lap.LapsDone;
            car.lastLapMs = lap.LTime;
            car.inPit = roster.players[lap.PLID].inPitLane;
            out.push_back(std::move(car));
        }
    }
    // Behind a partial lap no place is known.
    for (std::size_t k = 1; k < out.size(); ++k) {
        if (!out[k - 1].place) out[k].place.reset();
    }
    return out;
}

std::optional<std::uint32_t> gapOf(const BoardData& board, std::uint32_t gap) {
    if (board.placeUnknown || gap == 0) return std::nullopt;  // 0: no car there
    return gap;
}

RaceSnapshot::Car carOf(const Program& program, const Faces::Line& line) {
    const Faces& faces = *program.faces;
    const LapLineOutcome& outcome = line.outcome;
    RaceSnapshot::Car car;
    car.plid = line.lap.PLID;
    car.name = playerName(faces.roster, line.lap.PLID);
    car.lap = line.lap.LapsDone;
    if (!outcome.placeUnknown && outcome.position != 0) car.place = outcome.position;
    car.lastLapMs = line.lap.LTime;
    if (outcome.raceBoard) {
        car.gapAheadMs = gapOf(line.board, line.board.gapAhead);
        car.gapBehindMs = gapOf(line.board, line.board.gapBehind);
        car.lapsToGo = outcome.distance.lapsToGo;
    }
    // The level read at the line when it came, else the fuel call's estimate of it.
    if (!faces.fuelByLap.empty() && faces.fuelPlid == car.plid && faces.fuelByLap.back().lap == car.lap) {
        car.fuelPercent = faces.fuelByLap.back().percent;
    } else if (outcome.call.estimated) {
        car.fuelPercent = outcome.call.estimate * 100.0f;
    }
    if (outcome.call.estimated) car.usePercent = outcome.call.use * 100.0f;
    car.advice = program.race.boardLines[3];
    if (!faces.fuelByLap.empty() && faces.fuelPlid == car.plid && faces.fuelByLap.back().lap == car.lap) {
        const bool team = faces.teamLevel && faces.teamLevel->lap == car.lap;
        car.source = team ? "team:" + faces.teamLevel->sender : "outgauge";
    }
    const Roster::Player& player = faces.roster.players[car.plid];
    const Roster::Connection& driver = faces.roster.connections[player.ucid];
    if (player.known && driver.known) car.driver = driver.userName;
    return car;
}

std::optional<RaceSnapshot::Plan> planOf(const Program& program, const StintPlan& plan) {
    if (program.stints == Stints::Off || !plan.made) return std::nullopt;
    RaceSnapshot::Plan out;
    out.stops = plan.stops;
    for (unsigned k = 1; k <= plan.stops && !plan.mandatory; ++k) {
        out.amounts.push_back(plannedPercent(k == plan.stops ? plan.lastFuel : plan.fuel, program.fuel));
    }
    if (plan.windowFrom != 0) out.windowFrom = plan.windowFrom;
    if (plan.windowTo != 0) out.windowTo = plan.windowTo;
    if (plan.savingUse != 0.0f) out.savingUse = plan.savingUse * 100.0f;
    return out;
}

std::optional<RaceSnapshot::Team> teamOf(const Program& program) {
    if (program.team == nullptr) return std::nullopt;
    RaceSnapshot::Team team{program.team->name(), program.team->connected(), {}};
    for (const Faces::Stint& stint : program.faces->stints) {
        auto member = std::find_if(team.members.begin(), team.members.end(),
                                   [&](const RaceSnapshot::Team::Member& m) { return m.user == stint.driver; });
        if (member == team.members.end()) member = team.members.insert(member, {stint.driver, {}});
        member->stints.push_back({stint.from, stint.to});
    }
    return team;
}

// The viewed car's line: its driver's stint goes on, or another's begins.
void noteStint(Faces& faces, const IS_LAP& lap) {
    const Roster::Player& player = faces.roster.players[lap.PLID];
    const Roster::Connection& driver = faces.roster.connections[player.ucid];
    if (!player.known || !driver.known) return;
    if (!faces.stints.empty() && faces.stints.back().driver == driver.userName) {
        faces.stints.back().to = std::max<unsigned>(faces.stints.back().to, lap.LapsDone);
    } else {
        faces.stints.push_back({driver.userName, lap.LapsDone, lap.LapsDone});
    }
}

std::chrono::steady_clock::time_point now() { return std::chrono::steady_clock::now(); }

}  // namespace

RaceSnapshot takeSnapshot(Program& program) {
    const Faces& faces = *program.faces;
    RaceSnapshot snapshot;
    snapshot.race = raceOf(program.race);
    snapshot.board = program.race.boardLines;
    if (faces.line) {
        snapshot.car = carOf(program, *faces.line);
        snapshot.plan = planOf(program, faces.line->outcome.plan);
    }
    snapshot.stops = faces.stops;
    snapshot.fuelByLap = faces.fuelByLap;
    snapshot.standings = standingsOf(program.race, faces.roster, snapshot.race ? snapshot.race->leaderLaps : 0);
    snapshot.link = {faces.linkUp, program.race.session.insimVersion};
    snapshot.team = teamOf(program);
    if (program.log) snapshot.raceLog = program.log->copy();
    return snapshot;
}

void publishSnapshot(Program& program) {
    program.faces->due.reset();
    program.faces->latest->publish(std::make_shared<const RaceSnapshot>(takeSnapshot(program)));
}

void facesLapLine(Program& program, const IS_LAP& lap, const LapLineOutcome& outcome) {
    Faces& faces = *program.faces;
    if (!outcome.viewed) return;
    if (faces.due) publishSnapshot(program);  // the line before never got its level
    faces.line = Faces::Line{lap, outcome, program.race.previousBoard};
    noteStint(faces, lap);
    if (outcome.call.runsShort) faces.need = outcome.call.need;
    faces.due = now() + Faces::kLevelWait;
}

void facesLevelStored(Program& program, const LevelStored& stored) {
    Faces& faces = *program.faces;
    if (stored.plid != faces.fuelPlid) faces.fuelByLap.clear();
    faces.fuelPlid = stored.plid;
    faces.fuelByLap.push_back({stored.lap, stored.level * 100.0f});
    if (faces.due && faces.line && faces.line->lap.PLID == stored.plid && faces.line->lap.LapsDone == stored.lap) {
        publishSnapshot(program);
    }
}

void facesTeamLevel(Program& program, std::uint8_t plid, unsigned lap, float level, const std::string& sender) {
    Faces& faces = *program.faces;
    if (plid != faces.fuelPlid) faces.fuelByLap.clear();
    faces.fuelPlid = plid;
    const RaceSnapshot::FuelPoint point{lap, level * 100.0f};
    auto at = std::lower_bound(faces.fuelByLap.begin(), faces.fuelByLap.end(), lap,
                               [](const RaceSnapshot::FuelPoint& p, unsigned l) { return p.lap < l; });
    if (at != faces.fuelByLap.end() && at->lap == lap) {
        *at = point;
    } else {
        faces.fuelByLap.insert(at, point);
    }
    if (!faces.teamLevel || faces.teamLevel->lap <= lap) faces.teamLevel = Faces::TeamLevel{lap, sender};
    // The car's latest line has its level now, however late the team's report came.
    if (faces.line && faces.line->lap.PLID == plid && faces.line->lap.LapsDone == lap) publishSnapshot(program);
}

void facesPitStop(Program& program, const IS_PIT& pit) {
    Faces& faces = *program.faces;
    if (pit.PLID != 0 && pit.PLID == program.race.session.sta.ViewPLID) {
        RaceSnapshot::Stop stop;
        stop.lap = pit.LapsDone;
        if (faces.need) {
            if (program.pitFuel.guard.lastTyped != 0) stop.askedPercent = program.pitFuel.guard.lastTyped;
            stop.neededPercent = *faces.need * 100.0f;
        }
        if (pit.FuelAdd != kFuelHidden) stop.tookPercent = pit.FuelAdd;
        faces.stops.push_back(stop);
        faces.need.reset();
    }
    publishSnapshot(program);
}

void facesPitEvent(Program& program) { publishSnapshot(program); }

void facesSessionBegun(Program& program) {
    Faces& faces = *program.faces;
    faces.line.reset();
    faces.stops.clear();
    faces.fuelByLap.clear();
    faces.need.reset();
    faces.teamLevel.reset();
    faces.stints.clear();
    publishSnapshot(program);
}

void facesLink(Program& program, bool connected) {
    program.faces->linkUp = connected;
    publishSnapshot(program);
}

void publishWhenDue(Program& program) {
    if (program.faces->due && now() >= *program.faces->due) publishSnapshot(program);
}
