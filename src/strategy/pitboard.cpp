// The on-screen pitboard: composes the race and qualifying boards, sends them as IS_BTN lines
// and reports them on the console; ageBoards takes a board off the screen once it is too old.
#include "strategy/pitboard.h"

#include <algorithm>
#include <cstring>

#include "race/handlers.h"
#include "strategy/fuel.h"

namespace {

// Button places: every line shares left, width and height; the tops step by 8 so each overlaps the next.
constexpr std::uint8_t kLeft = 10;
constexpr std::uint8_t kWidth = 20;
constexpr std::uint8_t kHeight = 10;
constexpr std::uint8_t kLineTop[] = {50, 58, 66, 74};  // ClickID 1 to 4

constexpr std::size_t kShortWindow = 16;  // lines 1 and 3, and every qualifying line
constexpr std::size_t kGapWindow = 20;    // race line 2
constexpr std::size_t kAdviceWindow = sizeof(BoardData::advice);

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

void setMarker(BoardData& board, const IS_LAP& lap, const SessionState& session) {
    switch (lap.Penalty) {
    case PENALTY_NONE: {
        const bool stopDue = lap.NumStops == 0 && session.mustPit && lap.LapsDone + 3 >= session.sta.RaceLaps;
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

void setLastLapAdvice(BoardData& board, const IS_LAP& lap, std::uint8_t raceLaps) {
    if (board.advice[0] != '\0') return;  // a fuel advice written at this lap line goes first
    if (lap.LapsDone + 1 == raceLaps) {
        setFieldText(board.advice, "LAST LAP");
    } else if (lap.LapsDone == raceLaps) {
        setFieldText(board.advice, "FINISHED");
    }
}

void reportRaceBoard(const BoardData& board, Port& port) {
    printLine(port, "Pitboard for ", board.plid, ": Lap ", board.lap, "/", board.raceLaps);
    printLine(port, "-", board.gapAhead, " | +", board.gapBehind);
    printLine(port, "P", board.position, " | ", fieldText(board.marker));
    std::string time;
    appendConsoleTime(time, board.lapTime);
    printLine(port, time);
}

// Colours compare with the board shown one lap earlier, and only when it was about the same player.
void sendRaceLines(const BoardData& previous, const BoardData& latest, Port& port) {
    const bool samePlayer = previous.plid == latest.plid;

    std::string line = "L";
    appendValue(line, latest.lap);
    line += "/";
    appendValue(line, latest.raceLaps);
    line += " P";
    if (samePlayer && previous.position > latest.position) line += kGreen;  // places gained
    if (samePlayer && previous.position < latest.position) line += kRed;    // places lost
    appendValue(line, latest.position);
    line += kLapFiller;
    sendButton(port, 1, kLineTop[0], line, kShortWindow);

    // Gap colours only mean something while the cars around stay the same.
    const bool samePlace = samePlayer && previous.position == latest.position;
    line.clear();
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
    sendButton(port, 2, kLineTop[1], line, kGapWindow);

    line.clear();
    appendLapTime(line, latest.lapTime);
    line += " ";
    if (samePlayer && fieldText(previous.marker) == fieldText(latest.marker)) line += kRed;  // not acted upon
    line += fieldText(latest.marker);
    line += kLapTimeFiller;
    sendButton(port, 3, kLineTop[2], line, kShortWindow);
}

void appendTwoDigits(std::string& out, std::uint32_t value) {
    if (value < 10) out += '0';
    appendValue(out, value);
}

}  // namespace

void sendButton(Port& port, std::uint8_t clickId, std::uint8_t top, std::string_view text, std::size_t window) {
    const IS_BTN_Header header{
        static_cast<byte>(sizeof(IS_BTN_Header) + window),  // Size
        ISP_BTN,                                             // Type
        clickId,                                             // ReqI
        0,                                                   // UCID: the local screen
        clickId,                                             // ClickID
        0,                                                   // Inst
        ISB_DARK,                                            // BStyle
        0,                                                   // TypeIn
        kLeft,                                               // L
        top,                                                 // T
        kWidth,                                              // W
        kHeight,                                             // H
    };
    port.send(&header, sizeof header);
    std::string shown(window, '\0');  // a short text leaves zero bytes behind it
    text.copy(shown.data(), window);
    port.send(shown.data(), shown.size());
}

std::uint32_t etimeGap(std::uint32_t a, std::uint32_t b) {
    // The difference modulo 2^32 read as a signed number; its magnitude is the negation modulo 2^32,
    // which also covers the most negative value (2147483648) without a signed overflow.
    const std::uint32_t difference = a - b;
    return difference < 0x80000000u ? difference : 0u - difference;
}

void fillStandings(Tracker& tracker, const IS_LAP& lap, Port& port) {
    // The block of the lap before; a lap before the second, or one past the blocks the store
    // was created with, has none, and then the last standings stay.
    const LapBlock* block = nullptr;
    if (tracker.pLaps && lap.LapsDone >= 2) block = tracker.pLaps->block(lap.LapsDone - 2u);
    const std::size_t arrivals = block != nullptr ? std::min<std::size_t>(block->arrivals, kLapsPerBlock) : 0;
    printLine(port, "Searching in ", arrivals, " results.");

    BoardData& board = tracker.latestBoard;
    for (std::size_t i = 0; i < arrivals; ++i) {
        if (block->laps[i].PLID != lap.PLID) continue;
        // Arrival order at the line is the race order, so the neighbours in the block are the cars around.
        board.gapAhead = i == 0 ? 0 : etimeGap(block->laps[i].ETime, block->laps[i - 1].ETime);
        board.gapBehind = i + 1 == arrivals ? 0 : etimeGap(block->laps[i + 1].ETime, block->laps[i].ETime);
        board.position = static_cast<std::uint16_t>(i + 1);
        board.lapTime = block->laps[i].LTime;
        if (lap.LapsDone > 2) estimateFuel(tracker, lap, i, port);
    }
}

void showRaceBoard(Tracker& tracker, const IS_LAP& lap, Port& port) {
    const SessionState& session = tracker.session;
    BoardData& board = tracker.latestBoard;
    board.plid = session.sta.ViewPLID;
    board.lap = static_cast<std::uint8_t>(lap.LapsDone - 1u);  // the board describes the lap before
    board.raceLaps = session.sta.RaceLaps;

    setMarker(board, lap, session);
    fillStandings(tracker, lap, port);
    setLastLapAdvice(board, lap, session.sta.RaceLaps);
    reportRaceBoard(board, port);

    clearButtons(port);  // also takes away an advice line the new board may not have
    sendRaceLines(tracker.previousBoard, board, port);
    if (board.advice[0] != '\0') {
        printLine(port, "Sending advice:", fieldText(board.advice));
        sendButton(port, 4, kLineTop[3], std::string_view(board.advice, kAdviceWindow), kAdviceWindow);
    }

    tracker.previousBoard = board;
    std::memset(board.marker, 0, sizeof board.marker);
    std::memset(board.advice, 0, sizeof board.advice);
    board.shownAt = session.currentTime;
}

void showQualifyingBoard(Tracker& tracker, Port& port) {
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
    appendLapTime(best, board.lapTime);
    best += kQualifyingFiller;

    // No clear first: the lines of a board already shown are replaced one by one.
    sendButton(port, 1, kLineTop[0], position, kShortWindow);
    sendButton(port, 2, kLineTop[1], gaps, kShortWindow);
    sendButton(port, 3, kLineTop[2], best, kShortWindow);
    printLine(port, "Sent pitboard: ", position, "\n", gaps, "\n", best);

    board.shownAt = tracker.session.currentTime;
}

void ageBoards(Tracker& tracker, Port& port) {
    const std::uint32_t now = tracker.session.currentTime;
    const auto timeOut = static_cast<std::uint32_t>(tracker.boardTimeOutMs);
    for (BoardData* board : {&tracker.latestBoard, &tracker.previousBoard}) {
        // A stamp of 0 means never shown; exactly at the time-out the board is not yet old.
        if (board->shownAt == 0 || now <= static_cast<std::uint32_t>(board->shownAt + timeOut)) continue;
        printLine(port, "Pitboard is too old!");
        clearButtons(port);
        board->shownAt = 0;
    }
}

void appendGap(std::string& out, std::uint32_t ms) {
    const std::uint32_t seconds = ms / 1000;
    appendValue(out, seconds);
    if (ms >= 100000) return;  // whole seconds are enough from 100 s on
    out += '.';
    if (ms < 10000) {
        appendTwoDigits(out, (ms % 1000) / 10);
    } else {
        appendValue(out, (ms % 1000) / 100);
    }
}

void appendLapTime(std::string& out, std::uint32_t ms) {
    appendValue(out, ms / 60000);
    out += ':';
    appendTwoDigits(out, (ms / 1000) % 60);
    out += '.';
    appendTwoDigits(out, (ms % 1000) / 10);
}
