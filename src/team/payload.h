// The team link's messages as JSON: a car's report at a lap line, and its history of lines, written by the
// driving member's program and read, vetted, by the others'. Nothing here knows of the broker.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "publish/team_line.h"

constexpr int kPayloadVersion = 1;
constexpr std::size_t kMostPayloadBytes = 65536;

// The report as one JSON object: {"v":1,"race":{...},"car":1,"sender":"...","lines":[[lap,elapsed,fuel],...],...}.
std::string writePayload(const TeamReport& report);

// The report a payload holds, or nothing with `why` saying what is wrong with it: too long, not JSON, of another
// version, a field missing or of the wrong kind, a value out of range (a fuel outside 0 to 100 %, a use of 0 or
// below, a lap beyond the race).
std::optional<TeamReport> readPayload(std::string_view payload, std::string& why);
