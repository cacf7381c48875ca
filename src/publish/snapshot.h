// What the loop publishes for the outward faces: one finished picture of the race, copied from the facts
// the loop already worked out; a value nothing knows is empty, never made up.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "publish/growing_text.h"

struct RaceSnapshot {
    struct Race {
        enum class Kind { Laps, Timed, Qualifying } kind = Kind::Laps;
        std::optional<unsigned> laps;     // a lap race's length
        std::optional<unsigned> minutes;  // a timed race's length
        unsigned leaderLaps = 0;          // laps the first car has completed
    };
    struct Car {                          // the viewed car at its last lap line
        unsigned plid = 0;
        std::optional<std::string> name;  // UTF-8
        unsigned lap = 0;                 // laps completed
        std::optional<unsigned> place;
        std::optional<std::uint32_t> lastLapMs, gapAheadMs, gapBehindMs;
        std::optional<float> fuelPercent, usePercent;  // the level at the line, the use a lap
        std::optional<unsigned> lapsToGo;
        std::optional<std::string> advice;  // the board's advice line
        std::optional<std::string> driver;  // the user name of the connection that drives it
        std::optional<std::string> source;  // of the level: "outgauge", or "team:" and the member who sent it
    };
    struct Plan {
        unsigned stops = 0;
        std::vector<unsigned> amounts;    // percent, the next stop's first
        std::optional<unsigned> windowFrom, windowTo;
        std::optional<float> savingUse;   // percent a lap that drops a stop
    };
    struct Stop {                         // a stop of the viewed car
        unsigned lap = 0;
        std::optional<unsigned> askedPercent;  // the pit menu as last typed before it
        std::optional<unsigned> tookPercent;   // what the game says it adds
        std::optional<float> neededPercent;    // the fuel call's need when the amount was typed
    };
    struct FuelPoint {
        unsigned lap = 0;
        float percent = 0.0f;
    };
    struct Standing {
        std::optional<unsigned> place;
        unsigned plid = 0;
        std::optional<std::string> name;  // UTF-8
        unsigned lapsDone = 0;
        std::optional<std::uint32_t> lastLapMs;  // a race's
        std::optional<std::uint32_t> bestLapMs;  // qualifying's
        std::optional<std::uint32_t> gapMs;  // behind the first car at the same line; in qualifying, its best behind the first's
        bool inPit = false;
    };
    struct Team {                         // with the team link
        std::string name;
        bool connected = false;           // to the broker
        struct Stint {
            unsigned from = 0, to = 0;    // the first and last lap driven
        };
        struct Member {
            std::string user;
            std::vector<Stint> stints;
        };
        std::vector<Member> members;      // in the order of their first stint
    };
    struct Link {
        bool connected = false;
        unsigned version = 0;             // the InSim version accepted; 0: none yet
    };

    std::optional<Race> race;             // nothing while no session is followed
    std::array<std::optional<std::string>, 4> board;  // the lines as sent, by button; nothing: not shown
    std::optional<Car> car;
    std::optional<Plan> plan;
    std::vector<Stop> stops;
    std::vector<FuelPoint> fuelByLap;
    std::vector<Standing> standings;
    Link link;
    std::optional<Team> team;
    // The race log's text so far, in pieces that never change once published; nothing without a log.
    std::shared_ptr<const TextPieces> raceLog;
};
