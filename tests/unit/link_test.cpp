// The link's edges played through its Sockets seam: start-up failures and their exit codes, the wait for a
// simulator, the version reply however it comes, and loop turns whose wait or receive fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <deque>
#include <string>
#include <vector>

#include "app/link.h"
#include "support/files.h"
#include "support/transcript.h"

namespace {

using transcript::bytes;

// System calls answered from a script: what each receive delivers, what each wait returns, the
// datagrams waiting; every send is kept, and the clock moves only with the link's pauses.
class ScriptedSockets final : public Sockets {
public:
    int libraries = 0;                      // startLibraries' answer
    bool resolves = true;
    int refusals = 0;                       // connection attempts refused before one is accepted
    Watch watch = Watch::Watched;
    Gauge gauge = Gauge::Open;
    std::deque<int> waits;                  // wait's answers, then 0 for ever
    std::deque<std::string> receives;       // each receive takes from the front piece; none left: closed
    std::deque<Datagram> datagrams;         // each received one all zero bytes
    std::string sent;
    std::uint32_t now = 0;
    int inSimCloses = 0;
    // Connecting again: what each later connection delivers, and the attempts refused before each.
    std::deque<std::deque<std::string>> laterLinks;
    int laterRefusals = 0;
    int attempts = 0;
    int accepted = 0;
    volatile std::sig_atomic_t* stopWhenDone = nullptr;  // set once the last link's bytes are read

    int startLibraries() override { return libraries; }
    std::string error() override { return "scripted failure"; }
    bool resolveInSim(std::uint16_t) override { return resolves; }
    bool connect() override {
        ++attempts;
        if (refusals-- > 0 || (accepted > 0 && laterRefusals-- > 0)) return false;
        if (accepted++ > 0 && !laterLinks.empty()) {
            receives = laterLinks.front();
            laterLinks.pop_front();
        }
        return true;
    }
    Watch watchInSim() override { return watch; }
    void pause(std::uint32_t ms) override { now += ms; }
    std::uint32_t ticks() override { return now; }
    int wait(std::uint32_t) override {
        if (waits.empty() && stopWhenDone != nullptr) {
            // Data, or a closed link to read, until the last link's bytes are read: then the stop.
            if (receives.empty() && laterLinks.empty()) *stopWhenDone = 1;
            return *stopWhenDone == 0 ? 1 : 0;
        }
        if (waits.empty()) return 0;
        const int answer = waits.front();
        waits.pop_front();
        return answer;
    }
    int receive(void* into, std::size_t size) override {
        if (receives.empty()) return 0;
        std::string& piece = receives.front();
        const std::size_t count = std::min(size, piece.size());
        piece.copy(static_cast<char*>(into), count);
        piece.erase(0, count);
        if (piece.empty()) receives.pop_front();
        return static_cast<int>(count);
    }
    void send(const void* bytes, std::size_t size) override { sent.append(static_cast<const char*>(bytes), size); }
    Gauge openGauge(std::uint16_t) override { return gauge; }
    Datagram receiveDatagram(std::uint8_t* into, std::size_t capacity) override {
        if (datagrams.empty()) return {Datagram::None};
        const Datagram next = datagrams.front();
        datagrams.pop_front();
        if (next.kind == Datagram::Received) std::fill_n(into, std::min<std::size_t>(next.length, capacity), 0);
        return next;
    }
    void closeInSim() override { ++inSimCloses; }
    void close() override {}
};

const std::string kVersion5 = bytes({20, 2, 1, 0}) + std::string(14, '\0') + bytes({5, 0});  // IS_VER, InSimVer 5
const std::string kConnected = "Waiting for InSim... Connected!\nSent ISI. Waiting for reply...\n";
const std::string kVersion6 = bytes({20, 2, 1, 0}) + std::string(14, '\0') + bytes({6, 0});
const std::string kTodaysReleases = "today's releases of the game speak InSim 6 or later: with version=\"8\" on <InSim> in "
                                    "cfg.xml (<InSim port=\"12500\" version=\"8\"/>) Stintkeeper speaks with them\n";

// A link with scripted sockets, a recorded console and a fresh program; the notice every 300 ms of waiting.
struct ScriptedLink {
    ScriptedSockets sockets;
    transcript::Recorder console;
    Program program;
    InSimLink link{sockets, console, LinkTimings{100, 100, 300, 1000}};
    Config config;  // the link reads it for as long as it runs

