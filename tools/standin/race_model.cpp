// The race model: a queue of what each car does next (splits, the end of the driving, the line,
// running dry), session starts and ends, and the OutGauge clock, worked off in simulated time order.
#include "standin/race_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "standin/packets.h"

namespace standin {
namespace {

constexpr std::uint32_t kLeadInMs = 3000;         // from the OutGauge request to the first session
constexpr std::uint32_t kCoolDownMs = 8000;       // from the last car home to the session end
constexpr std::uint32_t kBetweenSessionsMs = 5000;
constexpr std::uint32_t kTailMs = 2000;           // from the last session end to the end of the scenario
constexpr std::uint32_t kStartLossMs = 1500;      // a standing start costs this on the first lap
constexpr std::uint32_t kGridStepMs = 250;        // and each grid place behind the first this much more
constexpr std::uint32_t kPitExitStepMs = 3000;    // qualifying and practice: cars leave the pits one by one
constexpr double kOutLapShare = 0.5;              // from the pit exit to the line, share of a lap
constexpr byte kPitLaneDriveThrough = 3;          // IS_PLA Fact: entered to serve a drive-through
constexpr byte kPitLaneStopGo = 4;                // and a stop-go
constexpr byte kFuelHidden = 255;                 // IS_PIT FuelAdd when the host hides fuel
constexpr std::uint32_t kMinOutGaugeMs = 10;
constexpr std::uint64_t kFuelStream = 0x6675656C75736521ull;  // sets a car's fuel stream apart from its laps

std::uint32_t millis(double seconds) { return static_cast<std::uint32_t>(std::lround(seconds * 1000.0)); }

std::string percentText(double percent) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", percent);
    return text;
}

// Fuel200, the last byte of IS_LAP and IS_SPX: fuel in half percent of a tank.
byte fuel200(double fuel) { return static_cast<byte>(std::lround(std::clamp(fuel, 0.0, 1.0) * 200)); }

template <class Packet>
std::vector<std::uint8_t> packetBytes(const Packet& packet) { return bytesOf(packet); }

}  // namespace

RaceModel::RaceModel(const Scenario& scenario, std::uint64_t seed)
    : scenario_(scenario), seed_(seed), outGaugeMs_(static_cast<std::uint32_t>(scenario.outGaugeMs)) {
    plan(0, Step::Tick);
    plan(kLeadInMs, Step::SessionStart, -1, 0);
}

void RaceModel::connected(word insimVersion, std::uint32_t askedOutGaugeMs, bool useAsked) {
    insimVersion_ = insimVersion;
    if (useAsked || scenario_.outGaugeAsked) outGaugeMs_ = std::max(askedOutGaugeMs, kMinOutGaugeMs);
}

void RaceModel::plan(std::uint32_t time, Step step, int car, int arg) {
    pending_.push(Pending{time, step, sequence_++, car, arg});
}

void RaceModel::emitInSim(std::vector<std::uint8_t> bytes) {
    outbox_.push_back(ModelEvent{ModelEvent::Kind::InSim, now_, std::move(bytes), {}});
}

void RaceModel::notice(std::string text) {
    outbox_.push_back(ModelEvent{ModelEvent::Kind::Notice, now_, {}, std::move(text)});
}

std::optional<ModelEvent> RaceModel::next() {
    while (outboxNext_ >= outbox_.size()) {
        outbox_.clear();
        outboxNext_ = 0;
        if (over_ || pending_.empty()) return std::nullopt;
        const Pending step = pending_.top();
        pending_.pop();
        now_ = step.time;
        switch (step.step) {
            case Step::Tick: tick(); break;
            case Step::SessionStart: startSession(step.arg); break;
            case Step::SessionEnd: endSession(); break;
            case Step::ScenarioEnd: over_ = true; break;
            case Step::CarSplit: split(step.car, step.arg); break;
            case Step::CarDriveEnd: driveEnd(step.car); break;
            case Step::CarLine: crossLine(step.car); break;
            case Step::CarLapStart: startLap(step.car, now_); break;
            case Step::CarDry: runDry(step.car); break;
            case Step::CarInBox: stopInBox(step.car); break;
            case Step::CarBoxLeft: leaveBox(step.car); break;
            case Step::Screen: screenAction(step.car, step.arg); break;
        }
    }
    return std::move(outbox_[outboxNext_++]);
}

