// Session state and restarts: follows IS_STA and IS_RST, creates and releases the lap and qualifying
// stores, and takes the board off the screen when the session ends or it is about another player.
#include <memory>

#include "link/outgoing.h"
#include "race/handlers.h"
#include "race/race_length.h"

void endTracking(Tracker& tracker, Output& out) {
    printLine(out, "Session ended! Stopping tracking! Clearing buttons!");
    tracker.pLaps.reset();  // the qualifying store stays: its standings outlive the session
    tracker.session.tracking = false;
    clearButtons(out);
}

bool onState(Tracker& tracker, const IS_STA& packet, Output& out) {
    SessionState& session = tracker.session;
    const bool ended = packet.RaceInProg == RIP_NO_RACE && session.tracking;
    if (ended) endTracking(tracker, out);
    session.sta = packet;
    if (!session.tracking) return ended;

    // Checked on every IS_STA, not only on a change of view: while the viewed player is not the one
    // the board in use is about, each state report takes the board away. One clear at most.
    const bool raceBoardForAnother = packet.RaceInProg == RIP_RACE && packet.ViewPLID != tracker.latestBoard.plid;
    const bool qualifyingBoardForAnother =
        packet.RaceInProg == RIP_QUALIFYING && packet.ViewPLID != tracker.previousBoard.plid;
    if (raceBoardForAnother || qualifyingBoardForAnother) clearButtons(out);
    return ended;
}

namespace {

// The session the restart begins, its store and its words, which end the console line.
SessionKind beginSession(Tracker& tracker, const IS_RST& packet, Output& out) {
    SessionState& session = tracker.session;
    SessionKind kind = SessionKind::Other;
    tracker.pLaps.reset();  // at most one lap store at a time: the old one goes before a new one is made

    const RaceLength length = decodeRaceLaps(packet.RaceLaps, tracker.longRaces);
    const bool lapRace = (packet.RaceLaps >= 1 && packet.RaceLaps <= kMaxRaceLaps) ||
                         (tracker.longRaces && isLongLapRace(packet.RaceLaps));
    if (lapRace) {
        tracker.pLaps = std::make_unique<RaceLapStore>(length.count);
        ++tracker.races;
        printLine(out, "Race! Number of laps: ", length.count, ". Allocated ", length.count * sizeof(LapBlock), "bytes.");
        session.tracking = true;
        kind = SessionKind::Race;
    } else if (tracker.longRaces && isTimedRace(packet.RaceLaps)) {
        tracker.pLaps = std::make_unique<RaceLapStore>(RaceLapStore::timed(length.count));
        ++tracker.races;
        printLine(out, "Race! Duration: ", length.count * 60, " Minutes.");
        session.tracking = true;
        kind = SessionKind::Race;
    } else if (packet.RaceLaps == 0 && packet.QualMins != 0) {
        printLine(out, "Qualification! Duration: ", packet.QualMins, " Minutes.");
        tracker.qualifying.reset();
        tracker.qualifying = std::make_unique<QualifyingStore>();
        session.tracking = true;
        kind = SessionKind::Qualifying;
    } else {
        // Practice, and unless long races are read, races counted in tens of laps or in hours: nothing
        // is recorded for them, and tracking keeps whatever value it had.
        printLine(out, "Strange restart! Number of laps: ", packet.RaceLaps);
    }
    session.mustPit = (packet.Flags & HOSTF_MUST_PIT) != 0;
    return kind;
}

}  // namespace

SessionKind onRestart(Tracker& tracker, const IS_RST& packet, Output& out) {
    print(out, "Restart detected: ");
    const SessionKind kind = beginSession(tracker, packet, out);

    print(out, "Cleared memory! ");
    clearButtons(out);
    printLine(out, "Cleared pitboard!");

    if (tracker.session.mustPit) {
        printLine(out, "Pitting is mandatory!");
    } else {
        printLine(out, "Pitting isn't mandatory.");
    }
    return kind;
}

SessionKind onJoin(Tracker& tracker, const IS_RST& packet, Output& out) {
    const byte running = tracker.session.sta.RaceInProg;
    if (running != RIP_RACE && running != RIP_QUALIFYING) return SessionKind::Other;
    print(out, running == RIP_RACE ? "Joined a race in progress: " : "Joined a qualifying session in progress: ");
    const SessionKind kind = beginSession(tracker, packet, out);
    // Which laps were run before the join the cars' laps say, when they come.
    if (tracker.pLaps) tracker.pLaps->partialTo = RaceLapStore::kLapsNotKnown;
    clearButtons(out);
    return kind;
}
