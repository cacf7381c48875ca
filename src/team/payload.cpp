// The team link's messages as JSON: a car's report at a lap line, and its history of lines, written by the
// driving member's program and read, vetted, by the others'. Nothing here knows of the broker.
#include "team/payload.h"

#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

#include "race/race_length.h"

namespace {

using Json = nlohmann::json;

constexpr double kLeastUse = 0.0001;  // a use below a hundredth of a percent a lap is written as 0

// Four decimals of a fraction of the tank (a hundredth of a percent): a 1,500-lap history stays near 35 KB.
double rounded(float fraction) { return std::round(static_cast<double>(fraction) * 10000.0) / 10000.0; }

// A whole number within low to high, read without exceptions.
std::optional<std::uint64_t> whole(const Json& object, const char* key, std::uint64_t low, std::uint64_t high) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_number_unsigned()) return std::nullopt;
    const auto value = found->get<std::uint64_t>();
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<double> number(const Json& value) {
    if (!value.is_number()) return std::nullopt;
    const double read = value.get<double>();
    if (!std::isfinite(read)) return std::nullopt;
    return read;
}

std::optional<std::string> text(const Json& object, const char* key, std::size_t most) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) return std::nullopt;
    std::string value = found->get<std::string>();
    if (value.size() > most) return std::nullopt;
    return value;
}

// The last lap a line of a race of RaceLaps `raceLaps` can have: a timed race's store stops at its cap.
unsigned lastLapOf(unsigned raceLaps) {
    const RaceLength length = decodeRaceLaps(static_cast<std::uint8_t>(raceLaps), true);
    return length.kind == RaceLength::Laps ? length.count : static_cast<unsigned>(RaceLapStore::kMaxTimedRaceLaps);
}

}  // namespace

std::string writePayload(const TeamReport& report) {
    Json lines = Json::array();
    for (const TeamLine& line : report.lines) lines.push_back({line.lap, line.elapsed, rounded(line.fuel)});
    Json payload = {
        {"v", kPayloadVersion},
        {"race", {{"host", report.race.host}, {"track", report.race.track}, {"laps", report.race.raceLaps}}},
        {"car", report.plid},
        {"sender", report.sender},
        {"lines", std::move(lines)},
    };
    if (report.history) {
        payload["history"] = true;
        return payload.dump();
    }
    if (report.use) payload["use"] = rounded(*report.use);
    payload["togo"] = std::round(report.lapsToGo * 10.0f) / 10.0f;
    payload["stops"] = report.stops;
    if (report.windowTo != 0) payload["window"] = {report.windowFrom, report.windowTo};
    payload["amount"] = report.amount;
    return payload.dump();
}

std::optional<TeamReport> readPayload(std::string_view payload, std::string& why) {
    if (payload.size() > kMostPayloadBytes) {
        why = "it is over 64 KB";
        return std::nullopt;
    }
    const Json json = Json::parse(payload.begin(), payload.end(), nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        why = "it is not a JSON object";
        return std::nullopt;
    }
    if (whole(json, "v", kPayloadVersion, kPayloadVersion) != static_cast<std::uint64_t>(kPayloadVersion)) {
        why = "it is not of version 1";
        return std::nullopt;
    }
    why = "a field is missing or out of range";
    TeamReport report;
    const auto race = json.find("race");
    if (race == json.end() || !race->is_object()) return std::nullopt;
    const auto host = text(*race, "host", 32);
    const auto track = text(*race, "track", 6);
    const auto laps = whole(*race, "laps", 0, 255);
    const auto car = whole(json, "car", 1, 255);
    const auto sender = text(json, "sender", 24);
    if (!host || !track || !laps || !car || !sender) return std::nullopt;
    report.race = {*host, *track, static_cast<unsigned>(*laps)};
    report.plid = static_cast<std::uint8_t>(*car);
    report.sender = *sender;
    const auto lines = json.find("lines");
    if (lines == json.end() || !lines->is_array()) return std::nullopt;
    const unsigned lastLap = lastLapOf(report.race.raceLaps);
    for (const Json& line : *lines) {
        if (!line.is_array() || line.size() != 3) return std::nullopt;
        const auto lap = number(line[0]);
        const auto elapsed = number(line[1]);
        const auto fuel = number(line[2]);
        if (!lap || !elapsed || !fuel || *lap < 1 || *lap > lastLap || *lap != std::floor(*lap)) return std::nullopt;
        if (*elapsed < 0 || *elapsed > 4294967295.0 || *fuel < 0 || *fuel > 1) return std::nullopt;
        report.lines.push_back({static_cast<std::uint16_t>(*lap), static_cast<std::uint32_t>(*elapsed), static_cast<float>(*fuel)});
    }
    const auto history = json.find("history");
    report.history = history != json.end() && history->is_boolean() && history->get<bool>();
    if (report.history) {
        why.clear();
        return report;
    }
    if (const auto use = json.find("use"); use != json.end()) {
        const auto value = number(*use);
        if (!value || *value < kLeastUse || *value > 1) return std::nullopt;
        report.use = static_cast<float>(*value);
    }
    const auto togo = json.find("togo");
    const double toGo = togo != json.end() ? number(*togo).value_or(-1.0) : -1.0;
    const auto stops = whole(json, "stops", 0, 255);
    const auto amount = whole(json, "amount", 0, 100);
    if (toGo < 0 || toGo > lastLap || !stops || !amount) return std::nullopt;
    report.lapsToGo = static_cast<float>(toGo);
    report.stops = static_cast<unsigned>(*stops);
    report.amount = static_cast<unsigned>(*amount);
    if (const auto window = json.find("window"); window != json.end()) {
        if (!window->is_array() || window->size() != 2) return std::nullopt;
        const auto from = number((*window)[0]);
        const auto to = number((*window)[1]);
        if (!from || !to || *from < 0 || *to < *from || *to > lastLap) return std::nullopt;
        report.windowFrom = static_cast<unsigned>(*from);
        report.windowTo = static_cast<unsigned>(*to);
    }
    why.clear();
    return report;
}