int RaceModel::carIndex(std::uint8_t plid) const {
    for (std::size_t i = 0; i < cars_.size(); ++i)
        if (cars_[i].setup->plid == plid) return static_cast<int>(i);
    return -1;
}

RaceModel::Car* RaceModel::viewedCar() {
    const int index = carIndex(view_);
    return index < 0 ? nullptr : &cars_[static_cast<std::size_t>(index)];
}

const RaceModel::Car* RaceModel::viewedCar() const {
    const int index = carIndex(view_);
    return index < 0 ? nullptr : &cars_[static_cast<std::size_t>(index)];
}

PressOutcome RaceModel::pressKey(std::string_view key, bool mate) {
    Car* car = viewedCar();
    if (car != nullptr && (driverOf(*car) != 0) != mate) car = nullptr;  // the pit menu is on the driver's screen
    LocalScreen& screen = mate ? mateScreen_ : screen_;
    const LocalScreen before = screen;
    const PressOutcome outcome = pressOn(screen, car ? &car->menu : nullptr, key);
    if (screen != before && insimVersion_ >= 8) {
        emitInSim(packetBytes(makeCim(screen.mode, screen.subMode)));
        outbox_.back().game = mate ? ModelEvent::Game::Mate : ModelEvent::Game::Local;
    }
    countFault(outcome, outcome == PressOutcome::Moved && car->standing);
    return outcome;
}

void RaceModel::countFault(PressOutcome outcome, bool boxChange) {
    SessionReport* session = reports_.empty() ? nullptr : &reports_.back();
    if (outcome == PressOutcome::Stray) {
        ++strayTotal_;
        if (session) ++session->strayPresses;
    } else if (outcome == PressOutcome::Blocked) {
        ++blockedTotal_;
        if (session) ++session->blockedPresses;
    }
    if (boxChange) {
        ++boxChangesTotal_;
        if (session) ++session->boxChanges;
    }
}

void RaceModel::screenAction(int session, int index) {
    const ScreenAction& action =
        scenario_.sessions[static_cast<std::size_t>(session)].screenActions[static_cast<std::size_t>(index)];
    const LocalScreen before = screen_;
    switch (action.kind) {
        case ScreenAction::Kind::Screen:
            screen_.mode = action.mode;
            screen_.subMode = action.subMode;
            if (screen_ == before) return;
            if (insimVersion_ >= 8) {
                emitInSim(packetBytes(makeCim(screen_.mode, screen_.subMode)));
                outbox_.back().game = ModelEvent::Game::Local;
            }
            notice("The driver goes to the " + screenName(screen_.mode, screen_.subMode) + ".");
            return;
        case ScreenAction::Kind::Dialog: screen_.dialog = action.open; break;
        case ScreenAction::Kind::TextEntry: screen_.textEntry = action.open; break;
    }
    if (screen_ == before) return;
    sendState();
    notice(std::string("The driver ") + (action.open ? "opens a " : "closes the ") +
           (action.kind == ScreenAction::Kind::Dialog ? "dialog." : "text entry."));
}

ViewStatus RaceModel::viewStatus() const {
    ViewStatus status;
    status.plid = view_;
    if (session_ >= 0) {
        const SessionSetup& setup = scenario_.sessions[static_cast<std::size_t>(session_)];
        status.session = sessionKindName(setup.kind);
        status.raceLaps = setup.kind == SessionKind::Race ? setup.laps : 0;
        status.raceHours = setup.kind == SessionKind::Race ? setup.hours : 0;
    }
    if (const Car* car = viewedCar()) {
        const bool onLap = session_ >= 0 && (car->phase == Phase::Driving || car->phase == Phase::Stopping);
        status.lap = car->lapsDone + (onLap && !car->outLap ? 1 : 0);
        status.menuOpen = screen_.pitInstructions();
        status.menuPercent = car->menu.fuelPercent();
    }
    return status;
}

void RaceModel::sendState() { emitInSim(packetBytes(stateNow())); }

IS_STA RaceModel::stateNow() const {
    IS_STA sta = makeSta(view_, 0, 0);
    sta.ReplaySpeed = 1.0f;
    sta.Flags = static_cast<word>(1 | screen_.stateFlags());  // in game
    sta.NumConns = 1;
    std::memcpy(sta.Track, scenario_.track.data(), std::min<std::size_t>(scenario_.track.size(), 5));
    if (session_ >= 0) {
        const SessionSetup& setup = scenario_.sessions[static_cast<std::size_t>(session_)];
        sta.RaceInProg = setup.kind == SessionKind::Race ? 1 : setup.kind == SessionKind::Qualifying ? 2 : 0;
        sta.RaceLaps = raceLapsByte(setup);
        sta.QualMins = static_cast<byte>(setup.kind == SessionKind::Qualifying ? setup.minutes : 0);
        sta.NumP = static_cast<byte>(cars_.size());
        for (const Car& car : cars_) sta.NumFinished += car.report.finished ? 1 : 0;
    }
    return sta;
}

