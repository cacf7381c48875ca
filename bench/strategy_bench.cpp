// The fuel strategy benchmark: seeded random races of the stand-in's model, each played against the real
// program under every fuel setting, and one table of how the viewed car's fuel calls came out.
// Usage: bench_strategy <stintkeeper> [races (200)] [parallel races (2)]
#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numeric>
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
};
constexpr int kSettingCount = sizeof kSettings / sizeof kSettings[0];
constexpr std::uint8_t kViewed = 1;

double between(standin::Random& random, double low, double high) { return low + (high - low) * random.uniform(); }
int wholeBetween(standin::Random& random, int low, int high) {  // both included
    return low + static_cast<int>(random.uniform() * (high - low + 1));
}

// A race of 10 to 60 laps and 8 to 20 cars. The viewed car starts with fuel for 55 to 90 % of the
// distance, its use per lap noisy, its pit menu low; it pits when what is left would not cover its
// worst lap so far plus a tenth. Some races have a caution; in- and out-laps burn their own amounts.
standin::Scenario raceScenario(int number) {
    standin::Random random(standin::carSeed(20261207, static_cast<unsigned>(number), 0));
    standin::Scenario scenario;
    scenario.name = "race " + std::to_string(number);
    scenario.seed = random.nextBits() % 1'000'000'000;
    scenario.outGaugeMs = 2000;  // the fuel at a line is read at most 2 s after it: a thirtieth of a lap
    scenario.splits = 0;
    scenario.inLapUse = between(random, 0.85, 1.0);
    scenario.outLapUse = between(random, 1.0, 1.1);
    const int laps = wholeBetween(random, 10, 60), cars = wholeBetween(random, 8, 20);
    const double lapSeconds = between(random, 60, 100);
    const double startFuel = between(random, 50, 100);
    const double share = between(random, 0.55, 0.90);  // of the distance the start fuel covers
    const double use = startFuel / (share * laps);
    for (int plid = 1; plid <= cars; ++plid) {
        standin::CarSetup car;
        car.plid = static_cast<std::uint8_t>(plid);
        car.name = "Car" + std::to_string(plid);
        // The viewed car leads on pace, so it runs the full distance: a lapped car's fuel at the flag would
        // tell of the lapping, not of the calls.
        car.lapSeconds = lapSeconds * (plid == kViewed ? 0.99 : between(random, 1.0, 1.02));
        car.spreadSeconds = between(random, 0.3, 1.0);
        car.usePercent = use * between(random, 0.95, 1.05);
        car.useSpreadPercent = car.usePercent * between(random, 0.02, 0.1);
        car.fuelPercent = plid == kViewed ? startFuel : 100;
        car.fuelSpreadPercent = plid == kViewed ? between(random, 0, 3) : 0;
        car.menuPercent = plid == kViewed ? wholeBetween(random, 1, 10) : 100;
        if (plid == kViewed) car.stopMargin = 0.1;
        scenario.cars.push_back(car);
    }
    standin::SessionSetup race;
    race.laps = laps;
    race.view = kViewed;
    if (random.uniform() < 1.0 / 3) {
        standin::CautionSetup caution;
        caution.fromLap = wholeBetween(random, 2, laps - 3);
        caution.toLap = std::min(laps - 1, caution.fromLap + wholeBetween(random, 1, 4));
        caution.pace = between(random, 1.2, 1.6);
        caution.use = between(random, 0.5, 0.8);
        race.cautions.push_back(caution);
    }
    scenario.sessions.push_back(race);
    return scenario;
}

struct Outcome {
    bool dry = false;
    double leftPercent = 0, leftLaps = 0;  // at the flag
    int stops = 0;
    double askedPercent = 0;   // by the menu at the first stop
    double neededPercent = 0;  // what the first stop would have had to take to finish with nothing left
    double usePercent = 0;     // the car's set use per lap, for the figures in laps
};

