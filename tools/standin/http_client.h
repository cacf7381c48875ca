// A plain HTTP client on loopback for the tests and the benchmark of the page: raw requests as written,
// whole answers, and a Server-Sent Events stream read event by event.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// A TCP connection to 127.0.0.1; closed with the object.
class HttpConnection {
public:
    explicit HttpConnection(std::uint16_t port);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(std::string_view bytes);
    // What comes until the server closes, or `timeoutMs` passes without a byte.
    std::string readAll(int timeoutMs);
    // The data of the next `event: state` of a stream, comments passed over; nothing when none comes in time.
    std::optional<std::string> nextEvent(int timeoutMs);

private:
    int fd_ = -1;
    std::string buffer_;
};

// GET `path` (the whole answer, headers and all); "" when no answer came.
std::string httpGet(std::uint16_t port, std::string_view path, int timeoutMs = 5000);

}  // namespace standin