std::vector<std::uint8_t> RaceModel::playerPacket(const Car& car, byte reqI) const {
    IS_NPL npl{};
    npl.Size = sizeof npl;
    npl.Type = ISP_NPL;
    npl.ReqI = reqI;
    npl.PLID = car.setup->plid;
    npl.UCID = driverOf(car);
    std::memcpy(npl.PName, car.setup->name.data(), std::min(car.setup->name.size(), sizeof npl.PName - 1));
    npl.NumP = static_cast<byte>(cars_.size());
    npl.Fuel = static_cast<byte>(std::lround(car.setup->fuelPercent));
    return packetBytes(npl);
}

std::vector<std::vector<std::uint8_t>> RaceModel::answer(byte subT, byte reqI, bool mateGame) const {
    std::vector<std::vector<std::uint8_t>> out;
    const bool running = session_ >= 0 && scenario_.sessions[static_cast<std::size_t>(session_)].kind != SessionKind::Practice;
    if (subT == TINY_SST) {
        IS_STA sta = stateNow();
        sta.ReqI = reqI;
        out.push_back(packetBytes(sta));
    } else if (subT == TINY_RST && running) {
        IS_RST rst = rst_;
        rst.ReqI = reqI;
        out.push_back(packetBytes(rst));
    } else if (subT == TINY_NCN) {
        // The local connection, the host; in a team race the team mate's remote one too. His own game has
        // it the other way round: his connection the local one, first, and the host's remote.
        IS_NCN local{};
        local.Size = sizeof local;
        local.Type = ISP_NCN;
        local.ReqI = reqI;
        local.Total = scenario_.teamCar != 0 ? 2 : 1;
        std::memcpy(local.UName, "local", 5);
        IS_NCN mate = local;
        mate.UCID = scenario_.mateUcid;
        std::memcpy(mate.UName, "mate\0", 6);
        (mateGame ? local : mate).Flags = NCN_REMOTE;
        out.push_back(packetBytes(mateGame ? mate : local));
        if (scenario_.teamCar != 0) out.push_back(packetBytes(mateGame ? local : mate));
    } else if (subT == TINY_ISM) {
        IS_ISM ism{};  // a guest of the stand-in's host
        ism.Size = sizeof ism;
        ism.Type = ISP_ISM;
        ism.ReqI = reqI;
        std::memcpy(ism.HName, "Stand-in", 8);
        out.push_back(packetBytes(ism));
    } else if (subT == TINY_NPL) {
        for (const Car& car : cars_) out.push_back(playerPacket(car, reqI));
    } else if (subT == TINY_NLP) {
        // Places: more laps first, then the earlier line.
        std::vector<const Car*> order;
        for (const Car& car : cars_) order.push_back(&car);
        std::stable_sort(order.begin(), order.end(), [](const Car* a, const Car* b) {
            return a->lapsDone != b->lapsDone ? a->lapsDone > b->lapsDone : a->report.lastLineMs < b->report.lastLineMs;
        });
        const std::size_t count = std::min<std::size_t>(order.size(), kMaxNodeLaps);
        std::vector<std::uint8_t> nlp = {0, ISP_NLP, reqI, static_cast<std::uint8_t>(count)};
        for (std::size_t place = 0; place < count; ++place) {
            const Car& car = *order[place];
            const int lapOn = running ? car.lapsDone + 1 : 0;
            const std::uint8_t record[6] = {0, 0, static_cast<std::uint8_t>(lapOn & 255), static_cast<std::uint8_t>(lapOn >> 8),
                                            car.setup->plid, static_cast<std::uint8_t>(running ? place + 1 : 0)};
            nlp.insert(nlp.end(), record, record + 6);
        }
        nlp.resize((nlp.size() + 3) / 4 * 4, 0);
        nlp[0] = static_cast<std::uint8_t>(nlp.size());
        out.push_back(std::move(nlp));
    }
    return out;
}

