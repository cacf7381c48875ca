// Reads scenario files: one keyword and its values per line, '#' starts a comment.
// The first error ends the reading and is reported as "file:line: expected ...".
#include "standin/scenario.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "link/wire.h"

namespace standin {
namespace {

std::vector<std::string_view> tokensOf(std::string_view line) {
    if (const auto hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
        std::size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r') ++end;
        if (end > at) tokens.push_back(line.substr(at, end - at));
        at = end;
    }
    return tokens;
}

std::optional<long long> wholeNumber(std::string_view token) {
    long long value = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return value;
}

std::optional<double> decimalNumber(std::string_view token) {
    double value = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (ec != std::errc() || end != token.data() + token.size() || !(value == value)) return std::nullopt;
    return value;
}

// Walks the tokens of one line; the first failed expectation is kept as the line's error.
class LineReader {
public:
    LineReader(const std::vector<std::string_view>& tokens) : tokens_(tokens) {}

    bool atEnd() const { return next_ >= tokens_.size(); }
    std::string_view peek() const { return atEnd() ? std::string_view() : tokens_[next_]; }
    std::string_view take() { return atEnd() ? std::string_view() : tokens_[next_++]; }
    bool failed() const { return !error_.empty(); }
    const std::string& error() const { return error_; }

    // "expected <what>, found '<the next token>'" (or the end of the line).
    void fail(const std::string& expected) {
        failFound(expected, atEnd() ? std::string_view() : tokens_[next_]);
    }
    void failFound(const std::string& expected, std::string_view found) {
        if (failed()) return;
        error_ = "expected " + expected +
                 (found.empty() ? ", found the end of the line" : ", found '" + std::string(found) + "'");
    }
    void failPlain(const std::string& expected) {
        if (!failed()) error_ = "expected " + expected;
    }

    long long whole(const std::string& what, long long low, long long high) {
        if (failed()) return low;
        const auto value = atEnd() ? std::nullopt : wholeNumber(peek());
        if (!value || *value < low || *value > high) {
            fail(what + " from " + std::to_string(low) + " to " + std::to_string(high));
            return low;
        }
        ++next_;
        return *value;
    }

    double decimal(const std::string& what, double low, double high) {
        if (failed()) return low;
        const auto value = atEnd() ? std::nullopt : decimalNumber(peek());
        if (!value || *value < low || *value > high) {
            std::ostringstream range;
            range << what << " from " << low << " to " << high;
            fail(range.str());
            return low;
        }
        ++next_;
        return *value;
    }

