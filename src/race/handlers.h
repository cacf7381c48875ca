// What race tracking does with each InSim packet and OutGauge datagram it is handed, whole.
// Race tracking records and reports; the board and the fuel calls are decided above it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/output.h"
#include "link/wire.h"
#include "race/tracker.h"

void onState(Tracker& tracker, const IS_STA& packet, Output& out);    // session state, view changes, session end
void onRestart(Tracker& tracker, const IS_RST& packet, Output& out);  // race or qualifying (re)start
void onSplit(Tracker& tracker, const IS_SPX& packet, Output& out);    // a car passed a split
void onResult(Tracker& tracker, const IS_RES& packet, Output& out);   // a qualifying result

// Which board a lap line calls for once it is registered.
enum class BoardDue { None, Race, Qualifying };

// A car completed a lap: in a race its record is reported and stored in the block of its lap; a lap
// past the race length ends tracking. Says which board the viewed player's lap line calls for.
BoardDue registerLap(Tracker& tracker, const IS_LAP& packet, Output& out);

// The viewed player's standings at the line of the lap before `packet`'s, from that lap's block, into
// latestBoard (position, gaps, lap time); reports how many cars the block holds. Returns the player's
// slot in that block, or nothing when he is not in it, and then the last standings stay.
std::optional<std::size_t> findStandings(Tracker& tracker, const IS_LAP& packet, Output& out);

// The OutGauge datagram as received: only the 92-byte form is taken; its Time becomes the current
// time. Returns its fuel level, or nothing for a datagram of another length.
std::optional<float> readGauge(Tracker& tracker, const void* datagram, std::size_t length, Output& out);
// Stores the viewed player's fuel level in the slots of his lap records not yet recorded.
void recordLapFuel(Tracker& tracker, float fuel, Output& out);
