// How long the race is, as the simulator encodes it in RaceLaps, and how far a car's lap line is from
// its flag: laps counted in ones or in tens, or hours of race time counted to the leader's line.
#include "race/race_length.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace {

constexpr std::uint8_t kFirstLongLapRace = 100;
constexpr std::uint8_t kLastLongLapRace = 190;
constexpr std::uint8_t kLastTimedRace = 238;
constexpr unsigned kPaceLaps = 3;
constexpr unsigned kPaceLookBack = 10;  // laps looked at for the pace, latest first
constexpr double kSlowedLap = 1.1;      // a lap this much slower than the best of those was slowed
constexpr double kHourMs = 3600000.0;

// The car's record of lap `lapsDone`; its place at that line is looked for first around `near`, since
// a car's place changes little from lap to lap.
const IS_LAP* recordOf(const RaceLapStore& store, std::uint8_t plid, unsigned lapsDone, std::size_t near = 0) {
    const LapBlock* block = lapsDone >= 1 ? store.block(lapsDone - 1) : nullptr;
    if (block == nullptr) return nullptr;
    const std::size_t arrivals = std::min<std::size_t>(block->arrivals, kLapsPerBlock);
    for (std::size_t step = 0; step < arrivals + near; ++step) {
        const std::size_t up = near + step, down = near - step;
        if (up < arrivals && block->laps[up].PLID == plid) return &block->laps[up];
        if (step <= near && step != 0 && down < arrivals && block->laps[down].PLID == plid) return &block->laps[down];
    }
    return nullptr;
}

// The elapsed time at the car's line before this one; 0 before its first.
std::uint32_t previousLineTime(const RaceLapStore& store, const IS_LAP& lap) {
    const IS_LAP* previous = lap.LapsDone >= 2 ? recordOf(store, lap.PLID, lap.LapsDone - 1u) : nullptr;
    return previous != nullptr ? previous->ETime : 0;
}

unsigned clampLaps(double laps) { return static_cast<unsigned>(std::clamp(laps, 0.0, 65535.0)); }

Distance timedDistance(const RaceLapStore& store, const IS_LAP& lap, unsigned hours, std::uint32_t delayMs) {
    Distance distance;
    distance.estimated = true;
    const unsigned done = lap.LapsDone;
    // Its finishing line: the first after the leader's finish, or the leader's own at or after the time.
    if (store.finished()) {
        distance.finishing = lap.ETime >= store.finishTime && previousLineTime(store, lap) < store.finishTime;
        const bool beyond = lap.ETime >= store.finishTime && !distance.finishing;
        if (distance.finishing || beyond) {
            distance.flagTaken = true;
            distance.total = done;
            return distance;
        }
    }
    // The leader: the first car to complete the latest lap any car has completed.
    const LapBlock* latest = store.blockCount() > 0 ? store.block(store.blockCount() - 1) : nullptr;
    if (latest == nullptr || latest->arrivals == 0) return distance;
    const IS_LAP& leader = latest->laps[0];
    const double leaderPace = recentPaceMs(store, leader.PLID, leader.LapsDone, 0);
    const LapBlock* own = store.block(done - 1u);  // its line was stored last in the block, or not at all
    const double ownPace = recentPaceMs(store, lap.PLID, done, own != nullptr && own->arrivals > 0 ? own->arrivals - 1u : 0);
    if (leaderPace <= 0.0 || ownPace <= 0.0) {
        distance.total = done;
        return distance;
    }
    // The race time of the leader's finishing line, from his latest line at his recent pace.
    double finish = store.finishTime;
    unsigned leaderLines = 0;
    const bool leads = leader.PLID == lap.PLID && leader.LapsDone == done;
    if (!store.finished()) {
        const double left = hours * kHourMs - leader.ETime - (leads ? delayMs : 0u);
        leaderLines = left > 0.0 ? clampLaps(std::ceil(left / leaderPace)) : 0;
        finish = leader.ETime + leaderLines * leaderPace;
    }
    unsigned lines = 0;
    if (leads) {
        lines = leaderLines;  // the leader's own finishing line is the one at or after the time
    } else {
        const double ahead = finish - lap.ETime - delayMs;
        lines = ahead >= 0.0 ? clampLaps(std::floor(ahead / ownPace) + 1.0) : 0;
    }
    distance.total = std::min(done + lines, 65535u);
    distance.lapsToGo = distance.total - done;
    distance.lastLap = distance.lapsToGo == 1;
    return distance;
}

