// The page's client for tests and benchmarks: blocking sockets with poll for the time limits.
#include "standin/http_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "standin/loopback.h"

namespace standin {

HttpConnection::HttpConnection(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

HttpConnection::~HttpConnection() {
    if (fd_ >= 0) ::close(fd_);
}

bool HttpConnection::send(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return fd_ >= 0;
}

std::string HttpConnection::readAll(int timeoutMs) {
    std::string out = std::move(buffer_);
    buffer_.clear();
    pollfd watched{fd_, POLLIN, 0};
    char chunk[4096];
    while (fd_ >= 0 && ::poll(&watched, 1, timeoutMs) > 0) {
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) break;
        out.append(chunk, static_cast<std::size_t>(got));
    }
    return out;
}

std::optional<std::string> HttpConnection::nextEvent(int timeoutMs) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    static constexpr std::string_view kEvent = "event: state\ndata: ";
    for (;;) {
        const std::size_t at = buffer_.find(kEvent);
        const std::size_t end = at == std::string::npos ? at : buffer_.find("\n\n", at);
        if (end != std::string::npos) {
            std::string data = buffer_.substr(at + kEvent.size(), end - at - kEvent.size());
            buffer_.erase(0, end + 2);
            return data;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd watched{fd_, POLLIN, 0};
        if (fd_ < 0 || left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
        char chunk[16384];
        const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
        if (got <= 0) return std::nullopt;
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

std::string httpGet(std::uint16_t port, std::string_view path, int timeoutMs) {
    HttpConnection connection(port);
    connection.send("GET " + std::string(path) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    return connection.readAll(timeoutMs);
}

}  // namespace standin
