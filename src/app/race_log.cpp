// The race log: a CSV file per race or qualifying session, a row per lap line or result written and
// flushed as it is handled, and the end-of-race lines from the viewed car's rows.
#include "app/race_log.h"

#include <cctype>
#include <cerrno>
#include <system_error>

namespace {

constexpr int kMostNames = 100;  // "-2" to "-99": enough restarts within one minute

// What an errno says, in the system's words.
std::string systemError(int error) { return std::generic_category().message(error); }

// The track as a file name may hold it: the letters and digits of the field up to its first zero byte.
std::string trackName(const IS_RST& restart) {
    std::string name;
    for (const char c : restart.Track) {
        if (c == '\0') break;
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) name += c;
    }
    return name;
}

void appendLevel(std::string& row, std::optional<float> value) {
    if (value) appendValue(row, *value);
}

}  // namespace

std::tm localTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    return local;
}

std::string absoluteLogDirectory(const std::string& dir) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(dir, error);
    return error ? dir : absolute.string();
}

RaceLog::RaceLog(std::filesystem::path directory, bool planned, Clock now)
    : directory_(std::move(directory)), planned_(planned), now_(now) {}

RaceLog::~RaceLog() {
    if (waiting_) writeLapRow(waiting_->lap, waiting_->outcome, std::nullopt, nullptr);
}

void RaceLog::endSession(Output& out) {
    if (waiting_) writeLapRow(waiting_->lap, waiting_->outcome, std::nullopt, &out);
    waiting_.reset();
    file_.reset();
    if (copy_) copy_->clear();
    if (kind_ == SessionKind::Race && !name_.empty()) printReview(out);
    name_.clear();
    viewed_.clear();
    kind_ = SessionKind::Other;
}

void RaceLog::startSession(SessionKind kind, const IS_RST& restart, Output& out) {
    ++session_;
    kind_ = kind;
    if (kind != SessionKind::Other) open(restart, out);
}

void RaceLog::open(const IS_RST& restart, Output& out) {
    std::error_code error;
    std::filesystem::create_directories(directory_, error);
    if (error) {
        diagnose(out, "race log: the directory ", directory_.string(), " cannot be made (", error.message(),
                 "): the session runs on without a log");
        return;
    }
    const std::tm local = now_();
    char stamp[32];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H%M", &local);
    std::string base(stamp, length);
    if (const std::string track = trackName(restart); !track.empty()) {
        base += '_';
        base += track;
    }

    // Never over an existing file: the first free name of base.csv, base-2.csv, ...
    for (int n = 1; n < kMostNames; ++n) {
        std::string name = base;
        if (n > 1) {
            name += '-';
            appendValue(name, n);
        }
        name += ".csv";
        const std::filesystem::path path = directory_ / name;
        errno = 0;
        file_.reset(std::fopen(path.string().c_str(), "wbx"));  // x: made here, or not at all
        if (file_) {
            name_ = std::move(name);
            row_ = kRaceLogHeader;
            if (planned_) row_.insert(row_.size() - 1, kPlanColumns);
            write(&out);
            return;
        }
        if (errno == EEXIST) continue;
        diagnose(out, "race log: ", path.string(), " cannot be written (", systemError(errno),
                 "): the session runs on without a log");
        return;
    }
    diagnose(out, "race log: ", (directory_ / (base + ".csv")).string(), " and ", kMostNames - 2,
             " more names like it are taken: the session runs on without a log");
}

void RaceLog::lapLine(const IS_LAP& lap, const LapLineOutcome& outcome, Output& out) {
    if (name_.empty() || outcome.position == 0) return;
    // The car's next line came before the level of its last one.
    if (waiting_ && waiting_->lap.PLID == lap.PLID) {
        writeLapRow(waiting_->lap, waiting_->outcome, std::nullopt, &out);
        waiting_.reset();
    }
    if (!outcome.viewed) {
        writeLapRow(lap, outcome, std::nullopt, &out);
        return;
    }
    // One row waits at a time: one of another car (the view moved) goes without its level.
    if (waiting_) writeLapRow(waiting_->lap, waiting_->outcome, std::nullopt, &out);
    waiting_ = Waiting{lap, outcome};
}

