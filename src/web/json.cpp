// The snapshot written as JSON with nlohmann-json: the fields the page reads, in the names it reads.
#include "web/json.h"

#include <cmath>

#include <nlohmann/json.hpp>

using nlohmann::json;

namespace {

// A percent to three decimals: a float's last binary digits are no fact. A NaN is written as null.
json valueOf(float value) { return std::round(static_cast<double>(value) * 1000.0) / 1000.0; }
template <class T>
json valueOf(const T& value) {
    return value;
}

template <class T>
json valueOr(const std::optional<T>& value) {
    return value ? valueOf(*value) : json(nullptr);
}

json raceJson(const std::optional<RaceSnapshot::Race>& race) {
    if (!race) return nullptr;
    const char* kind = race->kind == RaceSnapshot::Race::Kind::Laps    ? "laps"
                       : race->kind == RaceSnapshot::Race::Kind::Timed ? "timed"
                                                                       : "qualifying";
    return {{"kind", kind}, {"laps", valueOr(race->laps)}, {"minutes", valueOr(race->minutes)},
            {"leaderLaps", race->leaderLaps}};
}

json carJson(const std::optional<RaceSnapshot::Car>& car) {
    if (!car) return nullptr;
    return {{"plid", car->plid},
            {"name", valueOr(car->name)},
            {"lap", car->lap},
            {"place", valueOr(car->place)},
            {"lastLapMs", valueOr(car->lastLapMs)},
            {"gapAheadMs", valueOr(car->gapAheadMs)},
            {"gapBehindMs", valueOr(car->gapBehindMs)},
            {"fuelPercent", valueOr(car->fuelPercent)},
            {"usePercent", valueOr(car->usePercent)},
            {"lapsToGo", valueOr(car->lapsToGo)},
            {"advice", valueOr(car->advice)},
            {"driver", valueOr(car->driver)},
            {"source", valueOr(car->source)}};
}

json teamJson(const std::optional<RaceSnapshot::Team>& team) {
    if (!team) return nullptr;
    json members = json::array();
    for (const RaceSnapshot::Team::Member& member : team->members) {
        json stints = json::array();
        for (const RaceSnapshot::Team::Stint& stint : member.stints) stints.push_back({{"from", stint.from}, {"to", stint.to}});
        members.push_back({{"user", member.user}, {"stints", stints}});
    }
    return {{"name", team->name}, {"broker", team->connected ? "connected" : "lost"}, {"members", members}};
}

json planJson(const std::optional<RaceSnapshot::Plan>& plan) {
    if (!plan) return nullptr;
    return {{"stops", plan->stops},
            {"amounts", plan->amounts},
            {"windowFrom", valueOr(plan->windowFrom)},
            {"windowTo", valueOr(plan->windowTo)},
            {"savingUse", valueOr(plan->savingUse)}};
}

}  // namespace

std::string snapshotJson(const RaceSnapshot& snapshot) {
    json board = json::array();
    for (const std::optional<std::string>& line : snapshot.board) board.push_back(valueOr(line));
    json stops = json::array();
    for (const RaceSnapshot::Stop& stop : snapshot.stops) {
        stops.push_back({{"lap", stop.lap},
                         {"askedPercent", valueOr(stop.askedPercent)},
                         {"tookPercent", valueOr(stop.tookPercent)},
                         {"neededPercent", valueOr(stop.neededPercent)}});
    }
    json fuel = json::array();
    for (const RaceSnapshot::FuelPoint& point : snapshot.fuelByLap) {
        fuel.push_back({{"lap", point.lap}, {"percent", valueOf(point.percent)}});
    }
    json standings = json::array();
    for (const RaceSnapshot::Standing& car : snapshot.standings) {
        standings.push_back({{"place", valueOr(car.place)},
                             {"plid", car.plid},
                             {"name", valueOr(car.name)},
                             {"lapsDone", car.lapsDone},
                             {"lastLapMs", valueOr(car.lastLapMs)},
                             {"bestLapMs", valueOr(car.bestLapMs)},
                             {"gapMs", valueOr(car.gapMs)},
                             {"inPit", car.inPit}});
    }
    const json link = {{"insim", snapshot.link.connected ? "connected" : "lost"},
                       {"version", snapshot.link.version != 0 ? json(snapshot.link.version) : json(nullptr)}};
    const json whole = {{"race", raceJson(snapshot.race)}, {"board", board},         {"car", carJson(snapshot.car)},
                        {"plan", planJson(snapshot.plan)}, {"stops", stops},         {"fuelByLap", fuel},
                        {"standings", standings},          {"link", link},          {"team", teamJson(snapshot.team)}};
    return whole.dump(-1, ' ', false, json::error_handler_t::replace);
}
