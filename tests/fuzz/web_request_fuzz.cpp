// Fuzz target: the page's own code fed any bytes, cut at newlines into a method, a path, a query, a key
// and a name: the routing answers with one of its statuses, 200 with a key only for that key, and the
// JSON of a snapshot holding the name (as read from the game, and as raw bytes) always parses.
#include <nlohmann/json.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>

#include "fuzz/invariant.h"
#include "race/roster.h"
#include "web/json.h"
#include "web/routing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::array<std::string_view, 5> parts{};  // method, path, query, key, name
    for (std::size_t k = 0; k < parts.size() && !input.empty(); ++k) {
        const std::size_t end = k + 1 < parts.size() ? std::min(input.find('\n'), input.size()) : input.size();
        parts[k] = input.substr(0, end);
        input.remove_prefix(end == input.size() ? end : end + 1);
    }
    const auto [method, path, query, key, name] = parts;
    const Decision decision = decide(method, path, query, key);
    const int status = decision.status;
    check(status == 200 || status == 401 || status == 404 || status == 405, "one of the statuses");
    check((status == 200) == decision.resource.has_value(), "a resource exactly with 200");
    check(key.empty() || status != 200 || queryValue(query, "key") == key, "200 with a key only for that key");
    check(sameKey(key, key) && sameKey(name, key) == (name == key), "the key compared as the bytes");

    RaceSnapshot snapshot;
    RaceSnapshot::Car car;  // made apart: clang cannot default-construct a nested record inside optional's emplace
    car.name = gameTextAsUtf8(name);
    snapshot.car = std::move(car);
    snapshot.board[0] = std::string(name);  // bytes that are no UTF-8 at all
    snapshot.standings.push_back({});
    snapshot.standings[0].name = std::string(name);
    const nlohmann::json json = nlohmann::json::parse(snapshotJson(snapshot), nullptr, false);
    check(!json.is_discarded(), "the JSON parses");
    check(json["car"]["name"] == *snapshot.car->name, "a name read from the game comes back whole");
    return 0;
}
