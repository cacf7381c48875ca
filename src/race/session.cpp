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

SessionKind beginSession(Tracker& tracker, const IS_RST& packet, Output& out) {
    SessionState& session = tracker.session;
    const RaceLength length = decodeRaceLaps(packet.RaceLaps, tracker.longRaces);
    const bool lapRace = (packet.RaceLaps >= 1 && packet.RaceLaps <= kMaxRaceLaps) ||
                         (tracker.longRaces && isLongLapRace(packet.RaceLaps));
    const bool timedRace = tracker.longRaces && isTimedRace(packet.RaceLaps);
    if (lapRace || timedRace) {
        tracker.pLaps = std::make_unique<RaceLapStore>(length);  // it keeps the race's length and kind
        ++tracker.races;
        if (lapRace) {
            printLine(out, "Race! Number of laps: ", length.count, ". Allocated ", length.count * sizeof(LapBlock), "bytes.");
        } else {
            printLine(out, "Race! Duration: ", length.count * 60, " Minutes.");
        }
        session.tracking = true;
        return SessionKind::Race;
    }
    if (packet.RaceLaps == 0 && packet.QualMins != 0) {
        printLine(out, "Qualification! Duration: ", packet.QualMins, " Minutes.");
        tracker.qualifying.reset();
        tracker.qualifying = std::make_unique<QualifyingStore>();
        session.tracking = true;
        return SessionKind::Qualifying;
    }
    // Practice, and unless long races are read, races counted in tens of laps or in hours: nothing
    // is recorded for them, and tracking keeps whatever value it had.
    printLine(out, "Strange restart! Number of laps: ", packet.RaceLaps);
    return SessionKind::Other;
}

SessionKind onRestart(Tracker& tracker, const IS_RST& packet, Output& out) {
    SessionState& session = tracker.session;
    print(out, "Restart detected: ");
    tracker.pLaps.reset();  // at most one lap store at a time: the old one goes before a new one is made
    const SessionKind kind = beginSession(tracker, packet, out);

    print(out, "Cleared memory! ");
    clearButtons(out);
    printLine(out, "Cleared pitboard!");

    session.mustPit = (packet.Flags & HOSTF_MUST_PIT) != 0;
    if (session.mustPit) {
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
    tracker.pLaps.reset();
    const SessionKind kind = beginSession(tracker, packet, out);
    // Which laps were run before the join the cars' laps say, when they come.
    if (tracker.pLaps) tracker.pLaps->partialTo = RaceLapStore::kLapsNotKnown;
    clearButtons(out);
    tracker.session.mustPit = (packet.Flags & HOSTF_MUST_PIT) != 0;
    return kind;
}
