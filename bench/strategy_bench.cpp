// The fuel strategy benchmark: seeded random races of the stand-in's model, each played against the real
// program under every fuel setting, and a table per kind of race of how the viewed car's fuel calls came out;
// with the stint plan on, the races again with a driver who follows the plan, and his table.
// Usage: bench_strategy <stintkeeper> [lap races (150)] [long lap races (50)] [timed races (90)]
//                       [endurance races (200)] [parallel races (2)]
#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <mutex>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "standin/host_session.h"
#include "standin/insim_host.h"
#include "standin/loopback.h"
#include "standin/program_runner.h"
#include "standin/race_model.h"
#include "standin/random.h"
#include "support.h"

namespace {

struct Setting {
    const char* name;
    const char* element;  // the Fuel element of cfg.xml, none for the program as designed
};
const Setting kSettings[] = {
    {"no Fuel element", ""},
    {"average=\"3\"", "<Fuel average=\"3\"/>"},
    {"average=\"5\"", "<Fuel average=\"5\"/>"},
    {"average=\"3\" reserve=\"1\"", "<Fuel average=\"3\" reserve=\"1\"/>"},
    {"fill=\"finish\"", "<Fuel fill=\"finish\"/>"},
    {"average=\"3\" reserve=\"0.5\" fill=\"finish\"", "<Fuel average=\"3\" reserve=\"0.5\" fill=\"finish\"/>"},
    {"average=\"3\" reserve=\"1\" fill=\"finish\"", "<Fuel average=\"3\" reserve=\"1\" fill=\"finish\"/>"},
    // The opt-in rules since: racing laps, the level at the line, the top-up to the flag; then the rounding,
    // the longer average and the stop's time in timed races, the recommended setting second of these.
    {"average=\"9\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\"",
     "<Fuel average=\"9\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\"/>"},
    {"longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"",
     "<Fuel longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"/>"},
    {"longAverage=\"30\" reserve=\"0.4\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"",
     "<Fuel longAverage=\"30\" reserve=\"0.4\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"/>"},
    {"longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"line\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"",
     "<Fuel longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"line\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"/>"},
    // The recommended setting with the stint plan, of even and of full stints.
    {"the recommended, with Plan stints=\"even\"",
     "<Fuel longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"/>"
     "<Plan stints=\"even\"/>"},
    {"the recommended, with Plan stints=\"full\"",
     "<Fuel longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"/>"
     "<Plan stints=\"full\"/>"},
    {"the recommended but reserve=\"1\", with Plan stints=\"full\"",
     "<Fuel longAverage=\"30\" reserve=\"1\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"/>"
     "<Plan stints=\"full\"/>"},
    // docs/cfg-today.xml but its reconnecting (the stand-in closes the link at the end) and its race log.
    {"docs/cfg-today.xml: the guard, join, the recommended, Plan stints=\"full\"",
     "<Pit guard=\"1\"/><Race long=\"1\" join=\"1\"/>"
     "<Fuel longAverage=\"30\" reserve=\"0.5\" fill=\"finish\" racing=\"1.1\" level=\"both\" topUp=\"1\" round=\"nearest\" stopSeconds=\"30\"/>"
     "<Plan stints=\"full\"/>"},
};
constexpr int kSettingCount = sizeof kSettings / sizeof kSettings[0];
constexpr std::uint8_t kViewed = 1;

// Every setting is played with long and timed races read (a setting may give its own Race element), and
// InSim 8 asked of today's simulator.
const std::string kRaceElement = "<Race long=\"1\"/>\n";

bool withPlan(const Setting& setting) { return std::strstr(setting.element, "<Plan") != nullptr; }

// The reserve of a setting, in laps: what the driver who follows the plan keeps in his tank.
double reserveOf(const Setting& setting) {
    const char* at = std::strstr(setting.element, "reserve=\"");
    return at ? std::atof(at + 9) : 0.0;
}
const std::string kInSimAttributes = " version=\"8\"";

enum Kind { LapRace, LongLapRace, TimedRace, Endurance };
constexpr int kKinds = 4;
const char* const kKindTitles[kKinds] = {"Lap races: 10 to 60 laps", "Long lap races: 100 to 150 laps",
                                         "Timed races: one and two hours",
                                         "Endurance races: 2 to 6 hours, and 200 to 400 laps"};
constexpr int kIntervalsMs[] = {500, 2000, 10000};  // the program's OutGauge interval, one per race

double between(standin::Random& random, double low, double high) { return low + (high - low) * random.uniform(); }
int wholeBetween(standin::Random& random, int low, int high) {  // both included
    return low + static_cast<int>(random.uniform() * (high - low + 1));
}

struct Race {
    standin::Scenario scenario;
    Kind kind = LapRace;
    int intervalMs = 2000;  // asked of the simulator by the program, and kept by the stand-in
};

// A race of `kind` named `name`, its scenario's seed and in- and out-lap use drawn from `random` first.
Race raceStart(Kind kind, const std::string& name, standin::Random& random) {
    Race race;
    race.kind = kind;
    standin::Scenario& scenario = race.scenario;
    scenario.name = name;
    scenario.seed = random.nextBits() % 1'000'000'000;
    scenario.outGaugeAsked = true;
    scenario.splits = 0;
    scenario.inLapUse = between(random, 0.85, 1.0);
    scenario.outLapUse = between(random, 1.0, 1.1);
    return race;
}

// The field: `cars` cars on laps of about `lapSeconds` and `use` % a lap, each drawn from `random` in turn.
// The viewed car leads on pace, so it runs the full distance (in endurance lap races a rival may lap it).
// It starts with `startFuel` %, its pit menu low, and stops when what is left would not cover its worst lap
// and `stopMargin` of it more; the others start full and stop when what is left would not cover a lap.
void addCars(standin::Scenario& scenario, standin::Random& random, int cars, double lapSeconds, double use,
             double startFuel, double stopMargin) {
    for (int plid = 1; plid <= cars; ++plid) {
        standin::CarSetup car;
        car.plid = static_cast<std::uint8_t>(plid);
        car.name = "Car" + std::to_string(plid);
        car.lapSeconds = lapSeconds * (plid == kViewed ? 0.99 : between(random, 1.0, 1.02));
        car.spreadSeconds = between(random, 0.3, 1.0);
        car.usePercent = use * between(random, 0.95, 1.05);
        car.useSpreadPercent = car.usePercent * between(random, 0.02, 0.1);
        car.fuelPercent = plid == kViewed ? startFuel : 100;
        car.fuelSpreadPercent = plid == kViewed ? between(random, 0, 3) : 0;
        car.menuPercent = plid == kViewed ? wholeBetween(random, 1, 10) : 100;
        if (plid == kViewed) car.stopMargin = stopMargin;
        scenario.cars.push_back(car);
    }
}

// An endurance race: timed, 2 to 6 hours, or 200 to 400 laps in tens, every other one; 6 to 10 cars on
// laps of 60 to 100 s. The viewed car's full tank lasts 35 to 70 minutes and it starts with 60 to 100 %; it
// stops when what is left would not cover its worst racing lap so far plus a tenth, and takes what its pit
// menu holds. Up to two cautions of 2 to 5 laps; the reading after a line comes up to 10 s later. In every
// other lap race (races 1, 5, 9, ...) the second car is 1.5 to 4 % faster than the viewed one and laps it
// several times: drawn from a stream of its own, so the rest of the race is drawn as before.
Race enduranceRaceOf(int number) {
    standin::Random random(standin::carSeed(20261209, static_cast<unsigned>(number), static_cast<unsigned>(Endurance)));
    Race race = raceStart(Endurance, "endurance race " + std::to_string(number), random);
    standin::Scenario& scenario = race.scenario;
    const int hours = number % 2 == 0 ? wholeBetween(random, 2, 6) : 0;
    const double lapSeconds = between(random, 60, 100);
    const int laps = hours > 0 ? static_cast<int>(hours * 3600 / (lapSeconds * 0.99)) + 1 : 200 + 10 * wholeBetween(random, 0, 20);
    const int cars = wholeBetween(random, 6, 10);
    const double tankMinutes = between(random, 35, 70);
    const double use = 100.0 / (tankMinutes * 60.0 / (lapSeconds * 0.99));
    const double startFuel = between(random, 60, 100);
    addCars(scenario, random, cars, lapSeconds, use, startFuel, 0.1);
    if (hours == 0 && number % 4 == 1) {
        standin::Random lapping(standin::carSeed(20261210, static_cast<unsigned>(number), static_cast<unsigned>(Endurance)));
        scenario.cars.at(1).lapSeconds = lapSeconds * 0.99 * (1.0 - between(lapping, 0.015, 0.04));
    }
    standin::SessionSetup session;
    session.laps = hours > 0 ? 0 : laps;
    session.hours = hours;
    session.view = kViewed;
    const int cautions = wholeBetween(random, 0, 2);
    for (int k = 0; k < cautions; ++k) {  // one in each half of the race
        standin::CautionSetup caution;
        caution.fromLap = wholeBetween(random, 2 + k * laps / 2, (k + 1) * laps / 2 - 6);
        caution.toLap = caution.fromLap + wholeBetween(random, 1, 4);
        caution.pace = between(random, 1.2, 1.6);
        caution.use = between(random, 0.5, 0.8);
        session.cautions.push_back(caution);
    }
    scenario.sessions.push_back(session);
    race.intervalMs = kIntervalsMs[wholeBetween(random, 0, 2)];
    return race;
}

// A race of its kind: 10 to 60 laps and 8 to 20 cars; 100 to 150 laps in tens, or one or two hours, and
// 8 to 12 cars. The viewed car starts with fuel for a share of the distance (55 to 90 % in a lap race,
// 25 to 60 % in a long one, 30 to 90 % in a timed one), its use per lap noisy, its pit menu low; it pits
// when what is left would not cover its worst lap so far plus a tenth. A third of the races have a
// caution; in- and out-laps burn their own amounts. The simulator is today's: it fills Fuel200 at the
// line, and sends OutGauge at the interval the program asks for, so the reading after a line comes up
// to that interval later.
Race raceOf(Kind kind, int number) {
    if (kind == Endurance) return enduranceRaceOf(number);
    standin::Random random(standin::carSeed(20261207, static_cast<unsigned>(number), static_cast<unsigned>(kind)));
    Race race = raceStart(kind, "race " + std::to_string(number), random);
    standin::Scenario& scenario = race.scenario;
    const bool lapRace = kind == LapRace;
    int laps = lapRace ? wholeBetween(random, 10, 60) : kind == LongLapRace ? 100 + 10 * wholeBetween(random, 0, 5) : 0;
    const int hours = kind == TimedRace ? 1 + number % 2 : 0;
    const int cars = lapRace ? wholeBetween(random, 8, 20) : wholeBetween(random, 8, 12);
    const double lapSeconds = between(random, 60, 100);
    if (hours > 0) laps = static_cast<int>(hours * 3600 / (lapSeconds * 0.99)) + 1;  // the viewed car's, about
    const double startFuel = between(random, 50, 100);
    const double share = lapRace ? between(random, 0.55, 0.90) : kind == LongLapRace ? between(random, 0.25, 0.6)
                                                                                   : between(random, 0.3, 0.9);
    const double use = startFuel / (share * laps);
    addCars(scenario, random, cars, lapSeconds, use, startFuel, 0.1);
    standin::SessionSetup session;
    session.laps = hours > 0 ? 0 : laps;
    session.hours = hours;
    session.view = kViewed;
    if (random.uniform() < 1.0 / 3) {
        standin::CautionSetup caution;
        caution.fromLap = wholeBetween(random, 2, laps - 3);
        caution.toLap = std::min(laps - 1, caution.fromLap + wholeBetween(random, 1, 4));
        caution.pace = between(random, 1.2, 1.6);
        caution.use = between(random, 0.5, 0.8);
        session.cautions.push_back(caution);
    }
    scenario.sessions.push_back(session);
    race.intervalMs = kIntervalsMs[wholeBetween(random, 0, 2)];
    return race;
}

struct Outcome {
    bool dry = false;
    double leftPercent = 0, leftLaps = 0;  // at the flag
    int stops = 0;
    int fewestStops = 0;       // what the fuel burnt needed, in full tanks beyond the start fuel
    int driversFewest = 0;     // the stops of the same driver in the same race, every stop filling the tank
    double askedPercent = 0;   // by the menu at the last stop
    double neededPercent = 0;  // what the last stop would have had to take to finish with nothing left
    double usePercent = 0;     // the car's set use per lap, for the figures in laps
    int planStops = -1;        // the stops left in the program's first plan line; -1: it printed none
    std::string stopList;      // "29:99 68:99 ...": each stop's lap and what its menu held
    int planLines = 0;         // "Plan: " lines of the console
    int countFlips = 0;        // counts said, unsaid and said again within three lines
    int totalFlips = 0;        // the same of the stops in all: those made by the line and those said left
    std::string countList;     // " 5 4 4 3 ...": the counts of the plan lines
    std::string totalList;     // the same, with the stops made by each line
    int lapsDown = 0;          // behind the winner at the flag
    bool timed = false;        // a race of hours
    bool lateCaution = false;  // a caution came after the car's last stop: the laps it slows are not foreseen
    bool needlessStop = false;  // the last stop was made with the fuel to the flag in the tank
    // The driver who follows the plan: its count at the line before his first stop and at half distance
    // (-1: none said), and the stops he made after that half-distance line.
    int countAtFirstStop = -1, countAtHalf = -1, stopsAfterHalf = 0;
};

// The stops a "Plan: " line (from after "Plan: ") says are left: "no stop needed" 0, "2 stops, ..." 2,
// "1 stop (mandatory), ..." 1; -1 for a line that says no count.
int planCount(const char* text) {
    if (std::strncmp(text, "no stop", 7) == 0) return 0;
    if (!std::isdigit(static_cast<unsigned char>(*text))) return -1;
    const char* after = text;
    while (std::isdigit(static_cast<unsigned char>(*after))) ++after;
    return std::strncmp(after, " stop", 5) == 0 ? std::atoi(text) : -1;
}

// The counts of the console's plan lines, in order, with the lap of each (the plan follows the line's
// "Fuel in N: ..." of lap N + 3), and how many plan lines it has.
std::vector<std::pair<int, int>> planCounts(const std::string& console, int& lines) {
    std::vector<std::pair<int, int>> counts;  // count, lap
    lines = 0;
    int lap = 0;
    for (std::size_t at = 0; at < console.size();) {
        const std::size_t end = std::min(console.find('\n', at), console.size());
        const char* line = console.c_str() + at;
        int fuelIn = 0;
        if (std::sscanf(line, "Fuel in %d:", &fuelIn) == 1) lap = fuelIn + 3;
        if (std::strncmp(line, "Plan: ", 6) == 0) {
            ++lines;
            if (const int count = planCount(line + 6); count >= 0) counts.emplace_back(count, lap);
        }
        at = end + 1;
    }
    return counts;
}

// A count said again within three lines after another was said in between: 2, 3, 2 or 2, 3, 3, 2.
int flipsOf(const std::vector<int>& counts) {
    int flips = 0;
    for (std::size_t k = 2; k < counts.size(); ++k) {
        const bool twoBack = counts[k - 2] == counts[k] && counts[k - 1] != counts[k];
        const bool threeBack = k >= 3 && counts[k - 3] == counts[k] && (counts[k - 1] != counts[k] || counts[k - 2] != counts[k]);
        flips += twoBack || threeBack ? 1 : 0;
    }
    return flips;
}

// The driver who follows the plan: at each of his lines he reads the level and the use the program printed
// for it, and stops at the end of the lap when it is the last one they allow with the setting's reserve left,
// unless the plan says no stop is left; he takes what the menu holds. What the plan said at each line is kept.
class Follower {
public:
    Follower(const standin::ProgramRunner& program, const standin::RaceModel& model, double reserveLaps)
        : program_(program), model_(model), reserve_(reserveLaps) {}

    std::optional<bool> atLine() {
        const std::string console = program_.output();
        double level = -1, use = -1;
        for (std::size_t end; (end = console.find('\n', read_)) != std::string::npos; read_ = end + 1) {
            const char* line = console.c_str() + read_;
            if (std::strncmp(line, "Plan: ", 6) == 0) {
                const int count = planCount(line + 6);
                if (count >= 0) count_ = count;
            }
            std::sscanf(line, "Player has approx %lf%% fuel and consumes %lf%% per lap.", &level, &use);
        }
        const int lap = model_.viewStatus().lap;  // between its laps the car shows the laps done
        counts_.push_back({lap, count_});
        if (!(use > 0) || level < 0) return std::nullopt;  // nothing printed at this line: his own rule
        const double allowed = std::floor((level - reserve_ * use) / use);
        return allowed <= 1 && count_ != 0;
    }
    // The count said by the line of lap `lap`; -1: none yet.
    int countAt(int lap) const {
        int count = -1;
        for (const auto& [at, said] : counts_)
            if (at <= lap) count = said;
        return count;
    }

private:
    const standin::ProgramRunner& program_;
    const standin::RaceModel& model_;
    double reserve_;
    std::size_t read_ = 0;
    int count_ = -1;
    std::vector<std::pair<int, int>> counts_;  // each line's lap and the count said by then
};

// The stops of the first "Plan: " line of the console: "no stop needed" is 0, "2 stops, ..." 2,
// "1 stop (mandatory), ..." 1; -1 without one.
int firstPlanStops(const std::string& console) {
    const std::size_t at = console.find("Plan: ");
    if (at == std::string::npos) return -1;
    const char* text = console.c_str() + at + 6;
    if (std::strncmp(text, "no stop", 7) == 0) return 0;
    return std::isdigit(static_cast<unsigned char>(*text)) ? std::atoi(text) : -1;
}

// The fewest stops the driver can make in this race: the same race played by the model alone, the viewed
// car's pit menu at 100 %, so that every stop takes what fits in the tank. The driver stops where he would
// (when the tank will not cover his worst lap); only the amounts differ, and more fuel never brings a stop
// sooner, so no amount typed can make do with fewer. The whole tanks beyond the start fuel count as if a
// car could stop with nothing left and take a full tank, which is fewer where the stops are many.
int driversFewestStops(const Race& race) {
    standin::Scenario filling = race.scenario;
    for (standin::CarSetup& car : filling.cars)
        if (car.plid == kViewed) car.menuPercent = standin::PitMenu::kHighest;
    standin::RaceModel model(filling, filling.seed);
    while (model.next()) {
    }
    for (const auto& car : model.reports().at(0).order)
        if (car.plid == kViewed) return static_cast<int>(car.stops.size());
    bench::fail(race.scenario.name + ": no viewed car when every stop fills the tank");
}

// One race under one setting; `follower`: the viewed car driven by the driver who follows the plan.
Outcome play(const std::string& binary, const Race& race, const Setting& setting, bool follower) {
    const standin::Scenario& scenario = race.scenario;
    standin::InSimHost host;
    standin::ProgramRunner program(binary);
    const std::string interval = " interval=\"" + std::to_string(race.intervalMs) + "\"";
    const bool ownRace = std::strstr(setting.element, "<Race") != nullptr;
    const std::string elements = (ownRace ? "" : kRaceElement) + (*setting.element ? std::string(setting.element) + "\n" : "");
    if (!program.start(standin::portsConfig(host.port(), standin::freePort(true), elements, kInSimAttributes, interval)))
        bench::fail(program.startError());
    standin::RaceModel model(scenario, scenario.seed);
    std::ostringstream shown;
    standin::Console console(shown, false);
    standin::HostOptions options;
    options.showBoard = options.showNotices = false;
    options.simulator = standin::Simulator::Current;
    Follower driver(program, model, reserveOf(setting));
    if (follower) {
        model.askDriver(kViewed);
        options.driver = [&driver] { return driver.atLine(); };
    }
    standin::HostSession session(host, model, console, options);
    if (!session.handshake(10000) || !session.run()) bench::fail(scenario.name + ": " + session.error());
    if (program.wait(10000) != 0) bench::fail(scenario.name + ": the program did not end well");

    const auto& order = model.reports().at(0).order;
    const auto car = std::find_if(order.begin(), order.end(), [](const auto& c) { return c.plid == kViewed; });
    if (car == order.end() || car->lapLineFuel.empty()) bench::fail(scenario.name + ": no viewed car");
    Outcome outcome;
    const std::string output = program.output();
    outcome.planStops = firstPlanStops(output);
    const std::vector<std::pair<int, int>> said = planCounts(output, outcome.planLines);
    // A stop made lowers the stops left: 2, 3 and, after a stop, 2 is one count that rose, not a wobble.
    std::vector<int> counts, totals;
    for (const auto& [count, lap] : said) {
        const auto made = std::count_if(car->stops.begin(), car->stops.end(), [lap](const auto& s) { return s.lap <= lap; });
        counts.push_back(count);
        totals.push_back(count + static_cast<int>(made));
        outcome.countList += ' ' + std::to_string(count);
        outcome.totalList += ' ' + std::to_string(totals.back());
    }
    outcome.countFlips = flipsOf(counts);
    outcome.totalFlips = flipsOf(totals);
    outcome.lapsDown = order.front().lapsDone - car->lapsDone;
    outcome.timed = scenario.sessions.front().hours > 0;
    const int lastStop = car->stops.empty() ? 0 : car->stops.back().lap;
    for (const standin::CautionSetup& caution : scenario.sessions.front().cautions)
        outcome.lateCaution = outcome.lateCaution || caution.toLap > lastStop;
    // STRATEGY_CONSOLE="endurance race 4": that race's console and the car's stops, to see what went wrong.
    if (const char* name = std::getenv("STRATEGY_CONSOLE"); name != nullptr && scenario.name == name) {
        std::fprintf(stderr, "%s\n", program.output().c_str());
        for (const auto& stop : car->stops)
            std::fprintf(stderr, "Stop at the end of lap %d: the menu held %d %%, %.2f %% went in\n", stop.lap,
                         stop.menuPercent, stop.takenPercent);
    }
    outcome.dry = car->ranDry;
    outcome.stops = static_cast<int>(car->stops.size());
    outcome.leftPercent = car->ranDry ? 0 : car->lapLineFuel.back() * 100.0;
    outcome.usePercent = scenario.car(kViewed)->usePercent;
    outcome.leftLaps = outcome.leftPercent / outcome.usePercent;
    double taken = 0;
    for (const auto& stop : car->stops) {
        taken += stop.takenPercent;
        char text[32];
        std::snprintf(text, sizeof text, " %d:%d", stop.lap, stop.menuPercent);
        outcome.stopList += text;
    }
    // The fewest stops: full tanks for the fuel burnt beyond the start fuel, taken at the least the model's
    // spread can have made it, so that a stop counted as more than needed surely was.
    const double start = scenario.car(kViewed)->fuelPercent - scenario.car(kViewed)->fuelSpreadPercent;
    const double burnt = scenario.car(kViewed)->fuelPercent + taken - outcome.leftPercent;
    outcome.fewestStops = burnt > start ? static_cast<int>(std::ceil((burnt - start) / 100.0)) : 0;
    if (!car->stops.empty()) {
        const standin::StopRecord& last = car->stops.back();
        outcome.askedPercent = last.menuPercent;
        outcome.neededPercent = last.takenPercent - outcome.leftPercent;
        // What it took is still in the tank at the flag: the fuel to the flag was in it before the stop.
        outcome.needlessStop = !car->ranDry && outcome.leftPercent >= last.takenPercent;
    }
    if (follower) {
        if (!car->stops.empty()) outcome.countAtFirstStop = driver.countAt(car->stops.front().lap - 1);
        const int half = car->lapsDone / 2;
        outcome.countAtHalf = driver.countAt(half);
        for (const auto& stop : car->stops) outcome.stopsAfterHalf += stop.lap > half ? 1 : 0;
    }
    return outcome;
}

std::string fixed(double value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

std::string linesAStint(const std::vector<Outcome>& outcomes) {
    int lines = 0, stints = 0;
    for (const Outcome& o : outcomes) {
        lines += o.planLines;
        stints += o.stops + 1;
    }
    return lines == 0 ? "-" : fixed(static_cast<double>(lines) / stints, 2);
}

// "12 / 1 of 200": the races whose count was right, too few, of those with a count.
std::string countColumn(const std::vector<Outcome>& outcomes, int Outcome::*count, bool afterHalf) {
    int right = 0, few = 0, said = 0;
    for (const Outcome& o : outcomes) {
        const int said_ = o.*count;
        if (said_ < 0) continue;
        const int made = afterHalf ? o.stopsAfterHalf : o.stops;
        ++said;
        right += said_ == made ? 1 : 0;
        few += said_ < made ? 1 : 0;
    }
    return std::to_string(right) + " / " + std::to_string(few) + " of " + std::to_string(said);
}

void printTable(const char* title, int races, const std::vector<std::vector<Outcome>>& outcomes,
                const std::vector<int>& rows) {
    std::printf("\n%s, %d races\n\n", title, races);
    int lapped = 0, lapsDown = 0;
    for (const Outcome& o : outcomes[static_cast<std::size_t>(rows.front())]) {
        lapped += o.lapsDown > 0 ? 1 : 0;
        lapsDown += o.lapsDown;
    }
    if (lapped > 0)
        std::printf("The viewed car lapped in %d races, %s laps down at the flag on the mean of those.\n\n", lapped,
                    fixed(static_cast<double>(lapsDown) / lapped, 1).c_str());
    std::printf("| Fuel setting | Races dry | Left at the flag, mean: %% / laps | Left, 5th percentile: %% / laps "
                "| Stops, mean | Races with a stop more than needed | Last stop: asked / needed, mean %% "
                "| Asked - needed, mean size: laps | Stops = fewest | Stops = the driver's fewest "
                "| Plan's first stop count right | Races with a last stop for fuel it had | `Plan:` lines a stint "
                "| Counts said again within three lines: stops left / stops in all |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    const auto mean = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    };
    const auto lowest = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : bench::percentile(values, 0.05);
    };
    for (const int s : rows) {
        std::vector<double> leftPercent, leftLaps, asked, needed, missLaps;
        int dry = 0, stops = 0, extra = 0, fewest = 0, driversFewest = 0, planned = 0, planRight = 0;
        int needless = 0, flips = 0, totalFlips = 0;
        for (const Outcome& o : outcomes[static_cast<std::size_t>(s)]) {
            stops += o.stops;
            needless += o.needlessStop ? 1 : 0;
            flips += o.countFlips;
            totalFlips += o.totalFlips;
            if (o.planStops >= 0) {  // the first plan, against the stops made, dry or not
                ++planned;
                planRight += o.planStops == o.stops ? 1 : 0;
            }
            if (o.dry) {  // nothing to say of what would have been needed
                ++dry;
                continue;
            }
            leftPercent.push_back(o.leftPercent);
            leftLaps.push_back(o.leftLaps);
            extra += o.stops > o.fewestStops ? 1 : 0;
            fewest += o.stops == o.fewestStops ? 1 : 0;
            driversFewest += o.stops == o.driversFewest ? 1 : 0;
            if (o.stops == 0) continue;
            asked.push_back(o.askedPercent);
            needed.push_back(o.neededPercent);
            missLaps.push_back(std::abs(o.askedPercent - o.neededPercent) / o.usePercent);
        }
        const std::string planColumn = planned == 0 ? "-" : std::to_string(planRight) + " of " + std::to_string(planned);
        std::printf("| `%s` | %d | %s / %s | %s / %s | %s | %d | %s / %s | %s | %d (%s %%) | %d (%s %%) | %s | %d | %s | %d / %d |\n",
                    kSettings[s].name, dry, fixed(mean(leftPercent), 1).c_str(), fixed(mean(leftLaps), 2).c_str(),
                    fixed(lowest(leftPercent), 1).c_str(), fixed(lowest(leftLaps), 2).c_str(),
                    fixed(static_cast<double>(stops) / races, 2).c_str(), extra, fixed(mean(asked), 1).c_str(),
                    fixed(mean(needed), 1).c_str(), fixed(mean(missLaps), 2).c_str(), fewest,
                    fixed(100.0 * fewest / races, 1).c_str(), driversFewest,
                    fixed(100.0 * driversFewest / races, 1).c_str(), planColumn.c_str(), needless,
                    linesAStint(outcomes[static_cast<std::size_t>(s)]).c_str(), flips, totalFlips);
    }
    const auto& first = outcomes[static_cast<std::size_t>(rows.front())];
    if (lapped == 0 && std::none_of(first.begin(), first.end(), [](const Outcome& o) { return o.timed; })) return;
    // Endurance races hold three kinds of race: what is left at the flag in each.
    // A caution after the last stop shortens a timed race by laps no plan can foresee: those races apart too.
    std::printf("\n| Fuel setting | Left at the flag, mean laps: lap races, not lapped | lapped | timed races "
                "| timed, no caution after the last stop |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const int s : rows) {
        double sum[4] = {0, 0, 0, 0};
        int home[4] = {0, 0, 0, 0};
        for (const Outcome& o : outcomes[static_cast<std::size_t>(s)]) {
            if (o.dry) continue;
            const int kind = o.timed ? 2 : o.lapsDown > 0 ? 1 : 0;
            sum[kind] += o.leftLaps;
            ++home[kind];
            if (o.timed && !o.lateCaution) {
                sum[3] += o.leftLaps;
                ++home[3];
            }
        }
        std::printf("| `%s` |", kSettings[s].name);
        for (int kind = 0; kind < 4; ++kind)
            std::printf(" %s (%d races) |", fixed(home[kind] ? sum[kind] / home[kind] : 0.0, 2).c_str(), home[kind]);
        std::printf("\n");
    }
}

// The driver who follows the plan, under the settings with one.
void printFollowerTable(const char* title, int races, const std::vector<std::vector<Outcome>>& outcomes,
                        const std::vector<int>& rows) {
    std::printf("\n%s, %d races, the driver who follows the plan\n\n", title, races);
    std::printf("| Fuel setting | Races dry | Left at the flag, mean: laps | Stops, mean "
                "| Races with a last stop for fuel it had | Count at lap 3: right / too few "
                "| Count at his first stop: right / too few | Count at half distance: right / too few "
                "| `Plan:` lines a stint | Counts said again within three lines: stops left / stops in all |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    for (const int s : rows) {
        if (!withPlan(kSettings[s])) continue;
        const std::vector<Outcome>& played = outcomes[static_cast<std::size_t>(s)];
        int dry = 0, stops = 0, needless = 0, flips = 0, totalFlips = 0, home = 0;
        double leftLaps = 0;
        for (const Outcome& o : played) {
            stops += o.stops;
            needless += o.needlessStop ? 1 : 0;
            flips += o.countFlips;
            totalFlips += o.totalFlips;
            if (o.dry) {
                ++dry;
                continue;
            }
            ++home;
            leftLaps += o.leftLaps;
        }
        std::printf("| `%s` | %d | %s | %s | %d | %s | %s | %s | %s | %d / %d |\n", kSettings[s].name, dry,
                    fixed(home == 0 ? 0.0 : leftLaps / home, 2).c_str(),
                    fixed(static_cast<double>(stops) / races, 2).c_str(), needless,
                    countColumn(played, &Outcome::planStops, false).c_str(),
                    countColumn(played, &Outcome::countAtFirstStop, false).c_str(),
                    countColumn(played, &Outcome::countAtHalf, true).c_str(), linesAStint(played).c_str(), flips, totalFlips);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <stintkeeper> [lap races] [long lap races] [timed races] [endurance races] [parallel races]\n",
                     argv[0]);
        return 2;
    }
    const std::string binary = argv[1];
    // The benchmark's races: so many of each kind, the same races in every run.
    int races[kKinds] = {150, 50, 90, 200};
    for (int kind = 0; kind < kKinds; ++kind)
        if (argc > 2 + kind) races[kind] = std::max(0, std::atoi(argv[2 + kind]));  // 0: that kind is left out
    const int parallel = argc > 6 ? std::max(1, std::atoi(argv[6])) : 2;
    // STRATEGY_SETTINGS="8,9": only these rows of the table (counted from 1) are played, to try settings.
    std::vector<int> rows;
    const char* only = std::getenv("STRATEGY_SETTINGS");
    for (std::istringstream list(only ? only : ""); list.good();) {
        int row = 0;
        if (list >> row && row >= 1 && row <= kSettingCount) rows.push_back(row - 1);
        list.ignore(1);
    }
    if (rows.empty())
        for (int s = 0; s < kSettingCount; ++s) rows.push_back(s);

    // outcomes[kind][setting][race], and of the driver who follows the plan; the long races are played first,
    // so that the workers end together.
    std::vector<std::vector<std::vector<Outcome>>> outcomes(kKinds), followed(kKinds);
    std::vector<std::pair<Kind, int>> queue;
    for (const Kind kind : {Endurance, LongLapRace, TimedRace, LapRace}) {
        outcomes[kind].assign(kSettingCount, std::vector<Outcome>(static_cast<std::size_t>(races[kind])));
        followed[kind] = outcomes[kind];
        for (int number = 0; number < races[kind]; ++number) queue.emplace_back(kind, number);
    }
    const int total = static_cast<int>(queue.size());
    const bool detail = std::getenv("STRATEGY_DETAIL") != nullptr;
    std::atomic<int> next{0}, done{0};
    std::mutex progress;
    const auto work = [&] {
        for (int index; (index = next++) < total;) {
            const auto [kind, number] = queue[static_cast<std::size_t>(index)];
            const Race race = raceOf(kind, number + 1);
            const int driversFewest = driversFewestStops(race);
            for (const int s : rows) {
                Outcome o = play(binary, race, kSettings[s], false);
                o.driversFewest = driversFewest;
                outcomes[kind][static_cast<std::size_t>(s)][static_cast<std::size_t>(number)] = o;
                if (withPlan(kSettings[s])) {
                    const Outcome f = play(binary, race, kSettings[s], true);
                    followed[kind][static_cast<std::size_t>(s)][static_cast<std::size_t>(number)] = f;
                    if (detail)
                        std::fprintf(stderr, "%s, row %d, the driver who follows the plan: %s, %d stops, plan %d at lap 3, "
                                     "%d at his first stop, %d at half distance (%d stops after it), %.1f %% left; stops%s; "
                                     "counts%s; in all%s\n",
                                     race.scenario.name.c_str(), s + 1, f.dry ? "dry" : "home", f.stops, f.planStops,
                                     f.countAtFirstStop, f.countAtHalf, f.stopsAfterHalf, f.leftPercent, f.stopList.c_str(),
                                     f.countList.c_str(), f.totalList.c_str());
                }
                if (detail) {  // STRATEGY_DETAIL: one line a race and setting, to find the races a setting gets wrong
                    std::fprintf(stderr,
                                 "%s, row %d: %s, %d stops of %d fewest (the driver's %d), first plan %d, "
                                 "%.1f %% (%.2f laps) left; stops%s; counts%s; in all%s\n",
                                 race.scenario.name.c_str(), s + 1, o.dry ? "dry" : "home", o.stops, o.fewestStops,
                                 o.driversFewest, o.planStops, o.leftPercent, o.leftLaps, o.stopList.c_str(), o.countList.c_str(), o.totalList.c_str());
                }
            }
            const std::lock_guard<std::mutex> lock(progress);
            if (++done % 20 == 0) std::fprintf(stderr, "%d of %d races played\n", done.load(), total);
        }
    };
    std::vector<std::thread> workers;
    for (int k = 0; k < parallel; ++k) workers.emplace_back(work);
    for (auto& worker : workers) worker.join();

    std::printf("%zu settings; OutGauge every 500, 2000 or 10000 ms by race\n", rows.size());
    const bool anyPlan = std::any_of(rows.begin(), rows.end(), [](int s) { return withPlan(kSettings[s]); });
    for (int kind = 0; kind < kKinds; ++kind) {
        if (races[kind] == 0) continue;
        printTable(kKindTitles[kind], races[kind], outcomes[static_cast<std::size_t>(kind)], rows);
        if (anyPlan) printFollowerTable(kKindTitles[kind], races[kind], followed[static_cast<std::size_t>(kind)], rows);
    }
    return 0;
}
