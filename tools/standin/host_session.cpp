// The simulator's side of a session with the program: the handshake, then the model's events in order.
// Every OutGauge datagram is framed by keep-alives, so the program has handled all packets before it
// when it reads the datagram, and reads it in the turn of the keep-alive: the same at every pace.
#include "standin/host_session.h"

#include <cstddef>
#include <cstring>
#include <thread>

#include "link/wire.h"

namespace standin {
namespace {

constexpr auto kStatusEvery = std::chrono::milliseconds(100);

std::string asText(const IS_MST& mst) { return std::string(mst.Msg, strnlen(mst.Msg, sizeof mst.Msg)); }

// The model gives fuel at the line in the last byte of IS_LAP and IS_SPX (Fuel200); before it had
// that field the simulator sent a spare 0 there.
void clearFuel200(std::vector<std::uint8_t>& bytes) {
    const bool lap = bytes.size() == sizeof(IS_LAP) && bytes[1] == ISP_LAP;
    if (lap || (bytes.size() == sizeof(IS_SPX) && bytes[1] == ISP_SPX)) bytes.back() = 0;
}

}  // namespace

HostSession::HostSession(InSimHost& host, RaceModel& model, Console& console, HostOptions options)
    : host_(host), model_(model), console_(console), options_(options) {
    local_.host = &host_;
    mate_.host = options_.mateHost;
    mate_.mate = true;
}

void HostSession::say(const std::string& text) {
    if (options_.showNotices) console_.line("[" + clockText(model_.now()) + "] " + text);
}

bool HostSession::handshake(int acceptTimeoutMs) { return handshake(local_, acceptTimeoutMs); }

bool HostSession::handshake(Game& game, int acceptTimeoutMs) {
    InSimHost& host = *game.host;
    if (!host.connected() && !host.accept(acceptTimeoutMs)) {
        error_ = game.mate ? "no team mate's program connected" : "no program connected";
        return false;
    }
    const HandshakeBytes sent = host.handshake(options_.insimVersion, options_.answerTimeoutMs, options_.simulator);
    // A program written for version 9 or later gives its IS_ISI's size in fours as well.
    const bool inFours = options_.simulator == Simulator::Current && sent.isi.size() == sizeof(IS_ISI) &&
                         sent.isi[offsetof(IS_ISI, InSimVer)] >= 9 && sent.isi[0] == sizeof(IS_ISI) / 4;
    if (sent.isi.size() != sizeof(IS_ISI) || (sent.isi[0] != sizeof(IS_ISI) && !inFours) || sent.isi[1] != ISP_ISI) {
        error_ = "the program sent no IS_ISI";
        return false;
    }
    if (sent.request.empty()) {
        error_ = "the program asked for InSim version " + std::to_string(sent.isi[offsetof(IS_ISI, InSimVer)]) +
                 ", was answered " + std::to_string(sent.answered) + " and went no further";
        return false;
    }
    if (sent.request.size() != sizeof(IS_SMALL)) {
        error_ = "the program did not ask for OutGauge";
        return false;
    }
    const auto outGaugePort = static_cast<std::uint16_t>(sent.isi[4] | (sent.isi[5] << 8));
    game.outGaugeOn = sent.request[1] == ISP_SMALL && sent.request[3] == SMALL_SSG;
    IS_SMALL request;
    std::memcpy(&request, sent.request.data(), sizeof request);
    model_.connected(sent.answered, request.UVal, options_.outGaugeAsked);
    game.outGauge = std::make_unique<OutGaugeSender>(outGaugePort);
    say(std::string(game.mate ? "The team mate's program" : "Program") + " connected; OutGauge " +
        (game.outGaugeOn ? "goes" : "was not asked for, nothing goes") + " to UDP port " + std::to_string(outGaugePort) + ".");
    game.linked = true;
    if (!roundTrip(game)) return false;
    afterSync();
    return true;
}

void HostSession::takePacket(const Packet& packet, const Game& game) {
    // A request of the program is answered at once, each answer with its ReqI.
    if (packet.size() == sizeof(IS_TINY) && packet[1] == ISP_TINY && packet[2] != 0) {
        for (const Packet& answer : model_.answer(packet[3], packet[2], game.mate))
            game.host->sendWhole(answer.data(), answer.size());
        return;
    }
    // The screen shown is the local driver's: the mate's program's buttons are on his.
    const bool button = packet.size() >= 2 && (packet[1] == ISP_BTN || packet[1] == ISP_BFN);
    if ((game.mate ? button : board_.apply(packet)) || packet.size() != sizeof(IS_MST) || packet[1] != ISP_MST) return;
    IS_MST mst;
    std::memcpy(&mst, packet.data(), sizeof mst);
    const std::string message = asText(mst);
    const std::string_view key = pressedKey(message);
    if (key.empty()) {
        say(std::string(game.mate ? "The team mate's program" : "The program") + " typed: " + message);
        return;
    }
    ++keyPresses_;
    ++pressesSinceReport_;
    model_.pressKey(key, game.mate);
}

// A game not linked (the local one before its program's link is taken, or the mate's that is not served) is passed.
bool HostSession::roundTrip(Game& game) {
    if (!game.linked) return true;
    const auto packets = game.host->keepAliveRoundTrip(options_.answerTimeoutMs);
    if (!packets) {
        error_ = std::string(game.mate ? "the team mate's program" : "the program") + " did not answer a keep-alive within " +
                 std::to_string(options_.answerTimeoutMs) + " ms";
        return false;
    }
    for (const Packet& packet : *packets) takePacket(packet, game);  // anything else the simulator would not act on
    return true;
}

bool HostSession::sync() {
    if (!roundTrip(local_) || !roundTrip(mate_)) return false;
    afterSync();
    return true;
}

void HostSession::afterSync() {
    const ViewStatus status = model_.viewStatus();
    if (pressesSinceReport_ > 0) {
        const int strays = model_.strayPresses() - straysAtReport_;
        const int blocked = model_.blockedPresses() - blockedAtReport_;
        const int boxChanges = model_.boxChanges() - boxChangesAtReport_;
        say("Pit menu of PLID " + std::to_string(status.plid) + ": " + std::to_string(pressesSinceReport_) +
            " key presses, fuel setting " + std::to_string(status.menuPercent) + "%, menu " +
            (status.menuOpen ? "open" : "closed") + (strays ? ", " + std::to_string(strays) + " stray" : "") +
            (blocked ? ", " + std::to_string(blocked) + " into a dialog or text entry" : "") +
            (boxChanges ? ", " + std::to_string(boxChanges) + " changes standing in the box" : "") + ".");
        pressesSinceReport_ = 0;
        straysAtReport_ = model_.strayPresses();
        blockedAtReport_ = model_.blockedPresses();
        boxChangesAtReport_ = model_.boxChanges();
    }
    if (board_.redraws() != redrawsPrinted_) {
        redrawsPrinted_ = board_.redraws();
        const std::vector<std::string> lines = board_.lines();
        const bool same = screens_.empty() ? lines.empty() : screens_.back().lines == lines;
        if (!same) {
            screens_.push_back(Screen{model_.now(), lines});
            if (options_.showBoard) console_.line(board_.render(status, model_.now(), options_.colour));
        }
    }
    if (console_.terminal()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastStatus_ >= kStatusEvery) {
            lastStatus_ = now;
            std::string line = "  " + clockText(model_.now());
            if (*status.session)
                line += "  " + std::string(status.session) + " lap " + std::to_string(status.lap) + raceLength(status);
            line += "  PLID " + std::to_string(status.plid) + "  pit fuel " + std::to_string(status.menuPercent) + "%";
            console_.status(line);
        }
    }
}