void RaceModel::startSession(int index) {
    session_ = lastSession_ = index;
    const SessionSetup& setup = scenario_.sessions[static_cast<std::size_t>(index)];
    sessionStart_ = now_;
    sessionClosesAt_ = setup.kind == SessionKind::Race ? 0 : now_ + static_cast<std::uint32_t>(setup.minutes) * 60000u;
    timeUpAt_ = now_ + static_cast<std::uint32_t>(setup.hours) * 3600000u;
    leaderFinished_ = false;
    leaderLaps_ = 0;
    endPlanned_ = false;
    view_ = setup.view;
    results_.clear();

    SessionReport report;
    report.kind = setup.kind;
    report.laps = setup.laps;
    report.hours = setup.hours;
    report.minutes = setup.minutes;
    report.viewed.push_back(view_);
    reports_.push_back(report);

    cars_.clear();
    for (const CarSetup& carSetup : scenario_.cars) {
        Car car;
        car.setup = &carSetup;
        car.random = Random(carSeed(seed_, carSetup.plid, static_cast<unsigned>(index)));
        car.fuelRandom = Random(carSeed(seed_, carSetup.plid, static_cast<unsigned>(index)) ^ kFuelStream);
        car.menu = PitMenu(carSetup.menuPercent);
        double fuelPercent = carSetup.fuelPercent;
        if (carSetup.fuelSpreadPercent > 0)
            fuelPercent = std::clamp(fuelPercent + carSetup.fuelSpreadPercent * car.fuelRandom.triangle(), 0.1, 100.0);
        car.fuel = car.fuelAtLine = fuelPercent / 100.0;
        car.worstUse = carSetup.usePercent / 100.0;
        car.report.plid = carSetup.plid;
        car.report.name = carSetup.name;
        cars_.push_back(std::move(car));
    }

    IS_RST rst = makeRst(raceLapsByte(setup),
                         static_cast<byte>(setup.kind == SessionKind::Qualifying ? setup.minutes : 0),
                         setup.mandatoryStop ? HOSTF_MUST_PIT : 0);
    rst.NumP = static_cast<byte>(cars_.size());
    std::memcpy(rst.Track, scenario_.track.data(), std::min<std::size_t>(scenario_.track.size(), 5));
    rst.NumNodes = 320;
    rst.Finish = 0;
    rst.Split1 = 100;
    rst.Split2 = 210;
    rst.Split3 = 0xFFFF;
    rst_ = rst;
    for (const Car& car : cars_) emitInSim(playerPacket(car, 0));  // the cars join before the start, as in the game
    emitInSim(packetBytes(rst));
    sendState();

    switch (setup.kind) {
        case SessionKind::Race:
            notice("Race of " + raceLengthText(setup.laps, setup.hours) + " starts" +
                   (setup.mandatoryStop ? ", one pit stop is mandatory" : "") + "; viewing car " +
                   std::to_string(view_) + ".");
            break;
        case SessionKind::Qualifying:
        case SessionKind::Practice:
            notice(std::string(setup.kind == SessionKind::Qualifying ? "Qualifying" : "Practice") + " of " +
                   std::to_string(setup.minutes) + " minutes starts; viewing car " + std::to_string(view_) + ".");
            break;
    }

    for (std::size_t i = 0; i < setup.screenActions.size(); ++i)
        plan(now_ + setup.screenActions[i].atMs, Step::Screen, index, static_cast<int>(i));
    for (std::size_t i = 0; i < cars_.size(); ++i) {
        Car& car = cars_[i];
        if (setup.kind == SessionKind::Race) {
            startLap(static_cast<int>(i), now_);
        } else {
            car.outLap = true;
            car.lapShare = kOutLapShare;
            startLap(static_cast<int>(i), now_ + static_cast<std::uint32_t>(i) * kPitExitStepMs);
        }
    }
}

