// Transcripts of the handlers: the packets and datagrams the simulator sends, and the exact console
// text and bytes the program answers with, as text, so a table row reads as one exchange on the wire.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/program.h"
#include "link/dispatch.h"

namespace transcript {

// One thing the simulator does: bytes on the InSim stream, or an OutGauge datagram; or a mark:
// what the program answers before the last mark only sets the scene and is not kept.
struct Input {
    enum Kind { Stream, Datagram, Mark } kind;
    std::string bytes;
};
using Script = std::vector<Input>;

inline Script operator+(Script a, const Script& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Bytes written as numbers, for literal expectations.
inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int value : values) out += static_cast<char>(value);
    return out;
}

// Text filled with spaces to `width`, as the board's windows are.
inline std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

// Fields as the simulator writes them: {offset, value, width in bytes}, little-endian.
struct Field {
    std::size_t at;
    std::uint32_t value;
    int width = 1;
};
inline std::string fields(std::size_t size, std::initializer_list<Field> values) {
    std::string out(size, '\0');
    for (const Field& f : values) {
        for (int i = 0; i < f.width; ++i) out[f.at + i] = static_cast<char>(f.value >> (8 * i));
    }
    return out;
}
inline Script stream(std::string bytes) { return {{Input::Stream, std::move(bytes)}}; }
inline Script datagram(std::string bytes) { return {{Input::Datagram, std::move(bytes)}}; }
inline Script mark() { return {{Input::Mark, {}}}; }

// The packets the program reads, each opening with Size and Type.
inline Script tiny(int subT, int reqI = 0) { return stream(bytes({4, 3, reqI, subT})); }
inline Script sta(int viewPlid, int raceInProg, int raceLaps, int flags = 0) {
    return stream(fields(28, {{0, 28}, {1, 5}, {8, std::uint32_t(flags), 2}, {11, std::uint32_t(viewPlid)},
                              {15, std::uint32_t(raceInProg)}, {17, std::uint32_t(raceLaps)}}));
}
// A restart; `track` is written into its Track at byte 8 (at most 6 bytes), ReqI 2 makes it a join's answer.
inline Script rst(int raceLaps, int qualMins, int flags = 0, const std::string& track = "", int reqI = 0) {
    std::string packet = fields(28, {{0, 28}, {1, 17}, {2, std::uint32_t(reqI)}, {4, std::uint32_t(raceLaps)},
                                     {5, std::uint32_t(qualMins)}, {16, std::uint32_t(flags), 2}});
    packet.replace(8, track.size(), track);
    return stream(packet);
}
inline Script lap(int plid, std::uint32_t lTime, std::uint32_t eTime, int lapsDone, int penalty = 0, int stops = 0,
                  int fuel200 = 0) {
    return stream(fields(20, {{0, 20}, {1, 24}, {3, std::uint32_t(plid)}, {4, lTime, 4}, {8, eTime, 4},
                              {12, std::uint32_t(lapsDone), 2}, {17, std::uint32_t(penalty)}, {18, std::uint32_t(stops)},
                              {19, std::uint32_t(fuel200)}}));
}
inline Script spx(int plid) { return stream(fields(16, {{0, 16}, {1, 25}, {3, std::uint32_t(plid)}})); }
inline Script res(int plid, std::uint32_t bTime, int lapsDone, int resultNum) {
    return stream(fields(84, {{0, 84}, {1, 35}, {3, std::uint32_t(plid)}, {68, bTime, 4},
                              {76, std::uint32_t(lapsDone), 2}, {80, std::uint32_t(resultNum)}}));
}
// The interface mode and the pit packets the guard follows.
inline Script cim(int mode, int subMode, int ucid = 0) {
    return stream(bytes({8, 64, 0, ucid, mode, subMode, 0, 0}));
}
inline Script pla(int plid, int fact) { return stream(bytes({8, 28, 0, plid, fact, 0, 0, 0})); }
inline Script pit(int plid, int fuelAdd) {
    return stream(fields(24, {{0, 24}, {1, 26}, {3, std::uint32_t(plid)}, {8, std::uint32_t(fuelAdd)}}));
}
inline Script psf(int plid) { return stream(fields(12, {{0, 12}, {1, 27}, {3, std::uint32_t(plid)}})); }
// Who drives: a connection (remote or the local one), a car and its driver, a driver swap, a car leaving.
inline Script ncn(int ucid, bool remote) { return stream(fields(56, {{0, 56}, {1, 18}, {3, std::uint32_t(ucid)}, {54, remote ? 4u : 0u}})); }
inline Script npl(int plid, int ucid) { return stream(fields(76, {{0, 76}, {1, 21}, {3, std::uint32_t(plid)}, {4, std::uint32_t(ucid)}})); }
inline Script toc(int plid, int oldUcid, int newUcid) { return stream(bytes({8, 31, 0, plid, oldUcid, newUcid, 0, 0})); }
inline Script pll(int plid) { return stream(bytes({4, 23, 0, plid})); }
// The answers of a join (ReqI 2): the restart, and the cars' laps as {PLID, Lap} pairs, padded to fours.
inline Script rstAnswer(int raceLaps, int qualMins, const char* track = "BL1") { return rst(raceLaps, qualMins, 0, track, 2); }
inline Script nlp(std::initializer_list<std::pair<int, int>> cars) {
    std::string packet = bytes({0, 37, 2, static_cast<int>(cars.size())});
    for (const auto& [plid, lapOn] : cars) packet += bytes({0, 0, lapOn & 255, lapOn >> 8, plid, 0});
    packet.resize((packet.size() + 3) / 4 * 4, '\0');
    packet[0] = static_cast<char>(packet.size());
    return stream(packet);
}
// The OutGauge datagram: Time at 0, Fuel at 28.
inline Script gauge(std::uint32_t time, float fuel) {
    std::uint32_t bits;
    std::memcpy(&bits, &fuel, 4);
    return datagram(fields(92, {{0, time, 4}, {28, bits, 4}}));
}