    // Start-up from the libraries to the OutGauge socket: its exit code.
    int start(Config settings = {}) {
        config = settings;
        applyDefaults(config);
        const int code = link.initLibraries();
        return code != 0 ? code : link.connect(config, program);
    }
    // One loop turn: its console text, then what it sent, then "exit N" when it ends the loop.
    std::string turn() {
        console.text.clear();
        sockets.sent.clear();
        const std::optional<int> code = link.runTurn(program);
        transcript::Recorder sends;
        sends.send(sockets.sent.data(), sockets.sent.size());
        return console.text + sends.text + (code ? "exit " + std::to_string(*code) : "");
    }
};

}  // namespace

TEST(Link, StartUpFailuresAndTheirExitCodes) {
    const std::string accepted = kConnected + "InSim version is 5 - accepted.\nRequesting OutGauge...\n";
    const struct {
        const char* name;
        void (*script)(ScriptedSockets&);
        int code;
        std::string console;
        std::string errors = "";  // what points at the setting to mend
        bool reconnect = false;
    } cases[] = {
        {"no SDL", [](ScriptedSockets& s) { s.libraries = 1; }, 1, "SDL_Init: scripted failure\n"},
        {"no SDL_net", [](ScriptedSockets& s) { s.libraries = 2; }, 2, "SDLNet_Init: scripted failure\n"},
        {"localhost unknown", [](ScriptedSockets& s) { s.resolves = false; }, 1,
         "Initialization done!\nWaiting for InSim... SDLNet_ResolveHost: scripted failure\n"},
        {"no socket set", [](ScriptedSockets& s) { s.watch = Sockets::Watch::NoSet; }, 2,
         "Initialization done!\nWaiting for InSim... Failed to allocate socket set! Exiting!\n"},
        {"socket not added", [](ScriptedSockets& s) { s.watch = Sockets::Watch::NotAdded; }, 2,
         "Initialization done!\nWaiting for InSim... Failed to add socket to socket set! Exiting!\n"},
        {"closed before the version reply", [](ScriptedSockets& s) { s.receives = {kVersion5.substr(0, 19)}; }, 2,
         "Initialization done!\n" + kConnected + "Connection closed before the InSim version reply! Exiting!\n",
         "the game closes the connection before its reply when the admin password is wrong: <Password value=\"...\"/> "
         "in cfg.xml must be the game's InSim admin password, or empty\n"},
        // With reconnect on and no password, the game closing at once is no sign of a wrong one.
        {"closed before the version reply, reconnect on", [](ScriptedSockets& s) { s.receives = {kVersion5.substr(0, 19)}; },
         2, "Initialization done!\n" + kConnected + "Connection closed before the InSim version reply! Exiting!\n", "", true},
        // The first 20 bytes are the version reply whatever they are: here a keep-alive and most of the reply.
        {"a first reply that is not IS_VER", [](ScriptedSockets& s) { s.receives = {bytes({4, 3, 0, 0}) + kVersion5}; },
         2, "Initialization done!\n" + kConnected + "InSim version is 0 - Stintkeeper only supports InSim version 5. Exiting.\n",
         kTodaysReleases},
        {"today's simulator, no version asked for", [](ScriptedSockets& s) { s.receives = {kVersion6}; }, 2,
         "Initialization done!\n" + kConnected + "InSim version is 6 - Stintkeeper only supports InSim version 5. Exiting.\n",
         kTodaysReleases},
        {"no UDP socket", [](ScriptedSockets& s) { s.receives = {kVersion5}; s.gauge = Sockets::Gauge::NotOpened; }, 2,
         "Initialization done!\n" + accepted + "Failed to initialize UDP: scripted failure - Exiting!\n",
         "the OutGauge port 12501 cannot be opened, most likely because another program uses it: choose a free one "
         "with <OutGauge port=\"...\"/> in cfg.xml\n"},
        {"localhost unknown for OutGauge",
         [](ScriptedSockets& s) { s.receives = {kVersion5}; s.gauge = Sockets::Gauge::NotResolved; }, 1,
         "Initialization done!\n" + accepted + "SDLNet_ResolveHost: scripted failure\n"},
        {"UDP not bound", [](ScriptedSockets& s) { s.receives = {kVersion5}; s.gauge = Sockets::Gauge::NotBound; }, 2,
         "Initialization done!\n" + accepted + "Failed to bind to localhost! Exiting!\n"},
        // A reply cut short is read on to its end.
        {"the reply in pieces", [](ScriptedSockets& s) { s.receives = {kVersion5.substr(0, 3), kVersion5.substr(3)}; },
         0, "Initialization done!\n" + accepted},
    };
    for (const auto& c : cases) {
        ScriptedLink run;
        c.script(run.sockets);
        Config settings;
        settings.reconnect = c.reconnect;
        EXPECT_EQ(run.start(settings), c.code) << c.name;
        EXPECT_EQ(run.console.text, c.console) << c.name;
        EXPECT_EQ(run.console.errors, c.errors) << c.name;
    }
}

