// Plays a race model to the program over the InSim link and OutGauge, at the chosen pace,
// and takes in what the program sends back: keep-alive replies, buttons and "/press" commands.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standin/board_view.h"
#include "standin/console.h"
#include "standin/insim_host.h"
#include "standin/race_model.h"

namespace standin {

enum class Pace {
    Real,         // simulated time runs as fast as the wall clock, times a factor
    Fast,         // as fast as the program takes the packets
};

struct HostOptions {
    Pace pace = Pace::Fast;
    double factor = 1;                 // Real: simulated seconds per wall-clock second
    Simulator simulator = Simulator::Old;
    std::uint16_t insimVersion = 5;    // Old: InSimVer of the IS_VER reply; Current: the lowest version it provides
    int answerTimeoutMs = 5000;        // longest wait for the program to answer a keep-alive
    bool colour = false;               // terminal colours in the board view
    bool showBoard = true;             // print the screen when it changes
    bool showNotices = true;           // print what happens in the race
    bool outGaugeAsked = false;        // OutGauge at the interval the program asks for, not the scenario's
    std::uint32_t connectAtMs = 0;     // the link is taken (the handshake played) at this simulated time
    std::uint32_t dropAtMs = 0;        // the link is dropped at this time (0: never), and what the game sends
    std::uint32_t downMs = 0;          // for this long is lost before a new link is taken
    int reconnectTimeoutMs = 10000;    // longest wait for the program to connect again
    // A team race served to both members' games: the team mate's game on this second link, linked from the
    // start (the connect and drop times are the local game's). Both games get the same packets but for the
    // answers naming the local connection and each one's screen; OutGauge goes to the game whose driver drives
    // the viewed car. The mate's program connects within reconnectTimeoutMs; its buttons are not shown.
    InSimHost* mateHost = nullptr;
    // The driver of the car RaceModel::askDriver() named, asked once the program has handled his line:
    // whether his next lap ends in the pits (nothing: the car's own rule).
    std::function<std::optional<bool>()> driver = {};
};

class HostSession {
public:
    HostSession(InSimHost& host, RaceModel& model, Console& console, HostOptions options);

    // The simulator's half of the handshake (InSimHost::handshake), then a keep-alive round trip. The model
    // learns the version answered and the OutGauge interval asked for (RaceModel::connected).
    // False when the program is gone or refused the version; error() tells why.
    bool handshake(int acceptTimeoutMs);
    // Plays the scenario to its end, then closes the link. False when the program stopped answering.
    // A current simulator fills Fuel200 of IS_LAP and IS_SPX; an old one has a spare 0 there.
    bool run();

    const std::string& error() const { return error_; }
    int keyPresses() const { return keyPresses_; }
    // Every screen after the program had handled what was sent to it, with its simulated time.
    struct Screen {
        std::uint32_t time = 0;
        std::vector<std::string> lines;  // the button texts, top to bottom, colour codes included
    };
    const std::vector<Screen>& screens() const { return screens_; }

private:
    struct Game {  // one member's game: its InSim link and the OutGauge port its program asked for
        InSimHost* host = nullptr;        // none: this game is not served
        bool mate = false;
        bool linked = false;
        bool outGaugeOn = false;
        std::unique_ptr<OutGaugeSender> outGauge;
    };
    bool handshake(Game& game, int acceptTimeoutMs);
    bool sync();                          // keep-alive round trips: everything sent before them has been handled
    bool roundTrip(Game& game);
    void takePacket(const Packet& packet, const Game& game);
    void pace(std::uint32_t simTime);
    void afterSync();
    void say(const std::string& text);
    bool relink(std::uint32_t simTime);  // the link's state at this time: false when the program did not come back

    InSimHost& host_;
    RaceModel& model_;
    Console& console_;
    HostOptions options_;
    BoardView board_;
    Game local_, mate_;
    bool dropped_ = false;
    std::string error_;
    std::vector<Screen> screens_;
    int keyPresses_ = 0;
    int pressesSinceReport_ = 0;
    int straysAtReport_ = 0, blockedAtReport_ = 0, boxChangesAtReport_ = 0;  // the model's counts when last reported
    int redrawsPrinted_ = 0;
    std::chrono::steady_clock::time_point wallStart_;
    std::chrono::steady_clock::time_point lastStatus_;
};

}  // namespace standin
