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
    // Driver: the driver of a car set by askDriver() has crossed its line, and says through answerDriver()
    // whether the lap it starts ends in the pits, before the model goes on.
    enum class Kind { InSim, OutGauge, Notice, Driver };
    Kind kind = Kind::Notice;
    std::uint32_t time = 0;            // simulated ms since the scenario began
    std::vector<std::uint8_t> bytes;   // the InSim packet or the OutGauge datagram
    std::string text;                  // a notice for the person watching
    // Which member's game an InSim packet goes to when both members' games are served: a screen's change goes
    // to the game whose screen it is.
    enum class Game { Both, Local, Mate };
    Game game = Game::Both;
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
    int hours = 0;                       // a timed race
    int minutes = 0;
    std::vector<CarReport> order;        // finishing order; by best lap in qualifying and practice
    std::vector<std::uint8_t> viewed;    // the cars viewed during the session, in order
    int strayPresses = 0;                // keys that reached no pit menu (PressOutcome::Stray)
    int blockedPresses = 0;              // keys taken by an open dialog or text entry
    int boxChanges = 0;                  // fuel setting changes while the viewed car stood in its box
    int finalMenuPercent = 0;            // the pit menu of the last viewed car at the end
};

struct ViewStatus {                      // what the status line of the board view shows
    std::uint8_t plid = 0;
    int lap = 0;                         // lap in progress (laps done + 1), 0 outside a session
    int raceLaps = 0;
    int raceHours = 0;                   // a timed race
    bool menuOpen = false;               // the F12 screen is open
    int menuPercent = 0;
    const char* session = "";            // "race", "qualifying", "practice" or ""
};

class RaceModel {
public:
    RaceModel(const Scenario& scenario, std::uint64_t seed);

    // The next thing the simulator does, in simulated time order; nothing once the scenario is over.
    std::optional<ModelEvent> next();

    // What the handshake settled: the InSim version the program was answered (IS_CIM goes to 8 and later)
    // and the OutGauge interval it asked for, in ms, which the datagrams keep from now on when `useAsked` or
    // the scenario's "outgauge asked" says so (10 ms at the least). Without it: no IS_CIM, the scenario's interval.
    void connected(word insimVersion, std::uint32_t askedOutGaugeMs, bool useAsked = false);

    // The car `plid` is driven from outside the model in races: at each of its lines but the last a Driver
    // event comes after the lap packet, and its next lap starts only with the next event, taking the answer
    // given in between (a stop at its end or not; nothing: the car's own rule).
    void askDriver(std::uint8_t plid) { askedPlid_ = plid; }
    void answerDriver(std::optional<bool> stop) { driverSays_ = stop; }

    // A key pressed through "/press": lands on the local screen, and on the pit menu of the car viewed now.
    // A change of screen sends IS_CIM, as the next event. `mate`: pressed in the team mate's own game, on his
    // screen; either member's keys reach the car's menu only while he drives it.
    PressOutcome pressKey(std::string_view key, bool mate = false);

    // The packets that answer a request of the program (IS_TINY with TINY_SST, TINY_RST, TINY_NCN, TINY_NPL or
    // TINY_NLP), each with its ReqI: the state, the restart of the session running, the one local connection,
    // every car driven by it, and every car's lap. `mateGame`: as the team mate's own game answers, his
    // connection the local one.
    std::vector<std::vector<std::uint8_t>> answer(byte subT, byte reqI, bool mateGame = false) const;
    // The connection driving the viewed car: 0 the local one, else the team mate's.
    std::uint8_t viewedDriver() const;

    std::uint32_t now() const { return now_; }
    ViewStatus viewStatus() const;
    const LocalScreen& screen() const { return screen_; }
    const std::vector<SessionReport>& reports() const { return reports_; }
    // Faults of the whole scenario, as SessionReport counts them per session.
    int strayPresses() const { return strayTotal_; }
    int blockedPresses() const { return blockedTotal_; }
    int boxChanges() const { return boxChangesTotal_; }

private:
    enum class Step {
        CarLine, CarLapStart, CarDriveEnd, CarSplit, CarDry, CarInBox, CarBoxLeft, SessionStart, SessionEnd, ScenarioEnd, Tick, Screen
    };
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
        std::uint32_t stopMs = 0;      // pit lane part at its end: to the box, standing, to the line
        std::uint32_t boxAt = 0;       // when it stopped in its box (a refuelling stop)
        std::uint32_t fillFrom = 0, fillTo = 0;  // the fuel goes in between these
        bool standing = false;         // from IS_PIT to IS_PSF
        std::uint8_t laneFact = 0;     // IS_PLA Fact of the entry
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
    void stopInBox(int car);
    void leaveBox(int car);
    void screenAction(int session, int index);
    void countFault(PressOutcome outcome, bool boxChange);
    bool lastLap(int lap, std::uint32_t lineAt) const;
    void crossLine(int car);
    void runDry(int car);
    void split(int car, int number);
    void tick();
    void sendState();
    IS_STA stateNow() const;
    std::uint8_t driverOf(const Car& car) const;  // the connection driving it
    std::vector<std::uint8_t> playerPacket(const Car& car, byte reqI) const;  // IS_NPL with its name
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
    std::uint32_t timeUpAt_ = 0;       // a timed race: the leader's first line from then on is its last
    bool leaderFinished_ = false;
    int leaderLaps_ = 0;
    bool endPlanned_ = false;
    std::uint8_t view_ = 0;
    std::vector<std::pair<std::uint32_t, std::uint8_t>> results_;  // qualifying table: best, PLID
    std::vector<SessionReport> reports_;
    int strayTotal_ = 0;
    int blockedTotal_ = 0;
    int boxChangesTotal_ = 0;
    LocalScreen screen_;
    LocalScreen mateScreen_;           // the team mate's, in his own game
    word insimVersion_ = 0;
    IS_RST rst_{};                     // the restart of the session running
    std::uint32_t outGaugeMs_;
    std::uint8_t askedPlid_ = 0;       // the car driven from outside; 0: none
    std::optional<bool> driverSays_;   // its driver's answer at its last line
};

}  // namespace standin
