// How long the race is, as the simulator encodes it in RaceLaps, and how far a car's lap line is from
// its flag: laps counted in ones or in tens, or hours of race time counted to the leader's line.
#pragma once

#include <cstdint>

#include "link/wire.h"
#include "race/tracker.h"

// RaceLaps of an IS_RST or IS_STA. Read as long races: 1 to 99 laps as they are, 100 to 190 a race of
// (RaceLaps - 100) x 10 + 100 laps, 191 to 238 a race of RaceLaps - 190 hours. Otherwise, and for any
// other value, RaceLaps laps as it reads.
RaceLength decodeRaceLaps(std::uint8_t raceLaps, bool longRaces);
bool isLongLapRace(std::uint8_t raceLaps);  // 100 to 190
bool isTimedRace(std::uint8_t raceLaps);    // 191 to 238

// The race being tracked, as every reader takes it. With long races read, the length and kind its restart
// gave, which its lap store keeps: the host may set up the next race while this one runs, and the IS_STA
// then reports that one. Otherwise the RaceLaps of the last IS_STA, as ever.
RaceLength raceLength(const Tracker& tracker);

// What a car's lap line has to go, worked out from the store. In a timed race the total is an
// estimate: the leader's finishing line from his latest line and recent pace, then the car's own
// lines up to and including its first one after that; a lapped car counts its own laps. A lap race read
// with long races counts a lapped car's lines to go the same way, up to the race's laps.
struct Distance {
    unsigned total = 0;      // laps the car completes in all (a lap race: the race's laps)
    unsigned lapsToGo = 0;   // lines still to cross after this one; 0 from its finishing line on
    bool estimated = false;  // a timed race's total
    bool lastLap = false;    // this line starts the car's last lap
    bool finishing = false;  // this line is the car's finishing line
    bool flagTaken = false;  // this line is its finishing line or one after it
};
// `delayMs`: time the car will spend beyond its pace before the flag (a stop to come), which counts as if
// it had crossed this line that much later where the leader's finish counts.
Distance distanceAt(const Tracker& tracker, const IS_LAP& lap, std::uint32_t delayMs = 0);

// A car's recent pace: the mean time of its last three laps up to lap `lapsDone` among the last ten,
// leaving out laps with a stop and laps over 10 % slower than the best of those (a standing start, a
// caution); its elapsed time over its laps when none is left. 0 when it has no lap at all. Its place
// at the line of `lapsDone` is looked for first around `near`.
double recentPaceMs(const RaceLapStore& store, std::uint8_t plid, unsigned lapsDone, std::size_t near);