void RaceModel::startLap(int index, std::uint32_t at) {
    Car& car = cars_[static_cast<std::size_t>(index)];
    const CarSetup& setup = *car.setup;
    car.phase = Phase::Driving;
    car.lapStart = at;
    car.stopMs = 0;
    const int lap = car.lapsDone + 1;
    const CautionSetup* slow = caution(lap);
    double seconds = setup.lapSeconds + setup.spreadSeconds * car.random.triangle();
    if (car.outLap) seconds *= car.lapShare;
    if (slow) seconds *= slow->pace;
    car.driveMs = millis(seconds);
    const SessionSetup& session = scenario_.sessions[static_cast<std::size_t>(session_)];
    if (session.kind == SessionKind::Race && car.lapsDone == 0)
        car.driveMs += kStartLossMs + kGridStepMs * static_cast<std::uint32_t>(index);

    double use = setup.usePercent;
    if (setup.useSpreadPercent > 0) use += setup.useSpreadPercent * car.fuelRandom.triangle();
    if (slow) use *= slow->use;
    car.lapUse = use / 100.0 * car.lapShare;
    car.worstUse = std::max(car.worstUse, car.lapUse);  // of racing laps: the in- and out-laps are not ahead
    if (car.afterStop) car.lapUse *= scenario_.outLapUse;
    car.afterStop = false;
    // Whether the lap ends in the pits is known as it starts, so that the in-lap can burn its own amount.
    const bool planned = std::find(setup.stopLaps.begin(), setup.stopLaps.end(), lap) != setup.stopLaps.end();
    bool stop = planned || shortOfFuel(car, car.fuel - car.lapUse);
    if (setup.plid == askedPlid_ && driverSays_) stop = planned || *driverSays_;
    driverSays_.reset();
    car.inLap = session.kind == SessionKind::Race && !car.outLap && stop;
    if (car.inLap && !lastLap(lap, at + car.driveMs)) car.lapUse *= scenario_.inLapUse;

    const double need = car.lapUse;
    std::uint32_t reach = at + car.driveMs;  // how far the fuel takes it this lap
    if (car.fuel < need) {
        reach = at + static_cast<std::uint32_t>(std::floor(car.driveMs * (car.fuel / need)));
        plan(reach, Step::CarDry, index);
    } else {
        plan(reach, Step::CarDriveEnd, index);
    }
    if (car.outLap) return;
    for (int k = 1; k <= scenario_.splits; ++k) {
        const std::uint32_t splitAt = at + car.driveMs * static_cast<std::uint32_t>(k) /
                                                static_cast<std::uint32_t>(scenario_.splits + 1);
        if (splitAt < reach) plan(splitAt, Step::CarSplit, index, k);
    }
}

void RaceModel::split(int index, int number) {
    const Car& car = cars_[static_cast<std::size_t>(index)];
    IS_SPX spx = makeSpx(car.setup->plid, now_ - car.lapStart, now_ - sessionStart_, static_cast<byte>(number));
    spx.Penalty = car.penalty;
    spx.NumStops = car.numStops;
    spx.Sp3 = fuel200(fuelAt(car, now_));
    emitInSim(packetBytes(spx));
}

void RaceModel::driveEnd(int index) {
    Car& car = cars_[static_cast<std::size_t>(index)];
    const CarSetup& setup = *car.setup;
    const SessionSetup& session = scenario_.sessions[static_cast<std::size_t>(session_)];
    const double fuelNow = std::max(0.0, car.fuel - car.lapUse);
    car.fuelAtLine = fuelNow;

    const int lap = car.lapsDone + 1;
    const bool finishing = session.kind != SessionKind::Race || lastLap(lap, now_);
    bool refuel = false, serve = false;
    if (!finishing && !car.outLap) {
        refuel = car.inLap;  // a planned stop, or it would not make the next lap
        serve = car.penalty != 0 && car.serveLap == lap;
    }
    car.afterStop = refuel;
    if (!refuel && !serve) {
        plan(now_, Step::CarLine, index);
        return;
    }

    // Into the pit lane: a refuelling stop is made in the box halfway along it (stopInBox), and the line
    // is at its end. The penalty being served is cleared there.
    car.phase = Phase::Stopping;
    car.stopMs = millis(scenario_.pitLaneSeconds);
    car.fillFrom = car.fillTo = std::numeric_limits<std::uint32_t>::max();
    const bool stopGo = car.penalty == PENALTY_SG_VALID;
    car.laneFact = !serve ? byte{PITLANE_ENTER} : stopGo ? kPitLaneStopGo : kPitLaneDriveThrough;
    emitInSim(packetBytes(makePla(setup.plid, car.laneFact)));
    if (serve) {
        if (stopGo && !refuel) car.stopMs += millis(scenario_.serviceSeconds);
        notice(setup.name + " (PLID " + std::to_string(setup.plid) + ") serves its " +
               (stopGo ? "stop-go" : "drive-through") + " penalty.");
    }
    if (refuel) plan(now_ + car.stopMs / 2, Step::CarInBox, index);
    else plan(now_ + car.stopMs, Step::CarLine, index);
}

