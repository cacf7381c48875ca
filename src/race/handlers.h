// What race tracking does with each InSim packet and OutGauge datagram it is handed, whole.
// Race tracking records and reports; the board and the fuel calls are decided above it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/output.h"
#include "link/wire.h"
#include "race/tracker.h"

// Session state, view changes, session end; true when this packet ended the session being tracked.
bool onState(Tracker& tracker, const IS_STA& packet, Output& out);

// What a restart began: a race with its lap store, a qualifying session with its store, or anything else.
enum class SessionKind { Race, Qualifying, Other };
SessionKind onRestart(Tracker& tracker, const IS_RST& packet, Output& out);  // race or qualifying (re)start
// The restart answer of a session found running: it is followed from here on as from a restart, with one
// console line "Joined ..."; until the cars' laps come, every block of its store counts as partial.
// Nothing when the last IS_STA says no race or qualifying runs.
SessionKind onJoin(Tracker& tracker, const IS_RST& packet, Output& out);
// Ends the session being tracked: its line, the lap store released, the buttons cleared.
void endTracking(Tracker& tracker, Output& out);

// The cars of an IS_NLP, as many as its bytes hold.
std::vector<NodeLap> readNodeLaps(std::span<const std::uint8_t> packet);
// The last lap of the car that the store holds a record of; 0: none.
std::uint16_t lastStoredLap(const RaceLapStore& store, std::uint8_t plid);
// Marks partial the laps the cars completed beyond what the store holds of them; laps marked before (at
// the join, when the link is lost later) stay marked.
void markMissedLaps(RaceLapStore& store, std::span<const NodeLap> cars);
// A car has done fewer laps than the store holds of it: the race the cars are in is another one.
bool carsBehindStore(const RaceLapStore& store, std::span<const NodeLap> cars);
// The session an IS_RST describes, begun: for a race, its lap store, made with the length and kind the
// packet gives and keeping them; for qualifying, a new store; tracking on for both. Writes the restart
// line's account of it ("Race! Number of laps: 5. Allocated 7700bytes."); anything else is a strange
// restart and changes nothing. The store of the session before must be gone.
SessionKind beginSession(Tracker& tracker, const IS_RST& packet, Output& out);

void onSplit(Tracker& tracker, const IS_SPX& packet, Output& out);  // a car passed a split
// A qualifying result; true when it was taken (a qualifying session is being tracked).
bool onResult(Tracker& tracker, const IS_RES& packet, Output& out);

// Which board a lap line calls for once it is registered.
enum class BoardDue { None, Race, Qualifying };

// What registering a lap line did: the board it calls for, and the car's place at the line (its
// arrival order in the block of its lap, 1 = first) when the lap store took its record, else 0.
struct LapRegistered {
    BoardDue board = BoardDue::None;
    std::uint16_t position = 0;
    bool viewed = false;  // the line of the viewed player: his fuel level comes with a later datagram
    bool placeUnknown = false;  // stored in a partial lap: `position` is its arrival, not its place
};

// A car completed a lap: in a race its record is reported and stored in the block of its lap; a lap
// past the race length ends tracking. Says which board the viewed player's lap line calls for.
LapRegistered registerLap(Tracker& tracker, const IS_LAP& packet, Output& out);

// The viewed player's standings at the line of the lap before `packet`'s, from that lap's block, into
// latestBoard (position, gaps, lap time); reports how many cars the block holds. Returns the player's
// slot in that block, or nothing when he is not in it, and then the last standings stay.
std::optional<std::size_t> findStandings(Tracker& tracker, const IS_LAP& packet, Output& out);

// The OutGauge datagram as received: only the 92-byte form is taken; its Time becomes the current
// time. Returns its fuel level, or nothing for a datagram of another length.
std::optional<float> readGauge(Tracker& tracker, const void* datagram, std::size_t length, Output& out);
// What one datagram stored: its level, given to every line of the viewed player that had none, the
// latest of them being the line of lap `lap`.
struct LevelStored {
    std::uint8_t plid = 0;
    std::uint16_t lap = 0;  // LapsDone
    float level = 0.0f;
};
// Stores the viewed player's fuel level in the slots of his lap records not yet recorded. Returns what
// it stored; nothing when no line got a level (as designed a level of 0 leaves them open for the next
// datagram; reading long races it fills them).
std::optional<LevelStored> recordLapFuel(Tracker& tracker, float fuel, Output& out);
