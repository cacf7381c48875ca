// Entry points of race tracking: one per InSim packet type the dispatch hands over.
// Each takes the whole packet as read from the wire.
#pragma once

#include "link/port.h"
#include "link/wire.h"
#include "race/session.h"

void onState(Tracker& tracker, const IS_STA& packet, Port& port);    // session state, view changes, session end
void onRestart(Tracker& tracker, const IS_RST& packet, Port& port);  // race or qualifying (re)start
void onLap(Tracker& tracker, const IS_LAP& packet, Port& port);      // a car completed a lap
void onSplit(Tracker& tracker, const IS_SPX& packet, Port& port);    // a car passed a split
void onResult(Tracker& tracker, const IS_RES& packet, Port& port);   // a qualifying result

// Time formatted for the console: minutes ":" seconds "." hundredths, no leading zeros (65030 -> 1:5.3).
void appendConsoleTime(std::string& out, std::uint32_t ms);

// The OutGauge step after a datagram has been received: length check, current time, board ageing, fuel.
void onOutGauge(Tracker& tracker, const void* datagram, std::size_t length, Port& port);
// Stores the viewed player's fuel level in the slots of its lap records not yet recorded.
void recordLapFuel(Tracker& tracker, float fuel, Port& port);
