// The team link: an MQTT client on libmosquitto's own network thread, publishing the driving member's reports
// under stintkeeper/<name>/ and handing what the other members send to the loop through a bounded inbox.
#include "team/team_link.h"

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "team/payload.h"

namespace {

constexpr int kKeepAliveSeconds = 10;   // a broker gone silent is noticed within one and a half of these
constexpr unsigned kFirstDelayS = 1;    // the back-off between attempts, doubling to its cap
constexpr unsigned kMostDelayS = 8;
constexpr int kMostUnsent = 8;          // lap reports waiting to be written; beyond it one is dropped

}  // namespace

TeamLink::TeamLink(TeamSettings settings) : settings_(std::move(settings)), prefix_("stintkeeper/" + settings_.name + "/") {}

TeamLink::~TeamLink() {
    {
        const std::lock_guard lock(starterMutex_);
        stopping_ = true;
    }
    starterWake_.notify_all();
    if (starter_.joinable()) starter_.join();
    if (client_ != nullptr) {
        mosquitto_disconnect(client_);
        if (looping_) mosquitto_loop_stop(client_, true);
        mosquitto_destroy(client_);
    }
    mosquitto_lib_cleanup();
}

bool TeamLink::start(Output& out) {
    mosquitto_lib_init();
    client_ = mosquitto_new(nullptr, true, this);  // a client id of the broker's choosing: members never collide
    if (client_ == nullptr) {
        diagnose(out, "team link: no MQTT client could be made: the team link is off");
        return false;
    }
    mosquitto_connect_callback_set(client_, onConnect);
    mosquitto_disconnect_callback_set(client_, onDisconnect);
    mosquitto_message_callback_set(client_, onMessage);
    mosquitto_publish_callback_set(client_, onPublish);
    mosquitto_reconnect_delay_set(client_, kFirstDelayS, kMostDelayS, true);
    if (!settings_.user.empty()) {
        mosquitto_username_pw_set(client_, settings_.user.c_str(),
                                  settings_.password.empty() ? nullptr : settings_.password.c_str());
    }
    if (settings_.tls) {
        const int set = settings_.cafile.empty() ? mosquitto_int_option(client_, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                                                 : mosquitto_tls_set(client_, settings_.cafile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (set != MOSQ_ERR_SUCCESS) {
            diagnose(out, "team link: TLS cannot be set up with cafile \"", settings_.cafile, "\" (", mosquitto_strerror(set),
                     "): the team link is off");
            return false;
        }
    }
    if (mosquitto_loop_start(client_) != MOSQ_ERR_SUCCESS) {
        diagnose(out, "team link: its network thread could not be started: the team link is off");
        return false;
    }
    looping_ = true;
    // The name lookup and the connection of the first attempt happen in the call below: not on the loop's thread.
    starter_ = std::thread([this] { connectFirst(); });
    return true;
}

void TeamLink::connectFirst() {
    unsigned delay = kFirstDelayS;
    for (;;) {
        const int code = mosquitto_connect_async(client_, settings_.broker.c_str(), settings_.port, kKeepAliveSeconds);
        if (code == MOSQ_ERR_SUCCESS) return;  // from here on the network thread reconnects
        const char* why = code == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(code);
        inbox_.push({Event::Lost, why});
        std::unique_lock lock(starterMutex_);
        if (starterWake_.wait_for(lock, std::chrono::seconds(delay), [this] { return stopping_; })) return;
        delay = std::min(delay * 2, kMostDelayS);
    }
}

void TeamLink::onConnect(mosquitto*, void* self, int code) {
    auto& link = *static_cast<TeamLink*>(self);
    if (code == 0) link.inbox_.push({Event::Connected, {}});
    else link.inbox_.push({Event::Refused, mosquitto_connack_string(code)});
}

void TeamLink::onDisconnect(mosquitto*, void* self, int code) {
    if (code == 0) return;  // our own disconnect
    auto& link = *static_cast<TeamLink*>(self);
    link.unsent_ = 0;  // what waited went with the connection
    link.inbox_.push({Event::Lost, code == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(code)});
}

void TeamLink::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto& link = *static_cast<TeamLink*>(self);
    const auto* bytes = static_cast<const char*>(message->payload);
    // Too long to be read: only its length is kept, so the inbox never holds more than a payload's limit each.
    const std::size_t kept = std::min(static_cast<std::size_t>(std::max(message->payloadlen, 0)), kMostPayloadBytes + 1);
    std::string payload = message->payloadlen > 0 ? std::string(bytes, kept) : std::string();
    link.inbox_.push({Event::Message, std::move(payload)});
}

void TeamLink::onPublish(mosquitto*, void* self, int) {
    auto& link = *static_cast<TeamLink*>(self);
    if (link.unsent_ > 0) --link.unsent_;
}

void TeamLink::publish(const std::string& topic, const std::string& payload, bool retained) {
    if (!connected_) return;  // published again, the latest of each, at the next connect
    ++unsent_;
    const int code = mosquitto_publish(client_, nullptr, (prefix_ + topic).c_str(), static_cast<int>(payload.size()),
                                       payload.data(), 0, retained);
    if (code != MOSQ_ERR_SUCCESS) --unsent_;
}

void TeamLink::share(const TeamReport& report, const TeamReport& history) {
    state_ = writePayload(report);
    history_ = writePayload(history);
    if (unsent_ < kMostUnsent) publish("lap", state_, false);
    publish("state", state_, true);
    publish("history", history_, true);
}

void TeamLink::withdraw() {
    state_.clear();
    history_.clear();
}

void TeamLink::named(const std::string& sender, std::string_view why, Output& out) {
    if (!namedSenders_.insert(sender).second) return;
    diagnose(out, "team link: a message from ", sender.empty() ? std::string("an unknown sender") : sender,
               " is ignored: ", why, " (further ones from it are ignored without a word)");
}

void TeamLink::ignored(const TeamReport& report, std::string_view why, Output& out) { named(report.sender, why, out); }

std::vector<TeamReport> TeamLink::arrived(Output& out) {
    std::size_t dropped = 0;
    std::vector<Event> events = inbox_.drain(dropped);
    std::vector<TeamReport> reports;
    for (Event& event : events) {
        switch (event.kind) {
        case Event::Connected:
            connected_ = true;
            lostNamed_ = false;
            diagnose(out, "team link: connected to the broker ", settings_.broker, " port ", settings_.port, " as team ",
                     settings_.name);
            mosquitto_subscribe(client_, nullptr, (prefix_ + "#").c_str(), 0);
            if (!state_.empty()) {
                publish("state", state_, true);
                publish("history", history_, true);
            }
            break;
        case Event::Refused:
        case Event::Lost:
            connected_ = false;
            if (lostNamed_) break;
            lostNamed_ = true;
            diagnose(out, "team link: ", event.kind == Event::Refused ? "the broker refused the connection" : "no broker",
                     " at ", settings_.broker, " port ", settings_.port, " (", event.text,
                     "): the race goes on, and the link is tried again every few seconds");
            break;
        case Event::Message: {
            std::string why;
            if (std::optional<TeamReport> report = readPayload(event.text, why)) {
                reports.push_back(std::move(*report));
            } else {
                named("", why, out);
            }
            break;
        }
        }
    }
    if (dropped > 0) diagnose(out, "team link: ", dropped, " messages came faster than they were read and are dropped");
    return reports;
}
