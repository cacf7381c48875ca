// The team link: an MQTT client on libmosquitto's own network thread, publishing the driving member's reports
// under stintkeeper/<name>/ and handing what the other members send to the loop through a bounded inbox.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "publish/inbox.h"
#include "publish/team_port.h"
#include "publish/team_settings.h"

struct mosquitto;
struct mosquitto_message;

class TeamLink final : public TeamPort {
public:
    explicit TeamLink(TeamSettings settings);
    ~TeamLink() override;  // the network thread stopped, the client and the library released
    TeamLink(const TeamLink&) = delete;
    TeamLink& operator=(const TeamLink&) = delete;

    // The client and its thread; the first connection is made off the loop's thread, the library's own
    // back-off (1 s doubling to 8 s) making the next ones. False, named on standard error, when the client
    // cannot be set up (a certificate file that cannot be read).
    bool start(Output& out);

    void share(const TeamReport& report, const TeamReport& history) override;
    void withdraw() override;
    std::vector<TeamReport> arrived(Output& out) override;
    void ignored(const TeamReport& report, std::string_view why, Output& out) override;
    const std::string& name() const override { return settings_.name; }
    bool connected() const override { return connected_; }

private:
    struct Event {  // what a callback hands to the loop: a copy, nothing it points to
        enum Kind { Connected, Refused, Lost, Message } kind;
        std::string text;     // Refused, Lost: why; Message: its payload
    };
    static void onConnect(mosquitto*, void* self, int code);
    static void onDisconnect(mosquitto*, void* self, int code);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);
    static void onPublish(mosquitto*, void* self, int id);
    void connectFirst();  // the starter thread's: until the first attempt is under way, or stopped
    void publish(const std::string& topic, const std::string& payload, bool retained);
    void named(const std::string& sender, std::string_view why, Output& out);

    const TeamSettings settings_;
    const std::string prefix_;  // "stintkeeper/<name>/"
    mosquitto* client_ = nullptr;
    bool looping_ = false;
    Inbox<Event> inbox_{256};
    std::thread starter_;
    std::mutex starterMutex_;
    std::condition_variable starterWake_;
    bool stopping_ = false;           // under starterMutex_
    std::atomic<int> unsent_{0};      // published, not yet written out: what waits is bounded
    // The loop's own:
    bool connected_ = false;
    bool lostNamed_ = false;
    std::string state_;    // the latest report and history, published again at every connect
    std::string history_;
    std::set<std::string> namedSenders_;
};
