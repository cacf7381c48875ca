// What the page's server answers a request with, decided from its method, path and query alone: the
// routing, the query's key and its comparison in constant time. No library and no socket here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class Resource { Page, State, Events, RaceLog };

struct Decision {
    int status = 200;                   // 200, or 401, 404, 405
    std::optional<Resource> resource;   // with 200
};

// GET and HEAD only (405); with a key set, a query's `key` equal to it (401, the same for a missing one);
// then the page's files (/ its index.html), /state, /events and /race.csv (404 for any other path).
Decision decide(std::string_view method, std::string_view path, std::string_view query, std::string_view key);

// The value of `name` in a query string ("a=1&key=x"), percent-decoded, '+' read as a space; nothing
// when it is not there or not written right.
std::optional<std::string> queryValue(std::string_view query, std::string_view name);

// Whether `given` equals `key`, in a time that depends only on their lengths.
bool sameKey(std::string_view given, std::string_view key);