    void endOfLine() {
        if (!failed() && !atEnd()) fail("the end of the line");
    }

private:
    const std::vector<std::string_view>& tokens_;
    std::size_t next_ = 0;
    std::string error_;
};

void readCar(LineReader& line, Scenario& scenario, std::set<int>& plids) {
    CarSetup car;
    car.plid = static_cast<std::uint8_t>(line.whole("a PLID", 1, 255));
    if (!line.failed() && !plids.insert(car.plid).second)
        return line.failPlain("a PLID not used by another car, not " + std::to_string(car.plid));
    if (!line.failed() && static_cast<int>(scenario.cars.size()) >= kMaxCars)
        return line.failPlain("at most " + std::to_string(kMaxCars) + " cars");
    bool hasLap = false, hasUse = false;
    while (!line.failed() && !line.atEnd()) {
        const std::string_view key = line.take();
        if (key == "name") {
            if (line.atEnd()) line.fail("a name after 'name'");
            else car.name = std::string(line.take());
        } else if (key == "lap") {
            car.lapSeconds = line.decimal("a lap time in seconds", 10, 1000);
            hasLap = true;
        } else if (key == "spread") {
            car.spreadSeconds = line.decimal("a spread in seconds", 0, 10);
        } else if (key == "use") {
            car.usePercent = line.decimal("a fuel use per lap in percent", 0.1, 100);
            hasUse = true;
        } else if (key == "fuel") {
            car.fuelPercent = line.decimal("a starting fuel in percent", 0.1, 100);
        } else if (key == "menu") {
            car.menuPercent = static_cast<int>(line.whole("a pit menu fuel setting in percent", 1, 100));
        } else if (key == "stop") {
            car.stopLaps.push_back(static_cast<int>(line.whole("a lap number", 1, kMaxLap)));
        } else if (key == "usespread") {
            car.useSpreadPercent = line.decimal("a spread of the use in percent", 0, 50);
        } else if (key == "fuelspread") {
            car.fuelSpreadPercent = line.decimal("a spread of the starting fuel in percent", 0, 100);
        } else if (key == "margin") {
            car.stopMargin = line.decimal("a margin in laps", 0, 5);
        } else {
            return line.failFound("name, lap, spread, use, usespread, fuel, fuelspread, menu, stop or margin", key);
        }
    }
    if (line.failed()) return;
    if (!hasLap) return line.failPlain("'lap <seconds>' in the car line");
    if (!hasUse) return line.failPlain("'use <percent>' in the car line");
    if (car.spreadSeconds * 2 >= car.lapSeconds) return line.failPlain("a spread below half the lap time");
    if (car.useSpreadPercent * 2 >= car.usePercent) return line.failPlain("a use spread below half the use");
    if (car.name.empty()) car.name = "Car" + std::to_string(car.plid);
    scenario.cars.push_back(car);
}

void readSessionLine(std::string_view keyword, LineReader& line, Scenario& scenario) {
    SessionSetup& session = scenario.sessions.back();
    const auto knownCar = [&](std::uint8_t plid) {
        if (!line.failed() && scenario.car(plid) == nullptr)
            line.failPlain("the PLID of a car defined before the sessions, not " + std::to_string(plid));
        return !line.failed();
    };
    const long long lastLap = session.kind == SessionKind::Race && session.laps > 0 ? session.laps : kMaxLap;
    if (keyword == "view") {
        const auto plid = static_cast<std::uint8_t>(line.whole("a PLID", 1, 255));
        if (!knownCar(plid)) return;
        if (line.atEnd()) {
            session.view = plid;
            return;
        }
        if (const auto word = line.take(); word != "lap") return line.failFound("'lap <number>' after the PLID", word);
        session.viewChanges.push_back({plid, static_cast<int>(line.whole("a lap number", 1, lastLap))});
    } else if (keyword == "penalty") {
        if (session.kind != SessionKind::Race) return line.failPlain("'penalty' in a race session only");
        const auto plid = static_cast<std::uint8_t>(line.whole("a PLID", 1, 255));
        if (!knownCar(plid)) return;
        const std::string_view kind = line.take();
        std::uint8_t penalty = 0;
        if (kind == "dt") penalty = PENALTY_DT_VALID;
        else if (kind == "sg") penalty = PENALTY_SG_VALID;
        else return line.failFound("'dt' or 'sg' after the PLID", kind);
        if (const auto word = line.take(); word != "lap") return line.failFound("'lap <number>' after the penalty", word);
        session.penalties.push_back({plid, penalty, static_cast<int>(line.whole("a lap number", 1, lastLap))});
    } else if (keyword == "caution") {
        if (session.kind != SessionKind::Race) return line.failPlain("'caution' in a race session only");
        CautionSetup caution;
        caution.fromLap = static_cast<int>(line.whole("a lap number", 1, lastLap));
        caution.toLap = static_cast<int>(line.whole("a lap number", caution.fromLap, lastLap));
        while (!line.failed() && !line.atEnd()) {
            const std::string_view key = line.take();
            if (key == "pace") caution.pace = line.decimal("a lap time factor", 1, 3);
            else if (key == "use") caution.use = line.decimal("a fuel use factor", 0.1, 1);
            else return line.failFound("pace or use", key);
        }
        session.cautions.push_back(caution);
    } else {
        ScreenAction action;
        const std::string_view what = line.take();
        if (keyword == "screen") {
            static constexpr struct {
                std::string_view name;
                std::uint8_t mode, subMode;
            } kScreens[] = {{"plain", CIM_NORMAL, 0}, {"f9", CIM_NORMAL, 1}, {"f10", CIM_NORMAL, 2},
                            {"f11", CIM_NORMAL, 3}, {"f12", CIM_NORMAL, NRM_PIT_INSTRUCTIONS}, {"options", 1, 0},
                            {"host-options", 2, 0}, {"garage", 3, 0}, {"car-select", 4, 0},
                            {"track-select", 5, 0}, {"free-view", 6, 0}};
            const auto screen = std::find_if(std::begin(kScreens), std::end(kScreens),
                                             [&](const auto& known) { return known.name == what; });
            if (screen == std::end(kScreens))
                return line.failFound("plain, f9, f10, f11, f12, options, host-options, garage, car-select, "
                                      "track-select or free-view",
                                      what);
            action.mode = screen->mode;
            action.subMode = screen->subMode;
        } else {
            action.kind = keyword == "dialog" ? ScreenAction::Kind::Dialog : ScreenAction::Kind::TextEntry;
            if (what != "open" && what != "close") return line.failFound("open or close", what);
            action.open = what == "open";
        }
        if (const auto word = line.take(); word != "at")
            return line.failFound("'at <seconds from the session start>'", word);
        action.atMs = static_cast<std::uint32_t>(std::lround(line.decimal("seconds", 0, 48 * 3600 * 2) * 1000));
        session.screenActions.push_back(action);
    }
}

// The race length of a `race` line: 1 to 99 laps, 100 to 1000 in tens, or whole hours "1h" to "48h".
void readRaceLength(LineReader& line, SessionSetup& session) {
    const std::string_view length = line.peek();
    if (!length.empty() && length.back() == 'h') {
        const auto hours = wholeNumber(length.substr(0, length.size() - 1));
        if (hours && *hours >= 1 && *hours <= 48) {
            line.take();
            session.hours = static_cast<int>(*hours);
            return;
        }
    } else if (const auto laps = wholeNumber(length); laps && *laps >= 1 &&
                                                      (*laps <= 99 || (*laps <= 1000 && *laps % 10 == 0))) {
        line.take();
        session.laps = static_cast<int>(*laps);
        return;
    }
    line.fail("a number of laps from 1 to 99 or from 100 to 1000 in tens, or hours from 1h to 48h");
}

}  // namespace

const CarSetup* Scenario::car(std::uint8_t plid) const {
    for (const auto& c : cars)
        if (c.plid == plid) return &c;
    return nullptr;
}

const char* sessionKindName(SessionKind kind) {
    switch (kind) {
        case SessionKind::Race: return "race";
        case SessionKind::Qualifying: return "qualifying";
        case SessionKind::Practice: return "practice";
    }
    return "?";
}

std::uint8_t raceLapsByte(const SessionSetup& session) {
    if (session.kind != SessionKind::Race) return 0;
    if (session.hours > 0) return static_cast<std::uint8_t>(190 + session.hours);
    if (session.laps < 100) return static_cast<std::uint8_t>(session.laps);
    return static_cast<std::uint8_t>(100 + (session.laps - 100) / 10);
}

std::string raceLengthText(int laps, int hours) {
    if (hours > 0) return std::to_string(hours) + (hours == 1 ? " hour" : " hours");
    return std::to_string(laps) + " laps";
}

ParseResult parseScenario(std::string_view text, const std::string& fileName) {
    Scenario scenario;
    scenario.name = fileName;
    std::set<int> plids;
    int lineNumber = 0;
    const auto failAt = [&](int number, const std::string& error) {
        return ParseResult{std::nullopt, fileName + ":" + std::to_string(number) + ": " + error};
    };

    while (!text.empty()) {
        const auto newline = text.find('\n');
        const std::string_view raw = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        ++lineNumber;
        const auto tokens = tokensOf(raw);
        if (tokens.empty()) continue;
        LineReader line(tokens);
        const std::string_view keyword = line.take();
        const bool inSession = !scenario.sessions.empty();

        if (keyword == "seed") {
            scenario.seed = static_cast<std::uint64_t>(line.whole("a seed", 0, 1'000'000'000'000LL));
        } else if (keyword == "outgauge") {
            if (line.peek() == "asked") {
                line.take();
                scenario.outGaugeAsked = true;
            } else {
                scenario.outGaugeMs = static_cast<int>(line.whole("an OutGauge interval in milliseconds", 10, 10000));
            }
        } else if (keyword == "hide-fuel") {
            scenario.hideFuel = true;
        } else if (keyword == "team") {
            scenario.teamCar = static_cast<std::uint8_t>(line.whole("a PLID", 1, 255));
            if (line.take() != "mate") line.fail("mate");
            else scenario.mateUcid = static_cast<std::uint8_t>(line.whole("the team mate's UCID", 1, 255));
        } else if (keyword == "connect") {
            scenario.connectAtSeconds = line.decimal("a simulated time in seconds", 0, 200000);
        } else if (keyword == "drop-link") {
            scenario.dropLinkAtSeconds = line.decimal("a simulated time in seconds", 1, 200000);
            if (line.take() != "for") line.fail("for");
            else scenario.linkDownSeconds = line.decimal("seconds without a link", 0, 200000);
        } else if (keyword == "splits") {
            scenario.splits = static_cast<int>(line.whole("a number of splits", 0, 3));
        } else if (keyword == "pit-lane") {
            scenario.pitLaneSeconds = line.decimal("a pit lane time in seconds", 0, 300);
        } else if (keyword == "service") {
            scenario.serviceSeconds = line.decimal("a standing time in seconds", 0, 300);
        } else if (keyword == "refuel") {
            scenario.refuelSecondsPerPercent = line.decimal("seconds per percent of fuel", 0, 10);
        } else if (keyword == "inlap" || keyword == "outlap") {
            (keyword == "inlap" ? scenario.inLapUse : scenario.outLapUse) =
                line.decimal("a fuel use factor", 0.1, 3);
        } else if (keyword == "track") {
            if (line.atEnd() || line.peek().size() > 5) line.fail("a track name of at most 5 characters");
            else scenario.track = std::string(line.take());
        } else if (keyword == "car") {
            if (inSession) line.failPlain("'car' lines before the first session");
            else readCar(line, scenario, plids);
        } else if (keyword == "race" || keyword == "qualifying" || keyword == "practice") {
            if (scenario.cars.empty()) {
                line.failPlain("at least one 'car' line before the first session");
            } else {
                SessionSetup session;
                session.view = scenario.cars.front().plid;
                if (keyword == "race") {
                    session.kind = SessionKind::Race;
                    readRaceLength(line, session);
                    if (!line.atEnd() && line.peek() == "mandatory-stop") {
                        line.take();
                        session.mandatoryStop = true;
                    }
                } else {
                    session.kind = keyword == "qualifying" ? SessionKind::Qualifying : SessionKind::Practice;
                    session.minutes = static_cast<int>(line.whole("a number of minutes", 1, 255));
                }
                scenario.sessions.push_back(session);
            }
        } else if (keyword == "view" || keyword == "penalty" || keyword == "caution" || keyword == "screen" ||
                   keyword == "dialog" || keyword == "text") {
            if (!inSession)
                line.failPlain("'" + std::string(keyword) + "' inside a session (after race, qualifying or practice)");
            else readSessionLine(keyword, line, scenario);
        } else {
            LineReader unknown(tokens);
            unknown.fail("seed, outgauge, splits, pit-lane, service, refuel, inlap, outlap, track, hide-fuel, car, "
                         "race, qualifying, practice, view, penalty, caution, screen, dialog or text");
            return failAt(lineNumber, unknown.error());
        }
        line.endOfLine();
        if (line.failed()) return failAt(lineNumber, line.error());
    }
    if (scenario.sessions.empty())
        return failAt(lineNumber + 1, "expected at least one session (race, qualifying or practice)");
    return ParseResult{std::move(scenario), {}};
}

ParseResult loadScenario(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ParseResult{std::nullopt, path + ": cannot be read"};
    std::ostringstream text;
    text << in.rdbuf();
    return parseScenario(text.str(), path);
}

}  // namespace standin