// In the box: the pit menu's setting is read now; the car takes what fits in the tank, standing for the
// service time and then the refuelling time, during which the fuel goes in.
void RaceModel::stopInBox(int index) {
    Car& car = cars_[static_cast<std::size_t>(index)];
    const CarSetup& setup = *car.setup;
    const double fuelNow = car.fuelAtLine;
    const int setting = car.menu.fuelPercent();
    const double taken = std::min<double>(setting, 100.0 - fuelNow * 100.0);
    const std::uint32_t standingMs =
        millis(scenario_.serviceSeconds + scenario_.refuelSecondsPerPercent * taken);
    car.boxAt = now_;
    car.fillFrom = now_ + std::min(millis(scenario_.serviceSeconds), standingMs);
    car.fillTo = now_ + standingMs;
    car.stopMs += standingMs;
    car.fuelAtLine = fuelNow + taken / 100.0;
    car.standing = true;
    ++car.numStops;
    const int lap = car.lapsDone + 1;
    car.report.stops.push_back(StopRecord{lap, setting, taken});
    notice(setup.name + " (PLID " + std::to_string(setup.plid) + ") pits at the end of lap " + std::to_string(lap) +
           " with " + percentText(fuelNow * 100.0) + " and takes " + percentText(taken) + " (menu " +
           std::to_string(setting) + "%).");
    const byte fuelAdd = scenario_.hideFuel ? kFuelHidden : static_cast<byte>(std::lround(taken));
    emitInSim(packetBytes(makePit(setup.plid, static_cast<word>(car.lapsDone), fuelAdd, car.penalty, car.numStops)));
    if (setup.plid == scenario_.teamCar && car.numStops == 1) {  // the driver swap, in the box
        const std::uint8_t toc[8] = {8, ISP_TOC, 0, setup.plid, scenario_.mateUcid, 0, 0, 0};
        emitInSim(std::vector<std::uint8_t>(toc, toc + 8));
        notice(setup.name + "'s team mate hands the car to the local driver.");
    }
    plan(car.fillTo, Step::CarBoxLeft, index);
}

std::uint8_t RaceModel::viewedDriver() const {
    const Car* car = viewedCar();
    return car != nullptr ? driverOf(*car) : 0;
}

std::uint8_t RaceModel::driverOf(const Car& car) const {
    return car.setup->plid == scenario_.teamCar && car.numStops == 0 ? scenario_.mateUcid : 0;
}

void RaceModel::leaveBox(int index) {
    Car& car = cars_[static_cast<std::size_t>(index)];
    car.standing = false;
    emitInSim(packetBytes(makePsf(car.setup->plid, now_ - car.boxAt)));
    plan(car.lapStart + car.driveMs + car.stopMs, Step::CarLine, index);
}