// A race of `laps` laps or a qualifying session, with `viewed` in view; the restart's output is set aside.
inline Script race(int laps, int viewed, int flags = 0) { return rst(laps, 0, flags) + sta(viewed, 1, laps) + mark(); }
inline Script qualifying(int viewed) { return rst(0, 10) + sta(viewed, 2, 0) + mark(); }

// The lone viewed PLID 3's lap lines: each its lap time, the stops made so far, its Fuel200 and the
// OutGauge reading after it (none for 0).
struct Line {
    std::uint32_t lapMs = 60000;
    int stops = 0;
    int fuel200 = 0;
    float gauge = 0.0f;
};
// `count` lines on a tank of 0.9, then `last`.
inline std::vector<Line> after(std::size_t count, std::initializer_list<Line> last) {
    std::vector<Line> out(count, Line{60000, 0, 0, 0.9f});
    out.insert(out.end(), last);
    return out;
}
// A race of `raceLaps` with these lines, the `scene`, then the line `next` of the lap after them, whose
// output is kept.
inline Script stint(int raceLaps, const std::vector<Line>& lines, const Script& scene = {}, const Line& next = {}) {
    Script script = race(raceLaps, 3);
    std::uint32_t elapsed = 0;
    int n = 0;
    for (const Line& line : lines) {
        elapsed += line.lapMs;
        script = script + lap(3, line.lapMs, elapsed, ++n, 0, line.stops, line.fuel200);
        if (line.gauge != 0.0f) script = script + gauge(n, line.gauge);
    }
    return script + scene + mark() + lap(3, next.lapMs, elapsed + next.lapMs, n + 1, 0, next.stops, next.fuel200);
}

