// Session state and restarts: follows IS_STA and IS_RST, creates and releases the lap and qualifying stores.
// Also owns clearButtons, the one way the pitboard leaves the screen.
#include <memory>

#include "race/handlers.h"

namespace {

constexpr std::uint8_t kNoRace = 0;
constexpr std::uint8_t kRace = 1;
constexpr std::uint8_t kQualifying = 2;

}  // namespace

void clearButtons(Port& port) {
    const IS_BFN clear{sizeof(IS_BFN), ISP_BFN, 0, BFN_CLEAR, 0, 0, 0, 0};
    port.send(&clear, sizeof clear);
}

void onState(Tracker& tracker, const IS_STA& packet, Port& port) {
    SessionState& session = tracker.session;
    if (packet.RaceInProg == kNoRace && session.tracking) {
        printLine(port, "Session ended! Stopping tracking! Clearing buttons!");
        tracker.pLaps.reset();  // the qualifying store stays: its standings outlive the session
        session.tracking = false;
        clearButtons(port);
    }
    session.sta = packet;
    if (!session.tracking) return;

    // Checked on every IS_STA, not only on a change of view: while the viewed player is not the one
    // the board in use is about, each state report takes the board away. One clear at most.
    const bool raceBoardForAnother = packet.RaceInProg == kRace && packet.ViewPLID != tracker.latestBoard.plid;
    const bool qualifyingBoardForAnother =
        packet.RaceInProg == kQualifying && packet.ViewPLID != tracker.previousBoard.plid;
    if (raceBoardForAnother || qualifyingBoardForAnother) clearButtons(port);
}

void onRestart(Tracker& tracker, const IS_RST& packet, Port& port) {
    SessionState& session = tracker.session;
    print(port, "Restart detected: ");
    tracker.pLaps.reset();  // at most one lap store at a time: the old one goes before a new one is made

    if (packet.RaceLaps >= 1 && packet.RaceLaps <= kMaxRaceLaps) {
        tracker.pLaps = std::make_unique<RaceLapStore>(packet.RaceLaps);
        printLine(port, "Race! Number of laps: ", packet.RaceLaps, ". Allocated ",
                  static_cast<unsigned>(packet.RaceLaps) * sizeof(LapBlock), "bytes.");
        session.tracking = true;
    } else if (packet.RaceLaps == 0 && packet.QualMins != 0) {
        printLine(port, "Qualification! Duration: ", packet.QualMins, " Minutes.");
        tracker.qualifying.reset();
        tracker.qualifying = std::make_unique<QualifyingStore>();
        session.tracking = true;
    } else {
        // Long races counted in tens of laps, timed races and practice: nothing is recorded for them,
        // and tracking keeps whatever value it had.
        printLine(port, "Strange restart! Number of laps: ", packet.RaceLaps);
    }

    print(port, "Cleared memory! ");
    clearButtons(port);
    printLine(port, "Cleared pitboard!");

    session.mustPit = (packet.Flags & HOSTF_MUST_PIT) != 0;
    if (session.mustPit) {
        printLine(port, "Pitting is mandatory!");
    } else {
        printLine(port, "Pitting isn't mandatory.");
    }
}