// The time the leader's stops still to come before his flag will take beyond his pace. He stops again a
// stint after his last stop, a stint being the fewest laps he has run from a stop to the next (from the
// start before his second), and each stop costs what his stops so far cost on the mean; none is foreseen
// before his first. A lapped car's flag comes that much later: left out, it would be fuelled a line short.
double stopsToComeMs(const RaceLapStore& store, const IS_LAP& leader, unsigned raceLaps, double pace) {
    unsigned lastStop = 0, stint = 0, stops = 0, later = 0;
    double cost = 0.0;
    const IS_LAP* record = &leader;
    unsigned n = leader.LapsDone;
    for (; record != nullptr && n >= 1; --n) {
        const std::size_t slot = static_cast<std::size_t>(record - store.block(n - 1)->laps);
        const IS_LAP* before = n >= 2 ? recordOf(store, leader.PLID, n - 1, slot) : nullptr;
        if (record->NumStops > (before != nullptr ? before->NumStops : 0)) {
            if (later != 0) stint = stint == 0 ? later - n : std::min(stint, later - n);
            else lastStop = n;
            later = n;
            ++stops;
            cost += std::max(0.0, record->LTime - pace);
        }
        record = before;
    }
    // The first stint, from the start, only when there is no other: a car may start with less than a full tank.
    if (stint == 0 && n == 0) stint = later;
    if (stops == 0 || stint == 0) return 0.0;
    const unsigned next = std::max(lastStop + stint, leader.LapsDone + 1u);
    const unsigned toCome = next <= raceLaps ? (raceLaps - next) / stint + 1u : 0u;
    return toCome * cost / stops;
}

// A lap race read with long races: the race ends for every car at its first line after the winner's, so a
// lapped car completes fewer laps than the race's. Its lines to go are counted as in a timed race, from the
// leader's latest line, his laps left and his recent pace; the race's laps for the board as ever.
Distance lapDistance(const RaceLapStore& store, const IS_LAP& lap, unsigned raceLaps, std::uint32_t delayMs) {
    const unsigned done = lap.LapsDone;
    Distance distance;
    distance.total = raceLaps;
    distance.lapsToGo = raceLaps > done ? raceLaps - done : 0;
    distance.finishing = done == raceLaps;
    distance.flagTaken = raceLaps != 0 && distance.lapsToGo == 0;
    if (distance.lapsToGo == 0) return distance;
    // The winner's finish: the first record of the last lap's block.
    const LapBlock* last = store.block(raceLaps - 1u);
    if (last != nullptr && last->arrivals > 0) {
        distance.finishing = lap.ETime >= last->laps[0].ETime && previousLineTime(store, lap) < last->laps[0].ETime;
        distance.lapsToGo = lap.ETime >= last->laps[0].ETime ? 0 : 1;
        distance.flagTaken = distance.lapsToGo == 0;
        distance.lastLap = distance.lapsToGo == 1;
        return distance;
    }
    // The leader: the first car to complete the latest lap any car has completed, at most a few laps on.
    std::size_t latest = done - 1u;
    while (store.block(latest + 1) != nullptr && store.block(latest + 1)->arrivals > 0) ++latest;
    const IS_LAP& leader = store.block(latest)->laps[0];
    const LapBlock* own = store.block(done - 1u);
    const double leaderPace = recentPaceMs(store, leader.PLID, leader.LapsDone, 0);
    const double ownPace = recentPaceMs(store, lap.PLID, done, own != nullptr && own->arrivals > 0 ? own->arrivals - 1u : 0);
    if (leader.PLID != lap.PLID && leaderPace > 0.0 && ownPace > 0.0 && store.block(latest)->arrivals > 0) {
        const double finish = leader.ETime + (raceLaps - leader.LapsDone) * leaderPace +
                              stopsToComeMs(store, leader, raceLaps, leaderPace);
        const double ahead = finish - lap.ETime - delayMs;
        // The leader has not finished: the car crosses its line once more at the least.
        const unsigned lines = ahead >= 0.0 ? clampLaps(std::floor(ahead / ownPace) + 1.0) : 1u;
        distance.lapsToGo = std::min(distance.lapsToGo, std::max(lines, 1u));
    }
    distance.lastLap = distance.lapsToGo == 1;
    return distance;
}

}  // namespace

