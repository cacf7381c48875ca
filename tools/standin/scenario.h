// A race scenario of the stand-in: the field of cars and the sessions in a row, read from a small text file.
// Parse errors name the file, the line and what was expected there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

constexpr int kMaxCars = 64;
constexpr int kMaxLap = 65535;  // LapsDone is 16 bits

struct CarSetup {
    std::uint8_t plid = 0;
    std::string name;                 // shown in the summary; "Car <plid>" when not given
    double lapSeconds = 0;            // mean lap time
    double spreadSeconds = 0;         // a lap deviates from the mean by at most this much
    double usePercent = 0;            // fuel used per lap, percent of a full tank
    double fuelPercent = 100;         // fuel at the start of every session
    int menuPercent = 10;             // fuel setting of the pit menu at the start of every session
    std::vector<int> stopLaps;        // planned stops in races: at the end of these laps
    double useSpreadPercent = 0;      // a lap's use deviates from `use` by at most this much
    double fuelSpreadPercent = 0;     // the start fuel deviates from `fuel` by at most this much
    double stopMargin = -1;           // pits when short of its worst racing lap times 1 + this; < 0: of `use`
};

enum class SessionKind { Race, Qualifying, Practice };

struct ViewChange {
    std::uint8_t plid = 0;
    int lap = 0;  // the view moves when the leader completes this lap
};

struct PenaltySetup {
    std::uint8_t plid = 0;
    std::uint8_t penalty = 0;  // PENALTY_DT_VALID or PENALTY_SG_VALID
    int lap = 0;               // given at this lap line, served at the end of the lap two later
};

struct CautionSetup {
    int fromLap = 0, toLap = 0;  // each car's laps from and to these, both included
    double pace = 1.3;           // lap times times this
    double use = 0.6;            // fuel use times this
};

// Something the driver does on the local screen, at a time from the session start.
struct ScreenAction {
    enum class Kind { Screen, Dialog, TextEntry };
    std::uint32_t atMs = 0;
    Kind kind = Kind::Screen;
    std::uint8_t mode = 0;     // Screen: the interface mode shown (IS_CIM Mode)
    std::uint8_t subMode = 0;  // and its submode (IS_CIM SubMode)
    bool open = false;         // Dialog, TextEntry: opened or closed
};

struct SessionSetup {
    SessionKind kind = SessionKind::Race;
    int laps = 0;              // race length: 1 to 99, or 100 to 1000 in tens; 0 in a timed race
    int hours = 0;             // a timed race's length, 1 to 48
    int minutes = 0;           // qualifying or practice length
    bool mandatoryStop = false;
    std::uint8_t view = 0;     // viewed car at the start; the first car when not given
    std::vector<ViewChange> viewChanges;
    std::vector<PenaltySetup> penalties;
    std::vector<CautionSetup> cautions;
    std::vector<ScreenAction> screenActions;
};

struct Scenario {
    std::string name;                  // the file it came from
    std::uint64_t seed = 1;
    int outGaugeMs = 500;              // simulated time between OutGauge datagrams
    bool outGaugeAsked = false;        // at the interval the program asks for instead
    int splits = 2;                    // split points per lap, 0 to 3
    double pitLaneSeconds = 20;        // time lost driving through the pit lane
    double serviceSeconds = 4;         // standing time of a stop, before the fuel goes in
    double refuelSecondsPerPercent = 0.2;
    double inLapUse = 1;               // fuel use of the lap that ends with a refuelling stop, times a racing lap's
    double outLapUse = 1;              // and of the lap after it
    std::string track = "BL1";
    bool hideFuel = false;             // the host hides fuel: IS_PIT gives FuelAdd 255
    double connectAtSeconds = 0;       // the program's link is taken at this simulated time: a race already runs
    double dropLinkAtSeconds = 0;      // the link is dropped at this time (0: never) ...
    double linkDownSeconds = 0;        // ... and what the game sends for this long is lost, then a new link taken
    // A team race: the car `teamCar` is driven first by the team mate's connection `mateUcid` (remote), and
    // handed to the local connection (UCID 0) at its first stop; 0: every car is the local connection's.
    std::uint8_t teamCar = 0;
    std::uint8_t mateUcid = 0;
    std::vector<CarSetup> cars;
    std::vector<SessionSetup> sessions;

    const CarSetup* car(std::uint8_t plid) const;
};

struct ParseResult {
    std::optional<Scenario> scenario;
    std::string error;  // "file:line: expected ...", when there is no scenario
};

ParseResult parseScenario(std::string_view text, const std::string& fileName);
ParseResult loadScenario(const std::string& path);

const char* sessionKindName(SessionKind kind);  // "race", "qualifying", "practice"

// RaceLaps of IS_RST and IS_STA: laps 1 to 99 as they are, 100 to 1000 laps as 100 + (laps - 100) / 10
// (100 to 190), hours as 190 + hours (191 to 238); 0 outside races.
std::uint8_t raceLapsByte(const SessionSetup& session);
// A race's length for people: "15 laps", "300 laps", "1 hour", "2 hours".
std::string raceLengthText(int laps, int hours);

}  // namespace standin
