// Debian's mosquitto on free loopback ports for the team link's tests: a password file with the members'
// accounts, and a TLS listener whose certificates the test makes with openssl. Stopped and started at will.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mosquitto.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "standin/loopback.h"
#include "support/files.h"

// Something accepts TCP connections on the loopback port.
inline bool listening(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = standin::loopback(port);
    const bool accepted = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

struct Broker {
    TempDir dir{"broker"};
    std::uint16_t port = standin::freePort(false);
    std::uint16_t tlsPort = standin::freePort(false);
    pid_t pid = -1;

    Broker() {
        const std::string d = dir.path.string();
        const std::string quiet = " >/dev/null 2>&1";
        const std::string made = "mosquitto_passwd -b -c " + d + "/passwd alice alice-pw" + quiet + " && mosquitto_passwd -b " + d +
                                 "/passwd bob bob-pw" + quiet + " && cd " + d +
                                 " && openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost"
                                 " -keyout key.pem -out cert.pem" + quiet;
        if (std::system(made.c_str()) != 0) ADD_FAILURE() << "no password file or certificate made";
        // As root mosquitto drops to its own user, which may not read the test's directory.
        std::ofstream(dir.path / "mosquitto.conf")
            << (::geteuid() == 0 ? "user root\n" : "") << "log_dest none\nper_listener_settings false\nallow_anonymous false\n"
            << "password_file " << d << "/passwd\nlistener " << port << " 127.0.0.1\nlistener " << tlsPort
            << " 127.0.0.1\ncertfile " << d << "/cert.pem\nkeyfile " << d << "/key.pem\n";
        start();
    }
    ~Broker() { stop(); }

    // Back on the same ports, every retained message forgotten (no persistence); true once it listens.
    bool start() {
        pid = ::fork();
        if (pid == 0) {
            const int quiet = ::open("/dev/null", O_WRONLY);  // its start-up lines, a warning as root among them
            ::dup2(quiet, 1);
            ::dup2(quiet, 2);
            const std::string conf = (dir.path / "mosquitto.conf").string();
            ::execlp("mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int waited = 0; waited < 50; ++waited) {
            if (listening(port)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    void stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    // As member bob, through libmosquitto: publishes the payloads on the team's `topic` and waits for the broker to
    // take them; with none, the payload the broker keeps on it (empty when none comes within 5 s).
    std::string client(const std::string& topic, const std::vector<std::string>& payloads = {}) const {
        struct Seen {
            std::string payload;
            std::size_t taken = 0;
        } seen;
        mosquitto_lib_init();
        mosquitto* client = mosquitto_new(nullptr, true, &seen);
        mosquitto_username_pw_set(client, "bob", "bob-pw");
        mosquitto_message_callback_set(client, [](mosquitto*, void* seen, const mosquitto_message* message) {
            static_cast<Seen*>(seen)->payload.assign(static_cast<const char*>(message->payload), message->payloadlen);
        });
        mosquitto_publish_callback_set(client, [](mosquitto*, void* seen, int) { ++static_cast<Seen*>(seen)->taken; });
        const std::string full = "stintkeeper/blue/" + topic;
        if (mosquitto_connect(client, "127.0.0.1", port, 10) == MOSQ_ERR_SUCCESS) {
            for (const std::string& payload : payloads)
                mosquitto_publish(client, nullptr, full.c_str(), static_cast<int>(payload.size()), payload.data(), 1, false);
            if (payloads.empty()) mosquitto_subscribe(client, nullptr, full.c_str(), 0);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while ((payloads.empty() ? seen.payload.empty() : seen.taken < payloads.size()) && std::chrono::steady_clock::now() < deadline)
                mosquitto_loop(client, 100, 1);
            mosquitto_disconnect(client);
        }
        mosquitto_destroy(client);
        mosquitto_lib_cleanup();
        return seen.payload;
    }
    // A <Team> element for this broker, as member `user`.
    std::string team(const std::string& user, const std::string& password, bool tls = false) const {
        return "<Team name=\"blue\" broker=\"localhost\" port=\"" + std::to_string(tls ? tlsPort : port) + "\" user=\"" + user +
               "\" password=\"" + password + "\"" + (tls ? " tls=\"1\" cafile=\"" + (dir.path / "cert.pem").string() + "\"" : "") +
               "/>";
    }
};