void RaceModel::crossLine(int index) {
    Car& car = cars_[static_cast<std::size_t>(index)];
    const CarSetup& setup = *car.setup;
    const SessionSetup& session = scenario_.sessions[static_cast<std::size_t>(session_)];
    const std::uint32_t lapTime = now_ - car.lapStart;
    const bool fromPitLane = car.phase == Phase::Stopping;
    car.fuel = car.fuelAtLine;
    car.phase = Phase::Done;

    if (car.outLap) {  // from the pits to the line: the first timed lap starts here
        car.outLap = false;
        car.lapShare = 1;
        if (now_ < sessionClosesAt_) startLap(index, now_);
        checkSessionOver();
        return;
    }

    if (fromPitLane) {
        if (car.laneFact != PITLANE_ENTER) car.penalty = 0;  // served
        emitInSim(packetBytes(makePla(setup.plid, PITLANE_EXIT)));
    }
    ++car.lapsDone;
    for (const PenaltySetup& penalty : session.penalties) {
        if (penalty.plid != setup.plid || penalty.lap != car.lapsDone) continue;
        car.penalty = penalty.penalty;
        car.serveLap = car.lapsDone + 2;
        notice(setup.name + " (PLID " + std::to_string(setup.plid) + ") is given a " +
               (penalty.penalty == PENALTY_SG_VALID ? "stop-go" : "drive-through") + " penalty.");
    }
    car.report.lapsDone = car.lapsDone;
    car.report.lastLineMs = now_ - sessionStart_;
    car.report.lapLineFuel.push_back(static_cast<float>(car.fuel));
    const bool improved = car.bestLapMs == 0 || lapTime < car.bestLapMs;
    if (improved) car.bestLapMs = car.report.bestLapMs = lapTime;

    IS_LAP lapLine = makeLap(setup.plid, lapTime, now_ - sessionStart_, static_cast<word>(car.lapsDone), car.penalty,
                             car.numStops);
    lapLine.Fuel200 = fuel200(car.fuel);
    emitInSim(packetBytes(lapLine));

    if (session.kind == SessionKind::Qualifying) {
        byte resultNum = 255;
        if (improved) {
            results_.erase(std::remove_if(results_.begin(), results_.end(),
                                          [&](const auto& entry) { return entry.second == setup.plid; }),
                           results_.end());
            const auto place = std::upper_bound(results_.begin(), results_.end(), std::make_pair(lapTime, byte{255}),
                                                [](const auto& a, const auto& b) { return a.first < b.first; });
            resultNum = static_cast<byte>(place - results_.begin());
            results_.insert(place, {lapTime, setup.plid});
        }
        IS_RES res = makeRes(setup.plid, car.bestLapMs, static_cast<word>(car.lapsDone), resultNum);
        std::snprintf(res.UName, sizeof res.UName, "%s", setup.name.c_str());
        std::snprintf(res.PName, sizeof res.PName, "%s", setup.name.c_str());
        std::memcpy(res.CName, "XRT", 3);
        res.TTime = now_ - sessionStart_;
        res.NumRes = static_cast<byte>(results_.size());
        emitInSim(packetBytes(res));
    }

    const bool leads = car.lapsDone > leaderLaps_;  // the first to complete this many laps
    if (leads) {
        leaderLaps_ = car.lapsDone;
        for (const ViewChange& change : session.viewChanges) {
            if (change.lap != leaderLaps_ || change.plid == view_) continue;
            view_ = change.plid;
            reports_.back().viewed.push_back(view_);
            sendState();
            notice("The view moves to PLID " + std::to_string(view_) + ".");
        }
    }

    if (session.kind == SessionKind::Race) {
        const bool distanceDone = session.hours > 0 ? leads && now_ >= timeUpAt_ : car.lapsDone >= session.laps;
        if (distanceDone || leaderFinished_) {
            car.report.finished = true;
            if (!leaderFinished_) notice(setup.name + " (PLID " + std::to_string(setup.plid) + ") wins the race.");
            leaderFinished_ = true;
        } else if (setup.plid == askedPlid_) {  // the driver looks at the line before he drives on
            outbox_.push_back(ModelEvent{ModelEvent::Kind::Driver, now_, {}, {}});
            driverSays_.reset();
            plan(now_, Step::CarLapStart, index);
        } else {
            startLap(index, now_);
        }
    } else if (now_ < sessionClosesAt_ && car.fuel >= setup.usePercent / 100.0) {
        startLap(index, now_);
    }
    checkSessionOver();
}

// Whether lap `lap` of a car, its line at about `lineAt`, is its last: the winner is home, a lap race's
// distance is done, or in a timed race the time is up and the car leads.
bool RaceModel::lastLap(int lap, std::uint32_t lineAt) const {
    const SessionSetup& session = scenario_.sessions[static_cast<std::size_t>(session_)];
    if (leaderFinished_) return true;
    if (session.hours == 0) return lap >= session.laps;
    return lineAt >= timeUpAt_ && lap > leaderLaps_;
}

const CautionSetup* RaceModel::caution(int lap) const {
    const SessionSetup& session = scenario_.sessions[static_cast<std::size_t>(session_)];
    for (const CautionSetup& caution : session.cautions)
        if (lap >= caution.fromLap && lap <= caution.toLap) return &caution;
    return nullptr;
}

// Short: the fuel left would not cover the next lap at the setup's use, or, with a margin, at the
// worst lap so far plus that share of it.
bool RaceModel::shortOfFuel(const Car& car, double fuelLeft) const {
    const CarSetup& setup = *car.setup;
    if (setup.stopMargin < 0) return fuelLeft < setup.usePercent / 100.0;
    return fuelLeft < car.worstUse * (1.0 + setup.stopMargin);
}

void RaceModel::runDry(int index) {
    Car& car = cars_[static_cast<std::size_t>(index)];
    car.fuel = car.fuelAtLine = 0;
    car.phase = Phase::Dry;
    car.report.ranDry = true;
    car.report.dryLap = car.lapsDone + 1;
    notice(car.setup->name + " (PLID " + std::to_string(car.setup->plid) + ") runs out of fuel on lap " +
           std::to_string(car.report.dryLap) + " and stops on track.");
    checkSessionOver();
}