// Asking for version 10: the IS_ISI gives its Size in fours (and the password cut to its 15 characters),
// and a reply of 5 to 10 is taken. From 9 on the packets read and sent count their Size in fours; above 10
// the program ends.
TEST(Link, VersionsNineAndTenCountSizesInFours) {
    Config asking;
    asking.insimVersion = 10;
    asking.password = "abcdefghijklmnopqrst";
    const auto reply = [](int version) { return bytes({5, 2, 1, 0}) + std::string(14, '\0') + bytes({version, 0}); };
    const std::string isi = bytes({11, 1, 1, 0, 0xD5, 0x30, 4, 0, 10, 0, 0, 0}) + "abcdefghijklmno" + std::string(1, '\0') +
                            "Stintkeeper" + std::string(5, '\0');
    const struct {
        int replied;
        int code;
        std::string tail;  // of the console, after the version number
        std::string sent;  // after the IS_ISI
    } cases[] = {
        {10, 0, " - accepted.\nRequesting OutGauge...\n", bytes({2, 4, 0, 2, 0x10, 0x27, 0, 0})},
        {9, 0, " - accepted.\nRequesting OutGauge...\n", bytes({2, 4, 0, 2, 0x10, 0x27, 0, 0})},
        {8, 0, " - accepted.\nRequesting OutGauge...\n", bytes({8, 4, 0, 2, 0x10, 0x27, 0, 0})},
        {11, 2, " - Stintkeeper only supports InSim versions 5 to 10. Exiting.\n", ""},
    };
    for (const auto& c : cases) {
        ScriptedLink run;
        run.sockets.receives = {reply(c.replied)};
        EXPECT_EQ(run.start(asking), c.code) << c.replied;
        EXPECT_EQ(run.console.text, "Initialization done!\n" + kConnected + "InSim version is " +
                                        std::to_string(c.replied) + c.tail) << c.replied;
        EXPECT_EQ(run.sockets.sent, isi + c.sent) << c.replied;
    }
    // The guard needs version 8 or later: a simulator that answers a request for 8 with 6 turns it off.
    ScriptedLink old;
    old.program.pitFuel.guard.on = true;
    old.sockets.receives = {reply(6)};
    asking.insimVersion = 8;
    EXPECT_EQ(old.start(asking), 0);
    EXPECT_FALSE(old.program.pitFuel.guard.on);
    EXPECT_EQ(old.console.errors, "the simulator speaks InSim version 6: the pit guard needs version 8 or later, so it is off\n");
    asking.insimVersion = 10;
    // Version 10 spoken: an unknown packet of 10 fours is read whole, the keep-alive after it answered in fours.
    ScriptedLink run;
    run.sockets.receives = {reply(10)};
    ASSERT_EQ(run.start(asking), 0);
    run.sockets.waits = {1, 1};
    run.sockets.receives = {bytes({10, 77, 0, 0}) + std::string(36, '\3') + bytes({1, 3, 0, 0})};
    EXPECT_EQ(run.turn(), "");
    EXPECT_EQ(run.turn(), "{bytes 01 03 00 00}");
}

// Nothing accepts for a while: the console stays as it is, and standard error names the port at every
// interval of the notice, not more often.
TEST(Link, WhileNothingAcceptsTheWaitIsNamedAtEachInterval) {
    ScriptedLink run;
    run.sockets.refusals = 7;  // 700 ms of attempts 100 ms apart: notices at 300 and 600
    run.sockets.receives = {kVersion5};
    EXPECT_EQ(run.start(), 0);
    const std::string notice = "waiting for the simulator on InSim port 12500: the game opens it with /insim 12500 "
                               "typed in the game, or when LFSExec in cfg.xml starts it\n";
    EXPECT_EQ(run.console.errors, notice + notice);
    EXPECT_EQ(run.sockets.now, 700u);
}