void RaceLog::levelStored(const LevelStored& stored, Output& out) {
    if (!waiting_ || waiting_->lap.PLID != stored.plid || waiting_->lap.LapsDone != stored.lap) return;
    writeLapRow(waiting_->lap, waiting_->outcome, stored.level, &out);
    waiting_.reset();
}

void RaceLog::result(const IS_RES& result, Output& out) {
    if (name_.empty() || kind_ != SessionKind::Qualifying) return;
    row_.clear();
    appendValue(row_, session_);
    row_ += ',';
    appendValue(row_, result.LapsDone);
    row_ += ',';
    appendValue(row_, result.PLID);
    row_ += ',';
    if (result.ResultNum != 255) appendValue(row_, result.ResultNum + 1);  // 255: not in the table
    row_ += ',';
    appendValue(row_, result.BTime);
    row_ += ',';
    appendValue(row_, result.TTime);
    row_ += ',';
    appendValue(row_, result.NumStops);
    row_ += planned_ ? ",,,,,,,,\n" : ",,,,,\n";
    write(&out);
}

void RaceLog::writeLapRow(const IS_LAP& lap, const LapLineOutcome& outcome, std::optional<float> level, Output* out) {
    row_.clear();
    appendValue(row_, session_);
    for (const unsigned value : {unsigned{lap.LapsDone}, unsigned{lap.PLID}}) {
        row_ += ',';
        appendValue(row_, value);
    }
    row_ += ',';
    if (!outcome.placeUnknown) appendValue(row_, outcome.position);
    for (const std::uint32_t value : {lap.LTime, lap.ETime, std::uint32_t{lap.NumStops}, std::uint32_t{lap.Penalty}}) {
        row_ += ',';
        appendValue(row_, value);
    }
    row_ += ',';
    appendLevel(row_, level);
    row_ += ',';
    if (outcome.call.estimated) appendValue(row_, outcome.call.use);
    row_ += ',';
    if (outcome.call.estimated) appendValue(row_, outcome.call.estimate);
    row_ += ',';
    if (outcome.pitFuel != 0) appendValue(row_, outcome.pitFuel);
    if (planned_) {
        // No plan at the line: all three empty; no stop left: no window.
        const StintPlan& plan = outcome.plan;
        row_ += ',';
        if (plan.made) appendValue(row_, plan.stops);
        for (const unsigned lap : {plan.windowFrom, plan.windowTo}) {
            row_ += ',';
            if (plan.made && lap != 0) appendValue(row_, lap);
        }
    }
    row_ += '\n';
    write(out);
    if (outcome.viewed) viewed_.push_back({lap.PLID, lap.LapsDone, lap.NumStops, level, outcome.pitFuel});
}

void RaceLog::write(Output* out) {
    if (!file_) return;
    const bool written = std::fwrite(row_.data(), 1, row_.size(), file_.get()) == row_.size();
    if (written && std::fflush(file_.get()) == 0) {
        if (copy_) copy_->append(row_);
        return;
    }
    const int error = errno;
    file_.reset();
    if (out != nullptr) {
        diagnose(*out, "race log: writing ", (directory_ / name_).string(), " failed (", systemError(error),
                 "): no more rows are written to it");
    }
}

void RaceLog::printReview(Output& out) const {
    const FuelReview review = reviewFuel(viewed_, planned_);  // with a plan, the need of the stop asked for
    std::string line = "Race log: ";
    line += name_;
    line += ", fuel at the flag ";
    if (!review.flagLevel) {
        line += "unknown (no reading).";
    } else {
        appendValue(line, *review.flagLevel * 100.0f);
        if (review.averageUse) {
            line += "% (";
            appendValue(line, *review.flagLevel / *review.averageUse);
            line += " laps).";
        } else {
            line += "% (laps unknown: no use).";
        }
    }
    printLine(out, line);
    if (review.asked == 0) return;
    line = "First fuel call: asked ";
    appendValue(line, review.asked);
    line += "%, needed ";
    switch (review.neededUnknown) {
    case FuelReview::Unknown::None:
        appendValue(line, *review.needed * 100.0f);
        line += "%.";
        break;
    case FuelReview::Unknown::NoReading:
        line += "unknown (no reading).";
        break;
    case FuelReview::Unknown::NoUse:
        line += "unknown (no use).";
        break;
    case FuelReview::Unknown::NoStop:
        line += "unknown (no stop).";
        break;
    }
    printLine(out, line);
}