Outcome play(const std::string& binary, const standin::Scenario& scenario, const Setting& setting) {
    standin::InSimHost host;
    standin::ProgramRunner program(binary);
    if (!program.start(standin::portsConfig(host.port(), standin::freePort(true), setting.element)))
        bench::fail(program.startError());
    standin::RaceModel model(scenario, scenario.seed);
    std::ostringstream shown;
    standin::Console console(shown, false);
    standin::HostOptions options;
    options.showBoard = options.showNotices = false;
    standin::HostSession session(host, model, console, options);
    if (!session.handshake(10000) || !session.run()) bench::fail(scenario.name + ": " + session.error());
    if (program.wait(10000) != 0) bench::fail(scenario.name + ": the program did not end well");

    const auto& order = model.reports().at(0).order;
    const auto car = std::find_if(order.begin(), order.end(), [](const auto& c) { return c.plid == kViewed; });
    if (car == order.end() || car->lapLineFuel.empty()) bench::fail(scenario.name + ": no viewed car");
    Outcome outcome;
    outcome.dry = car->ranDry;
    outcome.stops = static_cast<int>(car->stops.size());
    outcome.leftPercent = car->ranDry ? 0 : car->lapLineFuel.back() * 100.0;
    outcome.usePercent = scenario.car(kViewed)->usePercent;
    outcome.leftLaps = outcome.leftPercent / outcome.usePercent;
    double taken = 0;
    for (const auto& stop : car->stops) taken += stop.takenPercent;
    if (!car->stops.empty()) outcome.askedPercent = car->stops.front().menuPercent;
    outcome.neededPercent = taken - outcome.leftPercent;
    return outcome;
}

std::string fixed(double value, int digits) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <stintkeeper> [races] [parallel races]\n", argv[0]);
        return 2;
    }
    const std::string binary = argv[1];
    const int races = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    const int parallel = argc > 3 ? std::max(1, std::atoi(argv[3])) : 2;

    std::vector<std::vector<Outcome>> outcomes(kSettingCount, std::vector<Outcome>(static_cast<std::size_t>(races)));
    std::atomic<int> nextRace{0}, done{0};
    std::mutex progress;
    const auto work = [&] {
        for (int race; (race = nextRace++) < races;) {
            const standin::Scenario scenario = raceScenario(race + 1);
            for (int s = 0; s < kSettingCount; ++s)
                outcomes[static_cast<std::size_t>(s)][static_cast<std::size_t>(race)] =
                    play(binary, scenario, kSettings[s]);
            const std::lock_guard<std::mutex> lock(progress);
            if (++done % 20 == 0) std::fprintf(stderr, "%d of %d races played\n", done.load(), races);
        }
    };
    std::vector<std::thread> workers;
    for (int k = 0; k < parallel; ++k) workers.emplace_back(work);
    for (auto& worker : workers) worker.join();

    std::printf("| Fuel setting | Races dry | Left at the flag, mean: %% / laps | Left, 5th percentile: %% / laps "
                "| Stops, mean | First stop: asked / needed, mean %% | Asked - needed, mean size: laps "
                "| First calls short |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    const auto mean = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    };
    const auto lowest = [](const std::vector<double>& values) {
        return values.empty() ? 0.0 : bench::percentile(values, 0.05);
    };
    for (int s = 0; s < kSettingCount; ++s) {
        std::vector<double> leftPercent, leftLaps, asked, needed, missLaps;
        int dry = 0, stops = 0, short_ = 0;
        for (const Outcome& o : outcomes[static_cast<std::size_t>(s)]) {
            stops += o.stops;
            if (o.dry) {  // nothing to say of what would have been needed
                ++dry;
                continue;
            }
            leftPercent.push_back(o.leftPercent);
            leftLaps.push_back(o.leftLaps);
            asked.push_back(o.askedPercent);
            needed.push_back(o.neededPercent);
            missLaps.push_back(std::abs(o.askedPercent - o.neededPercent) / o.usePercent);
            short_ += o.askedPercent < o.neededPercent ? 1 : 0;
        }
        std::printf("| `%s` | %d | %s / %s | %s / %s | %s | %s / %s | %s | %d |\n", kSettings[s].name, dry,
                    fixed(mean(leftPercent), 1).c_str(), fixed(mean(leftLaps), 2).c_str(),
                    fixed(lowest(leftPercent), 1).c_str(), fixed(lowest(leftLaps), 2).c_str(),
                    fixed(static_cast<double>(stops) / races, 2).c_str(), fixed(mean(asked), 1).c_str(),
                    fixed(mean(needed), 1).c_str(), fixed(mean(missLaps), 2).c_str(), short_);
    }
    return 0;
}
