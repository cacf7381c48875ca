// The page's server on civetweb: every request goes through one callback, which decides with the routing
// and answers from the latest snapshot. No document root: nothing of the file system is served.
#include "web/server.h"

#include <civetweb.h>

#include <chrono>
#include <thread>
#include <string_view>

#include "publish/thread_priority.h"
#include "web/json.h"
#include "web/page.h"
#include "web/routing.h"

namespace {

constexpr auto kCommentEvery = std::chrono::seconds(10);  // a stream is never quiet for 15 s
constexpr const char* kThreads = "20";        // kMostClients, and a few to answer 503 beyond them
constexpr const char* kTimeoutMs = "2000";    // a read or write that cannot finish by then drops the client
constexpr const char* kMostRequestBytes = "8192";

const char* reasonOf(int status) {
    switch (status) {
    case 200: return "OK";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    default: return "Service Unavailable";
    }
}

bool isHead(const mg_connection* connection) { return std::string_view(mg_get_request_info(connection)->request_method) == "HEAD"; }

void respond(mg_connection* connection, int status, std::string_view type, std::string_view body) {
    mg_printf(connection,
              "HTTP/1.1 %d %s\r\nContent-Type: %.*s\r\nContent-Length: %zu\r\nCache-Control: no-store\r\n"
              "X-Content-Type-Options: nosniff\r\nConnection: close\r\n%s\r\n",
              status, reasonOf(status), static_cast<int>(type.size()), type.data(), body.size(),
              status == 405 ? "Allow: GET, HEAD\r\n" : "");
    if (!isHead(connection)) mg_write(connection, body.data(), body.size());
}

void respondStatus(mg_connection* connection, int status) {
    respond(connection, status, "text/plain; charset=utf-8", reasonOf(status));
}

bool sendEvent(mg_connection* connection, const std::string& json) {
    static constexpr std::string_view kHead = "event: state\ndata: ";
    return mg_write(connection, kHead.data(), kHead.size()) > 0 && mg_write(connection, json.data(), json.size()) > 0 &&
           mg_write(connection, "\n\n", 2) > 0;
}

// Civetweb's own messages would go to standard error: the program says what matters itself.
int quiet(const mg_connection*, const char*) { return 1; }

// An event woken on 16 streams at once must not take the cores from the game as its board comes in.
void* atIdlePriority(const mg_context*, int) {
    idlePriority();
    return nullptr;
}

}  // namespace

WebServer::WebServer(const WebSettings& settings, std::shared_ptr<LatestSnapshot> latest)
    : key_(settings.key),
      latest_(std::move(latest)),
      wakeAddress_(settings.bind == "0.0.0.0" ? "127.0.0.1" : settings.bind),
      port_(settings.port) {}

std::unique_ptr<WebServer> WebServer::start(const WebSettings& settings, std::shared_ptr<LatestSnapshot> latest,
                                            std::string& error) {
    std::unique_ptr<WebServer> server(new WebServer(settings, std::move(latest)));
    const std::string ports = settings.bind + ":" + std::to_string(settings.port);
    const char* options[] = {"listening_ports",  ports.c_str(), "num_threads",      kThreads,
                             "request_timeout_ms", kTimeoutMs,  "enable_keep_alive", "no",
                             "max_request_size", kMostRequestBytes, nullptr};
    mg_callbacks callbacks{};
    callbacks.begin_request = onRequest;
    callbacks.log_message = quiet;
    callbacks.init_thread = atIdlePriority;
    mg_init_data init{&callbacks, server.get(), options};
    char text[256] = "";
    mg_error_data failure{nullptr, text, sizeof text};
    server->context_ = mg_start2(&init, &failure);
    if (server->context_ == nullptr) {
        error = text[0] != '\0' ? text : "the server did not start";
        return nullptr;
    }
    return server;
}

WebServer::~WebServer() {
    latest_->close();  // the streams end at once
    if (context_ == nullptr) return;
    // Civetweb's listening thread sees the stop only when its wait for a connection ends, up to 2 s on:
    // a connection of our own ends it at once.
    std::atomic<bool> stopped{false};
    std::thread stopping([&] {
        mg_stop(context_);
        stopped = true;
    });
    char error[64];
    for (int tries = 0; !stopped && tries < 20; ++tries) {
        if (mg_connection* poke = mg_connect_client(wakeAddress_.c_str(), port_, 0, error, sizeof error)) {
            mg_close_connection(poke);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stopping.join();
}

int WebServer::onRequest(mg_connection* connection) {
    auto* server = static_cast<WebServer*>(mg_get_user_data(mg_get_context(connection)));
    if (server->clients_.fetch_add(1) >= kMostClients) {
        respondStatus(connection, 503);
    } else {
        server->answer(connection);
    }
    server->clients_.fetch_sub(1);
    return 1;  // answered: civetweb adds nothing
}

void WebServer::answer(mg_connection* connection) {
    const mg_request_info* request = mg_get_request_info(connection);
    const char* path = request->local_uri != nullptr ? request->local_uri : "";
    const char* query = request->query_string != nullptr ? request->query_string : "";
    const Decision decision = decide(request->request_method, path, query, key_);
    if (!decision.resource) return respondStatus(connection, decision.status);
    switch (*decision.resource) {
    case Resource::Page: {
        const EmbeddedFile* file = embeddedFile(path);
        return respond(connection, 200, file->contentType, file->bytes);
    }
    case Resource::State: {
        const std::shared_ptr<const std::string> json = jsonOf(latest_->latest());
        return respond(connection, 200, "application/json", *json);
    }
    case Resource::Events:
        return stream(connection);
    case Resource::RaceLog: {
        const LatestSnapshot::Seen seen = latest_->latest();
        if (!seen.snapshot || !seen.snapshot->raceLog) return respondStatus(connection, 404);
        std::string csv;
        for (const auto& piece : *seen.snapshot->raceLog) csv += *piece;
        return respond(connection, 200, "text/csv; charset=utf-8", csv);
    }
    }
}

void WebServer::stream(mg_connection* connection) {
    mg_printf(connection, "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
                          "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n");
    if (isHead(connection)) return;
    LatestSnapshot::Seen seen = latest_->latest();
    if (!sendEvent(connection, *jsonOf(seen))) return;
    while (!seen.closed) {
        const std::uint64_t sent = seen.generation;
        seen = latest_->waitNewer(sent, std::chrono::steady_clock::now() + kCommentEvery);
        // The newest only: the publications in between are never sent. The last one, published as the program
        // ends (the race's last board, the link lost), still goes before the stream ends.
        const bool newer = seen.generation != sent;
        if (newer && !sendEvent(connection, *jsonOf(seen))) return;
        if (!newer && !seen.closed && mg_write(connection, ":\n\n", 3) <= 0) return;
    }
}

std::shared_ptr<const std::string> WebServer::jsonOf(const LatestSnapshot::Seen& seen) {
    const std::lock_guard lock(jsonMutex_);
    if (!json_ || jsonGeneration_ != seen.generation) {
        json_ = std::make_shared<const std::string>(seen.snapshot ? snapshotJson(*seen.snapshot) : snapshotJson(RaceSnapshot{}));
        jsonGeneration_ = seen.generation;
    }
    return json_;
}
