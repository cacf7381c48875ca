// The page's HTTP server: civetweb on threads of its own, serving the page, the latest snapshot as JSON,
// a stream of it and the race log, from what the loop published; it never reaches into the loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "publish/latest_snapshot.h"
#include "publish/web_settings.h"

struct mg_context;
struct mg_connection;

class WebServer {
public:
    static constexpr int kMostClients = 16;  // requests served at once; the next is answered 503

    // Listens as the settings ask; nothing, and why in `error`, when it cannot.
    static std::unique_ptr<WebServer> start(const WebSettings& settings, std::shared_ptr<LatestSnapshot> latest,
                                            std::string& error);
    // Ends every stream and stops the threads.
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

private:
    WebServer(const WebSettings& settings, std::shared_ptr<LatestSnapshot> latest);
    static int onRequest(mg_connection* connection);
    void answer(mg_connection* connection);
    void stream(mg_connection* connection);
    // The JSON of a snapshot, written once for every client that sends it.
    std::shared_ptr<const std::string> jsonOf(const LatestSnapshot::Seen& seen);

    std::string key_;
    std::shared_ptr<LatestSnapshot> latest_;
    std::string wakeAddress_;  // where a connection of our own reaches the listener
    int port_;
    mg_context* context_ = nullptr;
    std::atomic<int> clients_{0};
    std::mutex jsonMutex_;
    std::uint64_t jsonGeneration_ = 0;
    std::shared_ptr<const std::string> json_;
};