// Cars of a field by the clock: laps of `lapMs`, the first `offsetMs` later; lap `stopLap` with a stop
// (counted from then on) costing `stopMs` more; laps `slowFrom` to `slowTo` half as slow again; the
// OutGauge level after its line n is levels[n - 1] (none for 0 or past the list).
struct Car {
    int plid;
    std::uint32_t lapMs = 60000;
    std::uint32_t offsetMs = 0;
    int stopLap = 0;
    std::uint32_t stopMs = 0;
    int slowFrom = 0, slowTo = 0;
    std::vector<float> levels = {};
};
// Every lap line of the cars up to `untilMs` of race time, in the order of the line, each level after its line.
inline Script linesUntil(const std::vector<Car>& cars, std::uint32_t untilMs) {
    std::vector<std::pair<std::uint32_t, Script>> lines;
    for (const Car& car : cars) {
        std::uint32_t eTime = car.offsetMs;
        for (int n = 1;; ++n) {
            const bool slow = n >= car.slowFrom && n <= car.slowTo;
            const std::uint32_t lTime = (slow ? car.lapMs * 3 / 2 : car.lapMs) + (n == car.stopLap ? car.stopMs : 0);
            eTime += lTime;
            if (eTime > untilMs) break;
            const float level = n <= int(car.levels.size()) ? car.levels[n - 1] : 0.0f;
            lines.emplace_back(eTime, lap(car.plid, lTime, eTime, n, 0, car.stopLap != 0 && n >= car.stopLap) +
                                          (level != 0.0f ? gauge(n, level) : Script{}));
        }
    }
    std::stable_sort(lines.begin(), lines.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Script script;
    for (const auto& line : lines) script = script + line.second;
    return script;
}

// Console lines many tables expect: a lap line, a restart's lines, the race board, and the pit fuel typed
// with its advice line left open.
inline std::string lapLine(int plid, const char* time = "1:0.0") {
    return "New registered laptime by PLID " + std::to_string(plid) + ": " + time + "\n";
}
inline std::string restart(const std::string& kind, bool mustPit = false) {
    return "Restart detected: " + kind + "\nCleared memory! {clear}Cleared pitboard!\n" +
           (mustPit ? "Pitting is mandatory!\n" : "Pitting isn't mandatory.\n");
}
// The race board of `plid` about lap `lap` ("5/10"): the console's lines under its first (the gaps, the place
// with its marker, the lap time), then the three buttons, each text filled to its window; by default a lone car's.
inline std::string board(int plid, const std::string& lap, const std::string& bottom,
                         const std::string& lines = "-0 | +0\nP1 |    \n1:0.0", const std::string& top = "",
                         const std::string& middle = "-0.00^9/+0.00") {
    return "Pitboard for " + std::to_string(plid) + ": Lap " + lap + "\n" + lines + "\n{clear}{btn 1 |" +
           padded(top.empty() ? "L" + lap + " P1" : top, 16) + "|}{btn 2 |" + padded(middle, 20) + "|}{btn 3 |" +
           padded(bottom, 16) + "|}";
}
inline std::string advice(unsigned amount) { return "SET " + std::to_string(amount) + "% F"; }
inline std::string setting(unsigned amount) {
    return "Setting fuel to " + std::to_string(amount) + "%\n{press " + std::to_string(amount) + "}" +
           std::to_string((amount + 100) * 68) + " bytes sent.\nSet Advice: " + advice(amount);
}

// A Port that writes console text as it comes and each send as a token between braces:
//   {clear}         the IS_BFN that clears every button: 8, 42, 0, 1, 0, 0, 0, 0
//   {keep-alive}    the IS_TINY reply: 4, 3, 0, 0
//   {btn N |text|}  an IS_BTN header for line N, then its text window; the header must read
//                   12 + window, 45, N, 0, N, 0, 32, 0, 10, 42 + 8N, 20, 10; zero bytes show as \0
//   {press N}       one send of IS_MST packets (68, 13, 0, 0, then the zero-filled text) typing
//                   /press F12, 99 x /press left, N - 1 x /press right, /press F12
//   {panel F9}      one IS_MST /press F9 on its own (F10, F11 likewise)
//   {bytes ..}      anything else, in hex
// Size bytes are read in the unit set on the recorder, as the link sets it after the handshake.
//   Diagnostics for standard error are kept apart in `errors`, one line each.
class Recorder final : public Output {
public:
    std::string text;
    std::string errors;

    void write(std::string_view console) override {
        flushHeader();
        text += console;
    }
    void diagnostic(std::string_view line) override {
        errors += line;
        errors += '\n';
    }
    void send(const void* data, std::size_t size) override {
        const std::string bytes(static_cast<const char*>(data), size);
        if (!header_.empty()) {
            const std::string header = std::exchange(header_, {});
            if (size + 12 == static_cast<unsigned char>(header[0]) * unit()) {
                text += "{btn " + std::to_string(header[4]) + " |" + shown(bytes) + "|}";
                return;
            }
            text += hex(header);
        }
        if (bytes == sized(8, "\x2a\x00\x01\x00\x00\x00\x00")) text += "{clear}";
        else if (bytes == sized(4, "\x03\x00\x00")) text += "{keep-alive}";
        else if (isButtonHeader(bytes)) header_ = bytes;
        else if (const int amount = pressAmount(bytes)) text += "{press " + std::to_string(amount) + "}";
        else if (const char* key = panelKey(bytes)) text += std::string("{panel ") + key + "}";
        else text += hex(bytes);
    }
    void flushHeader() { text += hex(std::exchange(header_, {})); }

private:
    std::size_t unit() const { return static_cast<std::size_t>(sizeUnit()); }
    // A packet of `length` bytes: its Size byte, then the `length` - 1 bytes of `rest`.
    std::string sized(std::size_t length, const char* rest) const {
        return static_cast<char>(length / unit()) + std::string(rest, length - 1);
    }
    static bool isButtonHeader(const std::string& b) {
        const int id = b.size() == 12 ? b[4] : 0;
        return id >= 1 && id <= 4 && b.substr(1) == std::string{45, char(id), 0, char(id), 0, 32, 0, 10, char(42 + 8 * id), 20, 10};
    }
    std::string command(const char* text) const {
        std::string packet = static_cast<char>(68 / unit()) + std::string("\x0d\x00\x00", 3) + text;
        packet.resize(68, '\0');
        return packet;
    }
    int pressAmount(const std::string& b) {
        const std::size_t count = b.size() / 68;
        if (b.size() % 68 != 0 || count < 101 || count > 200) return 0;
        std::string batch = command("/press F12");
        for (int k = 0; k < 99; ++k) batch += command("/press left");
        for (std::size_t k = 101; k < count; ++k) batch += command("/press right");
        return b == batch + command("/press F12") ? static_cast<int>(count - 100) : 0;
    }
    const char* panelKey(const std::string& b) const {
        for (const char* key : {"F9", "F10", "F11"}) {
            if (b == command((std::string("/press ") + key).c_str())) return key;
        }
        return nullptr;
    }
    static std::string shown(const std::string& window) {
        std::string out;
        for (char c : window) out += c == '\0' ? std::string("\\0") : std::string(1, c);
        return out;
    }
    static std::string hex(const std::string& bytes) {
        std::string out;
        for (const unsigned char c : bytes) out += std::string(" ") + "0123456789abcdef"[c >> 4] + "0123456789abcdef"[c & 15];
        return bytes.empty() ? out : "{bytes" + out + "}";
    }
    std::string header_;  // a button header waiting for its text
};

// Plays the script to the program as the link would: the stream cut into packets as they complete,
// each datagram handed to the OutGauge step. Returns what was printed and sent after the last mark;
// the diagnostics of the whole script go to `errors` when one is given.
inline std::string feed(const Script& script, Program& program, std::string* errors = nullptr) {
    Recorder out;
    std::string pending;  // stream bytes not yet a whole packet
    for (const Input& input : script) {
        if (input.kind == Input::Mark) out.text.clear();
        if (input.kind == Input::Datagram) onGauge(program, input.bytes.data(), input.bytes.size(), out);
        if (input.kind != Input::Stream) continue;
        pending += input.bytes;
        for (;;) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(pending.data());
            const Frame frame = framePacket(bytes, pending.size(), programRoutes(program), out.sizeUnit());
            if (frame.kind == Frame::NeedMore) break;
            if (frame.kind == Frame::Whole) dispatchPacket(programRoutes(program), program, bytes, frame.size, out);
            pending.erase(0, frame.size);
        }
    }
    out.flushHeader();
    if (errors != nullptr) *errors = out.errors;
    return out.text;
}

// The same, to a program of its own.
inline std::string play(const Script& script, Program program = {}, std::string* errors = nullptr) {
    return feed(script, program, errors);
}

}  // namespace transcript
