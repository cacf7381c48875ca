// The on-screen pitboard: composes the race and qualifying boards, sends them as IS_BTN lines
// and reports them on the console; ageBoards takes a board off the screen once it is too old.
#include "strategy/pitboard.h"

#include <algorithm>
#include <cstring>

#include "link/outgoing.h"
#include "race/lap_time.h"

namespace {

// The tops of the lines step by 8, so each overlaps the next.
constexpr std::uint8_t kLineTop[] = {50, 58, 66, 74};  // ClickID 1 to 4

constexpr std::size_t kShortWindow = 16;  // lines 1 and 3, and every qualifying line
constexpr std::size_t kGapWindow = 20;    // race line 2
constexpr std::size_t kAdviceWindow = 12;   // race line 4

// Fillers long enough that every text but the race gap line reaches past its window.
constexpr std::string_view kLapFiller = "             ";                   // thirteen spaces
constexpr std::string_view kGapFiller = "        ";                        // eight spaces
constexpr std::string_view kLapTimeFiller = "              ";              // fourteen spaces
constexpr std::string_view kQualifyingPositionFiller = "                        ";  // twenty-four
constexpr std::string_view kQualifyingFiller = "                ";         // sixteen spaces

constexpr std::string_view kGreen = "^2";
constexpr std::string_view kRed = "^1";
constexpr std::string_view kPlainColour = "^9";

// A fixed text field read as text: up to its first zero byte, never past its end.
template <std::size_t N>
std::string_view fieldText(const char (&field)[N]) {
    return std::string_view(field, static_cast<std::size_t>(std::find(field, field + N, '\0') - field));
}

// Writes text into a fixed field, always leaving a terminator and zero bytes behind it.
template <std::size_t N>
void setFieldText(char (&field)[N], std::string_view text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

// The window of a line whose text, fillers aside, is `length` long: the board's own, or where the text
// needs more room (a race past lap 1,000), the next multiple of 4 that holds it, which keeps the packet
// a whole number of fours long. No line loses its end, and a line that fits keeps its window.
std::size_t windowFor(std::size_t length, std::size_t window) {
    return length <= window ? window : (length + 3) / 4 * 4;
}

// Sends one line and keeps it as the game shows it.
void sendLine(BoardLines& lines, std::uint8_t clickId, std::string_view text, std::size_t window, Output& out) {
    sendButton(out, clickId, kLineTop[clickId - 1], text, window);
    std::string_view shown = text.substr(0, std::min(window, text.find('\0')));
    shown = shown.substr(0, shown.find_last_not_of(' ') + 1);
    lines[clickId - 1] = std::string(shown);
}

// "12/45", or "12/~45" when the race length is an estimate.
void appendLapOfRace(std::string& out, const BoardData& board) {
    appendValue(out, board.lap);
    out += board.raceLapsEstimated ? "/~" : "/";
    appendValue(out, board.raceLaps);
}

void reportRaceBoard(const BoardData& board, Output& out) {
    std::string lapOfRace;
    appendLapOfRace(lapOfRace, board);
    // A board of a partial lap leaves out what it does not know: the place and the gaps.
    if (board.placeUnknown) {
        printLine(out, "Pitboard for ", board.plid, ": Lap ", lapOfRace, " (place and gaps unknown)");
        printLine(out, "| ", fieldText(board.marker));
    } else {
        printLine(out, "Pitboard for ", board.plid, ": Lap ", lapOfRace);
        printLine(out, "-", board.gapAhead, " | +", board.gapBehind);
        printLine(out, "P", board.position, " | ", fieldText(board.marker));
    }
    std::string time;
    appendLapTime(time, board.lapTime, TimeForm::Console);
    printLine(out, time);
}

// The line of the gaps to the cars ahead and behind.
void sendGapLine(const BoardData& previous, const BoardData& latest, bool samePlace, BoardLines& lines, Output& out) {
    std::string line;
    if (samePlace && previous.gapAhead < latest.gapAhead) line += kRed;    // the car ahead got away
    if (samePlace && previous.gapAhead > latest.gapAhead) line += kGreen;  // closing in
    line += "-";
    appendGap(line, latest.gapAhead);
    line += kPlainColour;
    line += "/";
    if (samePlace && previous.gapBehind > latest.gapBehind) line += kRed;    // the car behind closes in
    if (samePlace && previous.gapBehind < latest.gapBehind) line += kGreen;  // pulling away
    line += "+";
    appendGap(line, latest.gapBehind);
    line += kGapFiller;
    sendLine(lines, 2, line, kGapWindow, out);
}

// Colours compare with the board shown one lap earlier, and only when it was about the same player.
void sendRaceLines(const BoardData& previous, const BoardData& latest, BoardLines& lines, Output& out) {
    const bool samePlayer = previous.plid == latest.plid;
    const bool placesKnown = samePlayer && !previous.placeUnknown;  // places compare only with a known one

    std::string line = "L";
    appendLapOfRace(line, latest);
    if (!latest.placeUnknown) {
        line += " P";
        if (placesKnown && previous.position > latest.position) line += kGreen;  // places gained
        if (placesKnown && previous.position < latest.position) line += kRed;    // places lost
        appendValue(line, latest.position);
    }
    const std::size_t window = windowFor(line.size(), kShortWindow);
    line += kLapFiller;
    sendLine(lines, 1, line, window, out);

    // Gap colours only mean something while the cars around stay the same.
    const bool samePlace = placesKnown && previous.position == latest.position;
    if (!latest.placeUnknown) sendGapLine(previous, latest, samePlace, lines, out);

    line.clear();
    appendLapTime(line, latest.lapTime, TimeForm::Board);
    line += " ";
    if (samePlayer && fieldText(previous.marker) == fieldText(latest.marker)) line += kRed;  // not acted upon
    line += fieldText(latest.marker);
    line += kLapTimeFiller;
    sendLine(lines, 3, line, kShortWindow, out);
}

}  // namespace

void startRaceBoard(BoardData& board, const IS_LAP& lap, const SessionState& session, const Distance& distance) {
    board.plid = session.sta.ViewPLID;
    board.lap = static_cast<std::uint16_t>(lap.LapsDone - 1u);  // the board describes the lap before
    board.raceLaps = static_cast<std::uint16_t>(distance.total);
    board.raceLapsEstimated = distance.estimated;
    switch (lap.Penalty) {
    case PENALTY_NONE: {
        const bool stopDue = lap.NumStops == 0 && session.mustPit && distance.lapsToGo <= 3u;
        setFieldText(board.marker, stopDue ? "PIT" : "   ");
        break;
    }
    case PENALTY_DT_VALID:
        setFieldText(board.marker, "D/T");
        break;
    case PENALTY_SG_VALID:
        setFieldText(board.marker, "S&G");
        break;
    default:
        break;  // other penalties show no marker; it was emptied after the last board
    }
}

void markPitStop(BoardData& board) { setFieldText(board.marker, "PIT"); }

void teamAdvice(BoardData& board, unsigned amount) {
    std::string advice = "TEAM ";
    appendValue(advice, amount);
    advice += '%';
    setFieldText(board.advice, advice);
}

void setLastLapAdvice(BoardData& board, const Distance& distance) {
    if (board.advice[0] != '\0') return;  // a fuel advice written at this lap line goes first
    if (distance.lastLap) {
        setFieldText(board.advice, "LAST LAP");
    } else if (distance.finishing) {
        setFieldText(board.advice, "FINISHED");
    }
}

void showRaceBoard(Tracker& tracker, Output& out) {
    BoardData& board = tracker.latestBoard;
    reportRaceBoard(board, out);
    clearButtons(out);  // also takes away an advice line the new board may not have
    tracker.boardLines = {};
    sendRaceLines(tracker.previousBoard, board, tracker.boardLines, out);
    if (board.advice[0] != '\0') {
        printLine(out, "Sending advice:", fieldText(board.advice));
        const std::string_view advice = fieldText(board.advice);
        sendLine(tracker.boardLines, 4, advice, windowFor(advice.size(), kAdviceWindow), out);
    }

    tracker.previousBoard = board;
    std::memset(board.marker, 0, sizeof board.marker);
    std::memset(board.advice, 0, sizeof board.advice);
    board.shownAt = tracker.session.currentTime;
}

void showQualifyingBoard(Tracker& tracker, Output& out) {
    // The result handling moves the standings into previousBoard before it works out new ones.
    BoardData& board = tracker.previousBoard;

    std::string position = "P";
    appendValue(position, board.position);
    position += kQualifyingPositionFiller;

    std::string gaps = "-";
    appendGap(gaps, board.gapAhead);
    gaps += "/+";
    appendGap(gaps, board.gapBehind);
    gaps += kQualifyingFiller;

    std::string best;
    appendLapTime(best, board.lapTime, TimeForm::Board);
    best += kQualifyingFiller;

    // No clear first: the lines of a board already shown are replaced one by one.
    sendLine(tracker.boardLines, 1, position, kShortWindow, out);
    sendLine(tracker.boardLines, 2, gaps, kShortWindow, out);
    sendLine(tracker.boardLines, 3, best, kShortWindow, out);
    printLine(out, "Sent pitboard: ", position, "\n", gaps, "\n", best);

    board.shownAt = tracker.session.currentTime;
}

void ageBoards(Tracker& tracker, std::int32_t boardTimeOutMs, Output& out) {
    const std::uint32_t now = tracker.session.currentTime;
    const auto timeOut = static_cast<std::uint32_t>(boardTimeOutMs);
    for (BoardData* board : {&tracker.latestBoard, &tracker.previousBoard}) {
        // A stamp of 0 means never shown; exactly at the time-out the board is not yet old.
        if (board->shownAt == 0 || now <= static_cast<std::uint32_t>(board->shownAt + timeOut)) continue;
        printLine(out, "Pitboard is too old!");
        clearButtons(out);
        board->shownAt = 0;
    }
}

void appendGap(std::string& out, std::uint32_t ms) {
    const std::uint32_t seconds = ms / 1000;
    appendValue(out, seconds);
    if (ms >= 100000) return;  // whole seconds are enough from 100 s on
    out += '.';
    if (ms < 10000) {
        const std::uint32_t hundredths = (ms % 1000) / 10;
        if (hundredths < 10) out += '0';
        appendValue(out, hundredths);
    } else {
        appendValue(out, (ms % 1000) / 100);
    }
}
