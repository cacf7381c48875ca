// The race model of the stand-in: plays a scenario's sessions in simulated time and produces what
// the simulator would send — InSim packets in the true order of the line, OutGauge datagrams of the viewed car.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <string_view>
#include <vector>

#include "standin/pit_menu.h"
#include "standin/random.h"
#include "standin/scenario.h"

namespace standin {

struct ModelEvent {
    enum class Kind { InSim, OutGauge, Notice };
    Kind kind = Kind::Notice;
    std::uint32_t time = 0;            // simulated ms since the scenario began
    std::vector<std::uint8_t> bytes;   // the InSim packet or the OutGauge datagram
    std::string text;                  // a notice for the person watching
};

struct StopRecord {
    int lap = 0;              // the stop came at the end of this lap
    int menuPercent = 0;      // the pit menu's setting at the stop
    double takenPercent = 0;  // fuel that went in (the setting, less what did not fit in the tank)
};

struct CarReport {
    std::uint8_t plid = 0;
    std::string name;
    int lapsDone = 0;
    std::uint32_t lastLineMs = 0;     // session time at its last lap line
    std::uint32_t bestLapMs = 0;
    bool finished = false;            // took the chequered flag (races)
    bool ranDry = false;
    int dryLap = 0;                   // the lap on which it stopped on track
    std::vector<float> lapLineFuel;   // fuel at each lap line, lap n at index n - 1
    std::vector<StopRecord> stops;
};

struct SessionReport {
    SessionKind kind = SessionKind::Race;
    int laps = 0;
    int minutes = 0;
    std::vector<CarReport> order;        // finishing order; by best lap in qualifying and practice
    std::vector<std::uint8_t> viewed;    // the cars viewed during the session, in order
    int strayPresses = 0;
    int finalMenuPercent = 0;            // the pit menu of the last viewed car at the end
};

struct ViewStatus {                      // what the status line of the board view shows
    std::uint8_t plid = 0;
    int lap = 0;                         // lap in progress (laps done + 1), 0 outside a session
    int raceLaps = 0;
    bool menuOpen = false;
    int menuPercent = 0;
    const char* session = "";            // "race", "qualifying", "practice" or ""
};

class RaceModel {
public:
    RaceModel(const Scenario& scenario, std::uint64_t seed);

    // The next thing the simulator does, in simulated time order; nothing once the scenario is over.
    std::optional<ModelEvent> next();

    // A key pressed through "/press": goes to the pit menu of the car viewed now.
    PressOutcome pressKey(std::string_view key);

    std::uint32_t now() const { return now_; }
    ViewStatus viewStatus() const;
    const std::vector<SessionReport>& reports() const { return reports_; }
    int strayPresses() const { return strayTotal_; }

private:
    enum class Step { CarLine, CarDriveEnd, CarSplit, CarDry, SessionStart, SessionEnd, ScenarioEnd, Tick };
    struct Pending {
        std::uint32_t time;
        Step step;
        std::uint64_t sequence;  // ties keep the order they were planned in
        int car;
        int arg;
        bool operator>(const Pending& other) const {
            if (time != other.time) return time > other.time;
            if (step != other.step) return step > other.step;
            return sequence > other.sequence;
        }
    };
    enum class Phase { Garage, Driving, Stopping, Done, Dry };
    struct Car {
        const CarSetup* setup = nullptr;
        Random random{0};
        Random fuelRandom{0};          // the use per lap and the start fuel: the lap times stay as they were
        PitMenu menu;
        Phase phase = Phase::Garage;
        double fuel = 0;               // at the start of the current lap, fraction of a tank
        double fuelAtLine = 0;         // after the stop of the current lap
        std::uint32_t lapStart = 0;
        std::uint32_t driveMs = 0;     // driving part of the current lap
        std::uint32_t stopMs = 0;      // pit lane part at its end
        double lapShare = 1;           // 0.5 on the out lap of qualifying and practice
        bool outLap = false;
        double lapUse = 0;             // fuel the driving part of the current lap burns
        double worstUse = 0;           // the most a racing lap has burnt so far, its setup's use at the least
        bool inLap = false;            // the current lap is to end with a refuelling stop (races)
        bool afterStop = false;        // the last lap ended with one
        int lapsDone = 0;
        std::uint8_t numStops = 0;
        std::uint8_t penalty = 0;
        int serveLap = 0;
        std::uint32_t bestLapMs = 0;
        CarReport report;
    };

    void plan(std::uint32_t time, Step step, int car = -1, int arg = 0);
    void emitInSim(std::vector<std::uint8_t> bytes);
    void notice(std::string text);
    void startSession(int index);
    void endSession();
    void startLap(int car, std::uint32_t at);
    const CautionSetup* caution(int lap) const;
    bool shortOfFuel(const Car& car, double fuelLeft) const;
    void driveEnd(int car);
    void crossLine(int car);
    void runDry(int car);
    void split(int car, int number);
    void tick();
    void sendState();
    bool sessionOver() const;
    void checkSessionOver();
    double fuelAt(const Car& car, std::uint32_t time) const;
    int carIndex(std::uint8_t plid) const;
    Car* viewedCar();
    const Car* viewedCar() const;

    const Scenario scenario_;
    const std::uint64_t seed_;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending_;
    std::uint64_t sequence_ = 0;
    std::vector<ModelEvent> outbox_;   // made by the step just run, handed out in order
    std::size_t outboxNext_ = 0;
    std::uint32_t now_ = 0;
    bool over_ = false;

    std::vector<Car> cars_;
    int session_ = -1;                 // index of the session running, -1 between sessions
    int lastSession_ = -1;
    std::uint32_t sessionStart_ = 0;
    std::uint32_t sessionClosesAt_ = 0;  // qualifying and practice: no new lap after this
    bool leaderFinished_ = false;
    int leaderLaps_ = 0;
    bool endPlanned_ = false;
    std::uint8_t view_ = 0;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> results_;  // qualifying table: best, PLID
    std::vector<SessionReport> reports_;
    int strayTotal_ = 0;
};

}  // namespace standin
