// The page of the real program over real sockets: each kind of request, hostile ones among them, is
// answered or dropped while the program keeps answering the game, and ends on time with every stream open.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "standin/http_client.h"
#include "support/hosted_run.h"

using standin::HttpConnection;

TEST(WebServer, EveryRequestAnsweredAndTheGameNeverKeptWaiting) {
    const std::uint16_t port = standin::freePort(false);
    HostedRun run("<Web port=\"" + std::to_string(port) + "\"/>");
    ASSERT_TRUE(run.connect());
    EXPECT_EQ(run.sent(), bytes({4, 3, 2, 13, 4, 3, 2, 14}));  // the connections and players asked for
    std::mt19937 random(36);
    std::string noise(4000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const struct {
        const char* what;
        std::string request;
        std::string answer;  // its start; "" for a connection closed without one
    } cases[] = {
        {"the state", "GET /state HTTP/1.1\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"},
        {"the page's head", "HEAD / HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"},
        {"a change asked for", "POST /state HTTP/1.1\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 405 Method Not Allowed\r\n"},
        {"a file above it", "GET /../../etc/passwd HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n"},
        {"the log, off", "GET /race.csv HTTP/1.1\r\n\r\n", "HTTP/1.1 404 Not Found\r\n"},
        {"an endless header", "GET /state HTTP/1.1\r\nX: " + std::string(9000, 'x'), ""},
        {"bytes at random", noise, ""},
    };
    for (const auto& c : cases) {
        HttpConnection connection(port);
        connection.send(c.request);
        const std::string answer = connection.readAll(3000);
        EXPECT_EQ(answer.substr(0, c.answer.size()), c.answer) << c.what;
        EXPECT_TRUE(!c.answer.empty() || answer.find("200 OK") == std::string::npos) << c.what;
        EXPECT_EQ(run.sent(), "") << c.what;  // the keep-alive answered at once, nothing before it
    }
    EXPECT_NE(standin::httpGet(port, "/state").find(R"("link":{"insim":"connected","version":5})"), std::string::npos);

    {  // a client that sends a byte a second, and 100 that connect at once and say nothing
        HttpConnection slow(port);
        std::vector<std::unique_ptr<HttpConnection>> crowd;
        for (int k = 0; k < 100; ++k) crowd.push_back(std::make_unique<HttpConnection>(port));
        for (const char c : std::string("GET /")) {
            slow.send(std::string(1, c));
            EXPECT_EQ(run.sent(), "");
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }

    // Sixteen streams, each with the state at once; the seventeenth client is turned away.
    std::vector<std::unique_ptr<HttpConnection>> streams;
    for (int k = 0; k < 16; ++k) {
        streams.push_back(std::make_unique<HttpConnection>(port));
        streams.back()->send("GET /events HTTP/1.1\r\n\r\n");
        EXPECT_TRUE(streams.back()->nextEvent(5000)) << k;
    }
    EXPECT_EQ(standin::httpGet(port, "/state").substr(0, 33), "HTTP/1.1 503 Service Unavailable\r");
    run.host.closeClient();
    EXPECT_EQ(run.program.wait(1000), 0);
}
