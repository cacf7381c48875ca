// The race log: one CSV file per race or qualifying session in the directory the Log setting names, a
// row for every lap line or result as it is handled, and the end-of-race lines on the console.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/file_closer.h"
#include "link/output.h"
#include "link/wire.h"
#include "publish/growing_text.h"
#include "race/handlers.h"
#include "race/race_length.h"
#include "strategy/fuel.h"
#include "strategy/fuel_review.h"
#include "strategy/plan.h"

// What the lap-line step decided, as the race log records it.
struct LapLineOutcome {
    std::uint16_t position = 0;  // the car's place at the line, 1 = first; 0: the lap store refused it
    bool viewed = false;         // the viewed player's line: its row waits for his level
    bool placeUnknown = false;   // stored in a partial lap: the row leaves the position out
    FuelCall call;               // the fuel estimate at the line; `estimated` false when there was none
    StintPlan plan;              // the stint plan at the line; `made` false when there was none
    unsigned pitFuel = 0;        // the amount typed at the line, percent; 0: nothing typed
    bool raceBoard = false;      // a race board was shown; `distance` is set
    Distance distance;           // what the car has to go from the line
};

constexpr const char* kRaceLogHeader =
    "session,lap,plid,position,lap_time_ms,elapsed_ms,stops,penalty,fuel,use,estimate,pit_fuel\n";
constexpr const char* kPlanColumns = ",stops_left,window_from,window_to";  // with the plan on

// The local date and time now.
std::tm localTimeNow();

// The directory a Log setting names, as a path that stays right when the working directory changes:
// relative to the working directory at the time of the call.
std::string absoluteLogDirectory(const std::string& dir);

// Each row is written and flushed as its line is handled, in one write, so a program that is killed
// leaves every row of the lines it handled in the file, but for the viewed car's last one: that row
// waits for the level the next datagram stores, and is written without one when that car's next line,
// the end of the session or the end of the program comes first. A directory or file that cannot be
// made or written is named on standard error once, and the session runs on without its log.
class RaceLog {
public:
    using Clock = std::tm (*)();
    // `planned`: the stint plan is on, and every row ends with its columns.
    explicit RaceLog(std::filesystem::path directory, bool planned = false, Clock now = localTimeNow);
    ~RaceLog();  // writes a row that still waits for its level, without it
    RaceLog(RaceLog&&) = default;
    RaceLog& operator=(RaceLog&&) = default;

    // Before a restart is handled: the session before it ends. After it: a race or qualifying session
    // gets its file, named by the local date and time and the track ("2026-12-08_2041_BL1.csv").
    void endSession(Output& out);
    void startSession(SessionKind kind, const IS_RST& restart, Output& out);

    void lapLine(const IS_LAP& lap, const LapLineOutcome& outcome, Output& out);
    void levelStored(const LevelStored& stored, Output& out);
    void result(const IS_RES& result, Output& out);  // a qualifying result taken

    // For the page: the session's file as written so far, kept in memory from the call on; nothing before
    // it, or when the session has no file.
    void keepCopy() { copy_.emplace(); }
    std::shared_ptr<const TextPieces> copy() { return copy_ ? copy_->published() : nullptr; }

private:
    struct Waiting {  // the viewed car's row, until its level comes
        IS_LAP lap;
        LapLineOutcome outcome;
    };
    void open(const IS_RST& restart, Output& out);
    void writeLapRow(const IS_LAP& lap, const LapLineOutcome& outcome, std::optional<float> level, Output* out);
    void write(Output* out);  // row_ as it stands; nullptr: a failure is not reported
    void printReview(Output& out) const;

    std::filesystem::path directory_;
    bool planned_;
    Clock now_;
    unsigned session_ = 0;             // restarts since the program started
    SessionKind kind_ = SessionKind::Other;
    OwnedFile file_;                   // while rows can be written
    std::string name_;                 // the session's file name; empty: no file was made
    std::optional<Waiting> waiting_;
    std::vector<ViewedLine> viewed_;   // the viewed car's rows of the race, for its end-of-race lines
    std::string row_;                  // one row, made anew for each line
    std::optional<GrowingText> copy_;  // the session's rows as written, with keepCopy
};