bool isLongLapRace(std::uint8_t raceLaps) { return raceLaps >= kFirstLongLapRace && raceLaps <= kLastLongLapRace; }
bool isTimedRace(std::uint8_t raceLaps) { return raceLaps > kLastLongLapRace && raceLaps <= kLastTimedRace; }

RaceLength decodeRaceLaps(std::uint8_t raceLaps, bool longRaces) {
    if (longRaces && isLongLapRace(raceLaps)) return {RaceLength::Laps, (raceLaps - 100u) * 10u + 100u};
    if (longRaces && isTimedRace(raceLaps)) return {RaceLength::Hours, raceLaps - 190u};
    return {RaceLength::Laps, raceLaps};
}

double recentPaceMs(const RaceLapStore& store, std::uint8_t plid, unsigned lapsDone, std::size_t near) {
    // The times of its laps without a stop, latest first.
    std::array<std::uint32_t, kPaceLookBack> times{};
    unsigned count = 0;
    std::uint32_t elapsed = 0;
    const IS_LAP* record = recordOf(store, plid, lapsDone, near);
    if (record != nullptr) elapsed = record->ETime;
    for (unsigned n = lapsDone; record != nullptr && n >= 1 && lapsDone - n < kPaceLookBack; --n) {
        const std::size_t slot = static_cast<std::size_t>(record - store.block(n - 1)->laps);
        const IS_LAP* before = n >= 2 ? recordOf(store, plid, n - 1, slot) : nullptr;
        const unsigned stopsBefore = before != nullptr ? before->NumStops : 0;
        if (record->NumStops == stopsBefore && record->LTime != 0) times[count++] = record->LTime;
        record = before;
    }
    if (count == 0) return lapsDone > 0 ? static_cast<double>(elapsed) / lapsDone : 0.0;
    // A standing start, a caution or an incident slows a lap; the time still to race goes at the pace of the
    // others, and the time those took is in the elapsed time already.
    const double best = *std::min_element(times.begin(), times.begin() + count);
    double sum = 0.0;
    unsigned laps = 0;
    for (unsigned k = 0; k < count && laps < kPaceLaps; ++k) {
        if (times[k] > best * kSlowedLap) continue;
        sum += times[k];
        ++laps;
    }
    return sum / laps;
}

RaceLength raceLength(const Tracker& tracker) {
    if (tracker.longRaces && tracker.pLaps) return tracker.pLaps->length();
    return decodeRaceLaps(tracker.session.sta.RaceLaps, tracker.longRaces);
}

Distance distanceAt(const Tracker& tracker, const IS_LAP& lap, std::uint32_t delayMs) {
    const RaceLength length = raceLength(tracker);
    if (length.kind == RaceLength::Hours && tracker.pLaps) return timedDistance(*tracker.pLaps, lap, length.count, delayMs);
    if (tracker.longRaces && tracker.pLaps && lap.LapsDone >= 1) return lapDistance(*tracker.pLaps, lap, length.count, delayMs);
    Distance distance;
    distance.total = length.count;
    distance.lapsToGo = length.count > lap.LapsDone ? length.count - lap.LapsDone : 0;
    distance.lastLap = lap.LapsDone + 1u == length.count;
    distance.finishing = lap.LapsDone == length.count;
    distance.flagTaken = length.count != 0 && lap.LapsDone >= length.count;
    return distance;
}
