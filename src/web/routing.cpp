// The page's routing, query and key: what a request gets, decided before the library writes a byte.
#include "web/routing.h"

#include <algorithm>
#include <cstddef>

#include "web/page.h"

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] != '%') {
            out += text[i];
        } else {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return out;
}

}  // namespace

std::optional<std::string> queryValue(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t end = std::min(query.find('&'), query.size());
        const std::string_view pair = query.substr(0, end);
        query.remove_prefix(end == query.size() ? end : end + 1);
        const std::size_t equals = pair.find('=');
        if (pair.substr(0, equals) != name) continue;
        return equals == std::string_view::npos ? std::optional<std::string>("") : percentDecoded(pair.substr(equals + 1));
    }
    return std::nullopt;
}

bool sameKey(std::string_view given, std::string_view key) {
    // Every byte of the key is looked at whatever the given one holds, so the time says nothing of how
    // much of it was right.
    unsigned difference = given.size() == key.size() ? 0u : 1u;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char mine = key[i];
        const char theirs = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(mine ^ theirs);
    }
    return difference == 0;
}

Decision decide(std::string_view method, std::string_view path, std::string_view query, std::string_view key) {
    if (method != "GET" && method != "HEAD") return {405, std::nullopt};
    if (!key.empty()) {
        const std::optional<std::string> given = queryValue(query, "key");
        if (!given || !sameKey(*given, key)) return {401, std::nullopt};
    }
    if (embeddedFile(path) != nullptr) return {200, Resource::Page};
    if (path == "/state") return {200, Resource::State};
    if (path == "/events") return {200, Resource::Events};
    if (path == "/race.csv") return {200, Resource::RaceLog};
    return {404, std::nullopt};
}
