// The team link's steps in the loop: the driving member's report at each of the car's lap lines, and the other
// members' reports taken into the lap store's fuel slots of the lines their own game reported.
#include "app/team_steps.h"

#include <algorithm>
#include <cstring>

#include "app/program.h"

namespace {

constexpr std::size_t kMostWaiting = 8;  // lines held for their IS_LAP: a few laps of a game that lags

std::string textOf(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

TeamRace raceOf(const Program& program) {
    const IS_RST& started = program.started;
    return {program.teamSide.host, textOf(started.Track, sizeof started.Track), started.RaceLaps};
}

// Stores the line's level in the slot of the car's record with the same lap and elapsed time, and hands it to
// the page; false when this game has no such record (yet).
bool storeLine(Program& program, std::uint8_t plid, const TeamLine& line, const std::string& sender) {
    if (!program.race.pLaps || line.lap == 0) return false;
    RaceLapStore& store = *program.race.pLaps;
    LapBlock* block = store.block(line.lap - 1u);
    if (block == nullptr) return false;
    const std::optional<std::size_t> slot = slotOf(*block, plid);
    if (!slot || block->laps[*slot].ETime != line.elapsed) return false;
    block->fuel[*slot] = line.fuel;  // the link's reading wins over this game's own for a car it does not drive
    if (line.fuel == 0.0f) store.noteReadAsZero(line.lap - 1u, *slot);
    if (program.faces) facesTeamLevel(program, plid, line.lap, line.fuel, sender);
    return true;
}

}  // namespace

bool localKnownToDrive(const Program& program, std::uint8_t plid) {
    const PitGuard& guard = program.pitFuel.guard;
    return guard.localUcid && guard.driverKnown.test(plid) && guard.driver[plid] == *guard.localUcid &&
           !program.teamSide.localUser.empty();
}

bool mateDrives(const Program& program, std::uint8_t plid) {
    const PitGuard& guard = program.pitFuel.guard;
    return program.team != nullptr && guard.localUcid && guard.driverKnown.test(plid) && guard.driver[plid] != *guard.localUcid;
}

void teamConnection(Program& program, const IS_NCN& ncn) {
    if ((ncn.Flags & NCN_REMOTE) == 0) program.teamSide.localUser = textOf(ncn.UName, sizeof ncn.UName);
}

void teamHost(Program& program, const IS_ISM& ism) { program.teamSide.host = textOf(ism.HName, sizeof ism.HName); }

void teamTakeOver(Program& program, const IS_TOC& toc) {
    const std::optional<byte>& local = program.pitFuel.guard.localUcid;
    if (local && toc.OldUCID == *local && toc.NewUCID != *local) program.team->withdraw();
}

void teamLapLine(Program& program, const IS_LAP& lap) {
    TeamSide& side = program.teamSide;
    if (side.waiting.empty()) return;
    std::erase_if(side.waiting, [&](const TeamSide::Waiting& w) { return storeLine(program, lap.PLID, w.line, w.sender); });
}

void teamLevelStored(Program& program, const LevelStored& stored) {
    if (program.team == nullptr || !localKnownToDrive(program, stored.plid) || !program.race.pLaps) return;
    const RaceLapStore& store = *program.race.pLaps;
    const TeamSide& side = program.teamSide;
    TeamReport history{raceOf(program), stored.plid, side.localUser, {}, {}, 0, 0, 0, 0, 0, true};
    std::optional<TeamLine> latest;
    for (std::size_t index = 0; index < store.blockCount(); ++index) {
        const LapBlock& block = *store.block(index);
        const std::optional<std::size_t> slot = slotOf(block, stored.plid);
        if (!slot || (block.fuel[*slot] == 0.0f && !store.readAsZero(index, *slot))) continue;
        history.lines.push_back({static_cast<std::uint16_t>(index + 1), block.laps[*slot].ETime, block.fuel[*slot]});
        if (index + 1 == stored.lap) latest = history.lines.back();
    }
    if (!latest) return;
    TeamReport report{history.race, stored.plid, side.localUser, {*latest}, side.use, side.lapsToGo, side.stops,
                      side.windowFrom, side.windowTo, side.amount, false};
    program.team->share(report, history);
}

void takeTeamReport(Program& program, const TeamReport& report, Output& out) {
    TeamSide& side = program.teamSide;
    if (report.sender == side.localUser) return;  // this program's own, back from the broker
    // Before this program is in a race of its own and knows its host (waiting for the game, joining) there is
    // nothing to compare with: the report is passed without a word, the team's next ones following once it is.
    if (!program.race.pLaps || !program.race.session.tracking || side.host.empty()) return;
    if (report.race != raceOf(program)) {
        program.team->ignored(report, "it is about another race", out);
        return;
    }
    if (report.plid != program.race.session.sta.ViewPLID) {
        program.team->ignored(report, "it is about another car", out);
        return;
    }
    if (localKnownToDrive(program, report.plid)) return;  // this program reads the car itself
    // Each line comes twice, as the lap and as the state the broker keeps for those who join later: once is taken.
    if (!report.history && !report.lines.empty()) {
        const TeamLine& line = report.lines.back();
        if (side.shown && side.shown->lap == line.lap && side.shown->elapsed == line.elapsed) return;
        side.shown = line;
    }
    for (const TeamLine& line : report.lines) {
        if (storeLine(program, report.plid, line, report.sender) || report.history) continue;
        if (side.waiting.size() == kMostWaiting) side.waiting.erase(side.waiting.begin());
        side.waiting.push_back({line, report.sender});
    }
    if (report.history || report.lines.empty()) return;
    side.teamAmount = report.amount;
    const TeamLine& line = report.lines.back();
    const float fuelPercent = line.fuel * 100.0f;
    print(out, "Team: ", report.sender, "'s car at lap ", line.lap, ": ", fuelPercent, "% fuel");
    if (report.use) {
        const float usePercent = *report.use * 100.0f;
        const float laps = line.fuel / *report.use;
        print(out, ", ", usePercent, "% per lap, ", laps, " laps of fuel");
    }
    if (report.windowTo != 0) print(out, ", ", report.stops, " stops, the next from lap ", report.windowFrom, " to ", report.windowTo);
    printLine(out, ".");
}