// Loop turns: a wait that fails still reads a packet; a link that fails inside a packet never hands
// it on, sets the exit flag and still polls OutGauge; a datagram needs a buffer and comes from this machine.
TEST(Link, TurnsWhoseWaitOrReceiveFails) {
    const std::string restart = bytes({28, 17, 0, 0, 5}) + std::string(23, '\0');  // IS_RST, 5 laps
    using Datagram = Sockets::Datagram;
    const struct {
        const char* name;
        std::deque<int> waits;
        std::deque<std::string> receives;  // after the version reply
        std::deque<Datagram> datagrams;
        std::vector<std::string> turns;    // each turn's console text, then its sends, then "exit N" when it ends the loop
    } cases[] = {
        {"a failed wait reads on", {-1}, {bytes({4, 3, 7, 0})}, {}, {"{keep-alive}"}},
        {"a packet in pieces is read whole in one turn", {1}, {restart.substr(0, 2), restart.substr(2, 9), restart.substr(11)},
         {}, {"Restart detected: Race! Number of laps: 5. Allocated 7700bytes.\nCleared memory! Cleared "
                  "pitboard!\nPitting isn't mandatory.\n{clear}", ""}},
        {"the link fails inside a packet", {1}, {restart.substr(0, 14)}, {{Datagram::Received, 96, true}},
         {"Failed to receive data: scripted failure - Setting exit-flag!\nUnknown packet size!\nexit 0"}},
        {"no buffer for a datagram", {}, {}, {{Datagram::NoBuffer}},
         {"Failed to allocate new UDP packet! Exiting!\nexit 2"}},
        {"a datagram from another machine", {}, {}, {{Datagram::Received, 92, false}},
         {"Dropped an OutGauge datagram from another machine!\n"}},
    };
    for (const auto& c : cases) {
        ScriptedLink run;
        run.sockets.receives = {kVersion5};
        ASSERT_EQ(run.start(), 0);
        run.sockets.waits = c.waits;
        run.sockets.receives = c.receives;
        run.sockets.datagrams = c.datagrams;
        for (std::size_t turn = 0; turn < c.turns.size(); ++turn) EXPECT_EQ(run.turn(), c.turns[turn]) << c.name << ", turn " << turn;
    }
}

namespace {

// The stream of a script, as the game sends it.
std::string streamOf(const transcript::Script& script) {
    std::string out;
    for (const transcript::Input& input : script) out += input.bytes;
    return out;
}

const std::string kVersion8 = bytes({20, 2, 1, 0}) + std::string(14, '\0') + bytes({8, 0});
const std::string kBack = "Waiting for InSim... Connected!\nSent ISI. Waiting for reply...\nInSim version is 8 - accepted.\n"
                          "Requesting OutGauge...\n";
const std::string kLost = "Failed to receive data: scripted failure - Setting exit-flag!\nLost the InSim link: connecting again.\n" + kBack;
// TINY_SST, TINY_RST, TINY_NCN, TINY_NPL and TINY_NLP, each with ReqI 2; the guard's TINY_NCN and TINY_NPL.
const std::string kRequests = bytes({4, 3, 2, 7, 4, 3, 2, 19, 4, 3, 2, 13, 4, 3, 2, 14, 4, 3, 2, 16});
const std::string kDrivers = bytes({4, 3, 2, 13, 4, 3, 2, 14});
const std::string kJoined = "Joined a race in progress: Race! Number of laps: 20. Allocated 30800bytes.\n";

}  // namespace