bool RaceModel::sessionOver() const {
    return std::all_of(cars_.begin(), cars_.end(),
                       [](const Car& car) { return car.phase == Phase::Done || car.phase == Phase::Dry; });
}

void RaceModel::checkSessionOver() {
    if (endPlanned_ || !sessionOver()) return;
    endPlanned_ = true;
    plan(now_ + kCoolDownMs, Step::SessionEnd);
}

void RaceModel::endSession() {
    SessionReport& report = reports_.back();
    const SessionSetup& setup = scenario_.sessions[static_cast<std::size_t>(session_)];
    for (const Car& car : cars_) report.order.push_back(car.report);
    if (setup.kind == SessionKind::Race) {
        std::stable_sort(report.order.begin(), report.order.end(), [](const CarReport& a, const CarReport& b) {
            if (a.lapsDone != b.lapsDone) return a.lapsDone > b.lapsDone;
            return a.lastLineMs < b.lastLineMs;
        });
    } else {
        std::stable_sort(report.order.begin(), report.order.end(), [](const CarReport& a, const CarReport& b) {
            if ((a.bestLapMs == 0) != (b.bestLapMs == 0)) return b.bestLapMs == 0;
            return a.bestLapMs < b.bestLapMs;
        });
    }
    if (const Car* car = viewedCar()) report.finalMenuPercent = car->menu.fuelPercent();

    session_ = -1;
    sendState();  // RaceInProg 0: the session is over
    notice(std::string("The ") + sessionKindName(setup.kind) + " is over.");
    if (static_cast<std::size_t>(lastSession_ + 1) < scenario_.sessions.size())
        plan(now_ + kBetweenSessionsMs, Step::SessionStart, -1, lastSession_ + 1);
    else
        plan(now_ + kTailMs, Step::ScenarioEnd);
}

double RaceModel::fuelAt(const Car& car, std::uint32_t time) const {
    const double use = car.lapUse;
    switch (car.phase) {
        case Phase::Driving: {
            if (time <= car.lapStart || car.driveMs == 0) return car.fuel;
            const double share = std::min(1.0, static_cast<double>(time - car.lapStart) / car.driveMs);
            return std::max(0.0, car.fuel - use * share);
        }
        case Phase::Stopping: {  // the fuel goes in while the car stands in its box
            const double before = std::max(0.0, car.fuel - use);
            if (time <= car.fillFrom) return before;
            if (time >= car.fillTo) return car.fuelAtLine;
            const double share = static_cast<double>(time - car.fillFrom) / (car.fillTo - car.fillFrom);
            return before + (car.fuelAtLine - before) * share;
        }
        case Phase::Dry: return 0;
        case Phase::Garage:
        case Phase::Done: return car.fuel;
    }
    return car.fuel;
}

void RaceModel::tick() {
    plan(now_ + outGaugeMs_, Step::Tick);
    const Car* car = viewedCar();
    OutGaugePack pack = makeOutGauge(now_, car ? static_cast<float>(fuelAt(*car, now_)) : 1.0f, view_);
    pack.Speed = 0;
    pack.RPM = 1000;
    pack.Gear = 1;
    pack.Throttle = 0;
    if (car && session_ >= 0 && car->phase == Phase::Driving && now_ >= car->lapStart) {
        // Along the lap: seven corners, full throttle between them.
        const double share = static_cast<double>(now_ - car->lapStart) / std::max<std::uint32_t>(car->driveMs, 1);
        const double wave = std::sin(share * 7 * 2 * 3.14159265358979);
        pack.Speed = static_cast<float>(38.0 + 10.0 * wave);
        pack.Gear = static_cast<byte>(2 + std::min(4, static_cast<int>(pack.Speed / 11.0f)));
        pack.RPM = static_cast<float>(4500.0 + 2500.0 * wave);
        pack.Throttle = wave > -0.3 ? 1.0f : 0.0f;
        pack.Brake = wave > -0.3 ? 0.0f : 0.8f;
    } else if (car && session_ >= 0 && car->phase == Phase::Stopping) {
        pack.Speed = 0;
        pack.RPM = 1000;
    } else if (car && car->phase == Phase::Dry) {
        pack.RPM = 0;
        pack.Gear = 1;
    }
    outbox_.push_back(ModelEvent{ModelEvent::Kind::OutGauge, now_, bytesOf(pack), {}});
}

}  // namespace standin