void HostSession::pace(std::uint32_t simTime) {
    if (options_.pace == Pace::Fast || options_.factor <= 0) return;
    const auto due = wallStart_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double, std::milli>(simTime / options_.factor));
    std::this_thread::sleep_until(due);
}

bool HostSession::relink(std::uint32_t simTime) {
    if (local_.linked && options_.dropAtMs != 0 && !dropped_ && simTime >= options_.dropAtMs) {
        host_.closeClient();
        local_.linked = false;
        dropped_ = true;
        say("The link is dropped; the game goes on.");
    }
    const std::uint32_t backAt = dropped_ ? options_.dropAtMs + options_.downMs : options_.connectAtMs;
    if (local_.linked || simTime < backAt) return true;
    say(dropped_ ? "A new link is taken." : "The program's link is taken, the session running.");
    if (!handshake(options_.reconnectTimeoutMs)) return false;
    local_.linked = true;
    // Real time goes on from here: what was skipped is not waited for.
    wallStart_ = std::chrono::steady_clock::now() -
                 std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<double, std::milli>(options_.factor > 0 ? simTime / options_.factor : 0));
    return true;
}

bool HostSession::run() {
    wallStart_ = std::chrono::steady_clock::now();
    local_.linked = options_.connectAtMs == 0;  // else the handshake waits for its time
    if (mate_.host != nullptr && !handshake(mate_, options_.reconnectTimeoutMs)) return false;
    bool unsynced = false;  // InSim packets sent since the last keep-alive round trip
    while (auto event = model_.next()) {
        if (!relink(event->time)) return false;
        if (!local_.linked && !mate_.linked) {  // nothing reaches a program; the person watching still sees the race
            if (event->kind == ModelEvent::Kind::Notice) say(event->text);
            unsynced = false;
            continue;
        }
        pace(event->time);
        switch (event->kind) {
            case ModelEvent::Kind::InSim:
                if (options_.simulator == Simulator::Old) clearFuel200(event->bytes);
                for (Game* game : {&local_, &mate_}) {
                    const auto other = game->mate ? ModelEvent::Game::Local : ModelEvent::Game::Mate;
                    if (game->linked && event->game != other) game->host->sendWhole(event->bytes.data(), event->bytes.size());
                }
                unsynced = true;
                break;
            case ModelEvent::Kind::Notice:
                say(event->text);
                break;
            case ModelEvent::Kind::Driver:  // he reads what the program made of his line
                if (unsynced && !sync()) return false;
                unsynced = false;
                model_.answerDriver(options_.driver ? options_.driver() : std::nullopt);
                break;
            case ModelEvent::Kind::OutGauge: {
                // The datagram must not overtake the packets before it: they are handled first.
                if (unsynced && !sync()) return false;
                const Game& driving = mate_.linked && model_.viewedDriver() != 0 ? mate_ : local_;
                if (driving.linked && driving.outGaugeOn) driving.outGauge->send(event->bytes.data(), event->bytes.size());
                if (!sync()) return false;
                unsynced = false;
                break;
            }
        }
    }
    if (unsynced && !sync()) return false;
    host_.closeClient();
    if (mate_.host != nullptr) mate_.host->closeClient();
    say("Scenario over; the link is closed.");
    return true;
}

}  // namespace standin