// With reconnect on, a lost link is made again after a second between attempts (the clock moves only
// with the pauses: no attempt without one), and the answers after the handshake decide: the same race
// goes on in the same store and log, another ends the old one, and without join the old one ends at once.
// Every handshake asks what runs when join is on, who drives when join or the guard is. A link closed before the
// version reply is made again. The stop ends the loop with the board cleared.
TEST(Link, ReconnectGoesOnWithTheSameRaceOrEndsTheOldOne) {
    using namespace transcript;
    const Script before = sta(7, 1, 20) + rstAnswer(20, 0) + nlp({{7, 1}, {8, 1}}) + lap(8, 60000, 60000, 1) +
                          lap(7, 60000, 60500, 1) + lap(8, 60000, 120000, 2) + lap(7, 60000, 120500, 2);
    const std::string ended = "Session ended! Stopping tracking! Clearing buttons!\n"
                              "Race log: 2026-12-08_2041_BL1.csv, fuel at the flag unknown (no reading).\n";
    const std::string withoutJoin = kLost.substr(0, kLost.find("Waiting")) + ended + kBack + "Waiting for restart...\n";
    // The viewed car's row waits for its level, which no datagram brings here, until its next line.
    const std::string rows = std::string(kRaceLogHeader) + "1,1,8,1,60000,60000,0,0,,,,\n1,2,8,1,60000,120000,0,0,,,,\n"
                             "1,1,7,2,60000,60500,0,0,,,,\n";
    const struct {
        const char* name;
        bool join;
        Script after;             // what the second link delivers after the version reply
        std::string console;      // from the loss on
        std::string log;          // the first race's file
        bool guard = false;
        int closedEarly = 0;      // later links the game closes before its version reply
    } cases[] = {
        // Laps 2 and 3 of car 7 were driven unseen: its line of lap 4 gets no board, its lap row is kept.
        {"the same race", true, sta(7, 1, 20) + rstAnswer(20, 0) + nlp({{8, 5}, {7, 4}}) + lap(7, 60000, 240500, 4),
         kLost + "Link back: the same session is still running, tracking goes on.\n" + lapLine(7),
         rows + "1,2,7,2,60000,120500,0,0,,,,\n1,4,7,,60000,240500,0,0,,,,\n"},
        {"a car behind the store: another race", true, sta(7, 1, 20) + rstAnswer(20, 0) + nlp({{8, 1}, {7, 1}}),
         kLost + ended + kJoined, rows + "1,2,7,2,60000,120500,0,0,,,,\n"},
        {"another track", true, sta(7, 1, 20) + rstAnswer(20, 0, "AS3") + nlp({{8, 9}, {7, 9}}),
         kLost + ended + kJoined, rows + "1,2,7,2,60000,120500,0,0,,,,\n"},
        {"nothing running", true, sta(0, 0, 0) + nlp({}), kLost + ended, rows + "1,2,7,2,60000,120500,0,0,,,,\n"},
        {"without join", false, {}, withoutJoin, rows + "1,2,7,2,60000,120500,0,0,,,,\n"},
        {"the guard without join asks who drives", false, {}, withoutJoin, rows + "1,2,7,2,60000,120500,0,0,,,,\n", true},
        // The game closed the first link again before its version reply: it is tried again a second later.
        {"closed before the version reply", true, sta(0, 0, 0) + nlp({}), kLost.substr(0, kLost.find("Waiting")) +
         "Waiting for InSim... Connected!\nSent ISI. Waiting for reply...\nConnection closed before the InSim version "
         "reply: connecting again.\n" + kBack + ended, rows + "1,2,7,2,60000,120500,0,0,,,,\n", false, 1},
    };
    for (const auto& c : cases) {
        const TempDir logs("reconnect");
        volatile std::sig_atomic_t stop = 0;
        ScriptedLink run;
        Config config;
        config.reconnect = true;
        config.join = c.join;
        config.insimVersion = 8;
        run.program.join = c.join;
        run.program.pitFuel.guard.on = c.guard;
        run.program.log.emplace(logs.path, false, restartTime);
        run.sockets.receives = {kVersion8};
        ASSERT_EQ(run.start(config), 0) << c.name;
        // Without join the first race begins with a restart; its answer is then a restart as any other.
        run.sockets.receives = {streamOf(before)};
        run.sockets.laterLinks = {{kVersion8 + streamOf(c.after)}};
        if (c.closedEarly) run.sockets.laterLinks.push_front({kVersion8.substr(0, 19)});
        run.sockets.laterRefusals = 3;
        run.sockets.stopWhenDone = &stop;
        run.link.stopOn(&stop);
        run.console.text.clear();
        EXPECT_EQ(run.link.run(run.program), 0) << c.name;
        EXPECT_EQ(run.console.text.substr(run.console.text.find("Failed to receive")), c.console) << c.name;
        EXPECT_EQ(run.sockets.now, 3000u + 1000u * c.closedEarly) << c.name;  // three refusals, a second after each
        EXPECT_EQ(run.sockets.attempts, 5 + c.closedEarly) << c.name;
        EXPECT_EQ(run.sockets.inSimCloses, 1 + c.closedEarly) << c.name;
        const std::string& requests = c.join ? kRequests : kDrivers;
        std::size_t asked = 0;
        for (auto at = run.sockets.sent.find(requests); at != std::string::npos; at = run.sockets.sent.find(requests, at + 1)) ++asked;
        EXPECT_EQ(asked, c.join || c.guard ? 2u : 0u) << c.name;  // at both handshakes
        // Stopped with the link up: the board cleared; at the program's end the waiting row is written.
        EXPECT_EQ(run.sockets.sent.substr(run.sockets.sent.size() - 8), bytes({8, 42, 0, 1, 0, 0, 0, 0})) << c.name;
        run.program.log.reset();
        EXPECT_EQ(fileText(logs.path / "2026-12-08_2041_BL1.csv"), c.log) << c.name;
    }
}
