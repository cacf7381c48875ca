// Reading cfg.xml into the settings record with the irrXML pull reader, naming ordinary mistakes.
// The only file that sees irrXML; the file is vetted first, so a damaged one cannot lead the parser astray.
#include <irrXML.h>
#ifdef STINTKEEPER_IRRXML_STATIC
#include <irrString.h>
#endif

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "app/config.h"
#include "app/settings_vetting.h"

#ifdef STINTKEEPER_IRRXML_STATIC
// The reader's number parsing reads this global, which the engine defines in its main file. Linked from
// the static archive the reader comes without that file and the engine it would start, so it is here.
namespace irr::core {
stringc LOCALE_DECIMAL_POINTS(".");
}  // namespace irr::core
#endif

namespace {

struct ReaderDeleter {
    void operator()(irr::io::IrrXMLReader* reader) const { delete reader; }
};

// Feeds the vetted text to irrXML, which adds its own terminating zeros.
class MemoryFile final : public irr::io::IFileReadCallBack {
public:
    explicit MemoryFile(std::string_view text) : text_(text) {}
    int read(void* buffer, int sizeToRead) override {
        const std::size_t wanted = sizeToRead > 0 ? static_cast<std::size_t>(sizeToRead) : 0;
        const std::size_t size = std::min(wanted, text_.size() - offset_);
        std::memcpy(buffer, text_.data() + offset_, size);
        offset_ += size;
        return static_cast<int>(size);
    }
    long getSize() const override { return static_cast<long>(text_.size()); }

private:
    std::string_view text_;
    std::size_t offset_ = 0;
};

std::string textAttribute(const irr::io::IrrXMLReader& reader, const char* name) {
    const char* value = reader.getAttributeValue(name);
    return value ? std::string(value) : std::string();  // absent: empty
}

// Whole seconds to milliseconds, held to the field's range instead of wrapping: a huge time-out
// stays the longest one, a negative one stays negative.
std::int32_t secondsToMs(long long seconds) {
    const std::int64_t ms = static_cast<std::int64_t>(std::clamp<long long>(seconds, -3000000000LL, 3000000000LL)) * 1000;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(ms, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// A value written as a whole number: an optional minus and digits, nothing else.
std::optional<long long> wholeNumber(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<double> decimalNumber(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// Four numbers from 0 to 255 joined by dots, as 192.168.1.20.
bool ipv4Address(std::string_view text) {
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text[0] != '.') return false;
            text.remove_prefix(1);
        }
        const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
        if (digits == 0 || digits > 3 || std::stoi(std::string(text.substr(0, digits))) > 255) return false;
        text.remove_prefix(digits);
    }
    return text.empty();
}

// Every setting: its element and the attributes it reads, separated by blanks.
struct Setting {
    std::string_view element;
    std::string_view attributes;
};
constexpr Setting kSettings[] = {
    {"InSim", "port version reconnect"},
    {"OutGauge", "port interval"},
    {"Password", "value"},
    {"BoardTimeOut", "value"},
    {"LFSExec", "location start InvokeInSim"},
    {"Fuel", "average reserve fill racing level topUp longAverage round stopSeconds"},
    {"Pit", "guard"},
    {"Race", "long join"},
    {"Log", "dir"},
    {"Plan", "stints"},
    {"Web", "port bind key"},
    {"Team", "name broker port user password tls cafile"},
};

std::vector<std::string_view> words(std::string_view text) {
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

// "a, b and c"
std::string listed(const std::vector<std::string_view>& names) {
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        out += i == 0 ? "" : i + 1 == names.size() ? " and " : ", ";
        out += names[i];
    }
    return out;
}

// Letters to change, add or drop to turn one name into the other, case aside.
std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                              std::tolower(static_cast<unsigned char>(b[j - 1]));
            const std::size_t next = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
            diagonal = row[j];
            row[j] = next;
        }
    }
    return row[b.size()];
}

// Whether `name` shortens `candidate`: three letters or more of it, in its order, from its first (case
// aside), as "ver" does "version" and "avg" "average".
bool abbreviates(std::string_view name, std::string_view candidate) {
    const auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    if (name.size() < 3 || name.size() >= candidate.size() || !same(name[0], candidate[0])) return false;
    std::size_t at = 0;
    for (const char c : candidate) {
        if (at < name.size() && same(name[at], c)) ++at;
    }
    return at == name.size();
}

// The name among `names` that `name` is most likely a mistyping of: one or two letters to change, add
// or drop, case aside, or a shortening of it; nothing when none is that near.
std::optional<std::string_view> nearestOf(std::string_view name, const std::vector<std::string_view>& names) {
    std::optional<std::string_view> nearest;
    std::size_t distance = 3;  // a name this far off is not taken for a typing mistake
    for (const std::string_view candidate : names) {
        const std::size_t d = editDistance(name, candidate);
        if (d < distance) {
            nearest = candidate;
            distance = d;
        }
    }
    if (nearest) return nearest;
    for (const std::string_view candidate : names) {
        if (abbreviates(name, candidate)) return candidate;
    }
    return std::nullopt;
}

// Reads the elements of one file into the settings and names what looks like a mistake.
class SettingsReader {
public:
    SettingsReader(const irr::io::IrrXMLReader& reader, std::string fileName, Config& config, Output& console)
        : reader_(reader), fileName_(std::move(fileName)), config_(config), console_(console) {}

    // `index` counts the elements in document order; the first is the root, whose name is free.
    void element(std::size_t index, std::size_t line) {
        const char* name = reader_.getNodeName();
        if (name == nullptr) return;
        where_ = fileName_ + (line != 0 ? " line " + std::to_string(line) : std::string()) + ": ";
        const std::string_view element = name;
        element_ = element;
        for (const Setting& setting : kSettings) {
            if (setting.element != element) continue;
            checkAttributes(words(setting.attributes));
            noteOccurrence(setting.element);
        }
        if (element == "InSim") {
            config_.insimPort = port("InSim");
            printLine(console_, "Read InSim Port: ", config_.insimPort);
            config_.insimVersion = insimVersion();
            config_.reconnect = bounded("reconnect", LLONG_MIN, LLONG_MAX, 0LL, "a whole number", "it counts as off") != 0;
        } else if (element == "OutGauge") {
            config_.outGaugePort = port("OutGauge");
            config_.outGaugeIntervalMs = outGaugeInterval();
        } else if (element == "Password") {
            config_.password = textAttribute(reader_, "value");
            if (config_.password.size() > kPasswordLength) {
                diagnose(console_, where_, "Password value is ", config_.password.size(),
                         " characters long: only its first ", kPasswordLength, " are sent");
            }
        } else if (element == "BoardTimeOut") {
            config_.boardTimeOutMs = secondsToMs(boardTimeOut());
        } else if (element == "LFSExec") {
            config_.lfsLocation = textAttribute(reader_, "location");
            const std::string& location = config_.lfsLocation;
            if (!location.empty() && location.back() != '/' && location.back() != '\\') {
                diagnose(console_, where_, "LFSExec location \"", location, "\" does not end in / or \\: the program "
                         "started would be ", location, "LFS.exe");
            }
            config_.startLfs = legacyNumber("LFSExec", "start") != 0;
            config_.invokeInSim = reader_.getAttributeValue("InvokeInSim") != nullptr;
            launchLine_ = where_;
        } else if (element == "Fuel") {
            config_.fuel = fuel();
        } else if (element == "Pit") {
            config_.pitGuard = bounded("guard", std::numeric_limits<long long>::min(),
                                       std::numeric_limits<long long>::max(), 0LL, "a whole number",
                                       "the guard is off") != 0;
            guardLine_ = where_;
        } else if (element == "Race") {
            config_.longRaces = bounded("long", LLONG_MIN, LLONG_MAX, 0LL, "a whole number", "it counts as off") != 0;
            config_.join = bounded("join", LLONG_MIN, LLONG_MAX, 0LL, "a whole number", "it counts as off") != 0;
        } else if (element == "Log") {
            config_.logDirectory = logDirectory();
        } else if (element == "Plan") {
            config_.stints = stints();
        } else if (element == "Web") {
            config_.web = web();
        } else if (element == "Team") {
            config_.team = team();
        } else if (index != 0 && (reader_.getAttributeCount() > 0 || reader_.isEmptyElement())) {
            unknown(element);  // a wrapper around settings, with no attributes of its own, is no mistake
        }
    }

    // What only the whole file shows: a launch asked for by half, a guard without the version it needs.
    void finish() {
        // A later element of a name replaces what an earlier one set, its missing attributes included.
        for (const Occurrences& seen : occurrences_) {
            if (seen.count < 2) continue;
            diagnose(console_, seen.lastWhere, "<", seen.element, "> appears more than once: only this last one's "
                     "settings stand, and an attribute it leaves out takes its default");
        }
        if (!launchLine_.empty() && config_.startLfs != config_.invokeInSim) {
            diagnose(console_, launchLine_,
                     config_.startLfs ? "LFSExec has start but no InvokeInSim: the simulator is not started"
                                      : "LFSExec has InvokeInSim but its start is 0 or missing: the simulator is not started");
        }
        if (config_.pitGuard && config_.insimVersion < kPitGuardVersion) {
            diagnose(console_, guardLine_, "Pit guard needs InSim version 8 or later (version=\"8\" on InSim): it is off");
            config_.pitGuard = false;
        }
    }

private:
    void noteOccurrence(std::string_view element) {
        auto seen = std::find_if(occurrences_.begin(), occurrences_.end(),
                                 [&](const Occurrences& known) { return known.element == element; });
        if (seen == occurrences_.end()) seen = occurrences_.insert(seen, Occurrences{element, 0, {}});
        ++seen->count;
        seen->lastWhere = where_;
    }

    // A number the settings have always read as irrXML reads it; one not written as a whole number
    // is named with the value it reads as.
    int legacyNumber(const char* element, const char* attribute, const std::string& consequence = "") {
        const int value = reader_.getAttributeValueAsInt(attribute);
        const char* text = reader_.getAttributeValue(attribute);
        if (text != nullptr && !wholeNumber(text)) {
            diagnose(console_, where_, element, " ", attribute, " \"", text, "\" is not a whole number: it reads as ", value,
                     value == 0 ? consequence : "");
        }
        return value;
    }

    int port(const char* element) {
        const std::int32_t fallback = std::string_view(element) == "InSim" ? kDefaultInSimPort : kDefaultOutGaugePort;
        const std::string usesDefault = ", so port " + std::to_string(fallback) + " is used";
        const int value = legacyNumber(element, "port", usesDefault);
        if (value != 0 && (value < 1 || value > 65535)) {
            diagnose(console_, where_, element, " port ", value, " is outside 1 to 65535: port ",
                     static_cast<std::uint16_t>(value), " is used");
        }
        return value;
    }

    int boardTimeOut() {
        const std::string usesDefault = ", so " + std::to_string(kDefaultBoardTimeOutMs / 1000) + " seconds are used";
        const int seconds = legacyNumber("BoardTimeOut", "value", usesDefault);
        const char* text = reader_.getAttributeValue("value");
        const std::optional<long long> written = text != nullptr ? wholeNumber(text) : std::nullopt;
        if (written && secondsToMs(*written) / 1000 != *written) {
            diagnose(console_, where_, "BoardTimeOut value ", *written, " is beyond what a time-out in milliseconds "
                     "holds: ", secondsToMs(*written) / 1000, " seconds are used");
        }
        if (seconds < 0) {
            diagnose(console_, where_, "BoardTimeOut value ", seconds,
                     " is negative: each board is cleared at the next OutGauge datagram");
        }
        return seconds;
    }

    int insimVersion() {
        // 0 asks for no version, as when the attribute is absent.
        const char* text = reader_.getAttributeValue("version");
        if (text != nullptr && wholeNumber(text) == 0) return 0;
        return static_cast<int>(bounded("version", 5LL, 10LL, 0LL, "a version from 5 to 10",
                                        "it is left out, and only InSim version 5 is accepted"));
    }

    std::uint32_t outGaugeInterval() {
        return static_cast<std::uint32_t>(bounded("interval", 1LL, static_cast<long long>(std::numeric_limits<std::uint32_t>::max()),
                                                  static_cast<long long>(kDefaultOutGaugeIntervalMs),
                                                  "a whole number of milliseconds from 1 on"));
    }

    FuelSettings fuel() {
        FuelSettings fuel;
        fuel.average = static_cast<int>(bounded("average", 1LL, 9LL, 1LL, "a whole number of laps from 1 to 9"));
        fuel.reserve = static_cast<float>(bounded("reserve", 0.0, 5.0, 0.0, "a number of laps from 0 to 5"));
        fuel.toFinish = choice("fill", {"laps", "finish"}) == 1;
        fuel.racing = static_cast<float>(bounded("racing", 1.01, 3.0, 0.0, "a pace ratio from 1.01 to 3",
                                                 "every valid lap counts"));
        fuel.level = static_cast<LevelSource>(choice("level", {"gauge", "line", "both"}));
        fuel.topUp = bounded("topUp", 0LL, 1LL, 0LL, "0 or 1") == 1;
        fuel.longAverage = static_cast<int>(bounded("longAverage", 10LL, 99LL, 0LL, "a whole number of laps from 10 to 99",
                                                    "average is used"));
        fuel.roundNearest = choice("round", {"up", "nearest"}) == 1;
        fuel.stopSeconds = static_cast<float>(bounded("stopSeconds", 1.0, 600.0, 0.0, "a number of seconds from 1 to 600",
                                                      "no time is taken off"));
        return fuel;
    }

    // The stint plan's stints; a missing or unknown word leaves the plan off, and is named.
    Stints stints() {
        const char* text = reader_.getAttributeValue("stints");
        const std::string_view word = text != nullptr ? text : "";
        if (word == "even") return Stints::Even;
        if (word == "full") return Stints::Full;
        if (text == nullptr) diagnose(console_, where_, "Plan has no stints: the plan is off");
        else diagnose(console_, where_, "Plan stints \"", word, "\" is neither even nor full: the plan is off");
        return Stints::Off;
    }

    // The page: each setting that cannot stand is named and leaves it off, rather than serving it otherwise
    // than asked. The key is never written out.
    WebSettings web() {
        WebSettings web;
        web.on = true;
        if (const char* text = reader_.getAttributeValue("port")) {
            const std::optional<long long> port = wholeNumber(text);
            if (port && *port >= 1 && *port <= 65535) {
                web.port = static_cast<std::uint16_t>(*port);
            } else {
                diagnose(console_, where_, "Web port \"", text, "\" is not a port from 1 to 65535: the page is off");
                web.on = false;
            }
        }
        if (const char* text = reader_.getAttributeValue("bind")) {
            if (ipv4Address(text)) {
                web.bind = text;
            } else {
                diagnose(console_, where_, "Web bind \"", text, "\" is not an IPv4 address such as 127.0.0.1 or 0.0.0.0: "
                         "the page is off");
                web.on = false;
            }
        }
        web.key = textAttribute(reader_, "key");
        if (web.on && web.bind.rfind("127.", 0) != 0 && web.key.size() < kWebKeyLength) {
            diagnose(console_, where_, "Web bind \"", web.bind, "\" serves the page beyond this machine, which needs a key of ",
                     kWebKeyLength, " characters or more: the page is off");
            web.on = false;
        }
        return web;
    }

    // The team link: every value must be usable, else the link stays off (a half-right login would only
    // fail later, on the broker's side); the password is never part of a message.
    TeamSettings team() {
        TeamSettings team;
        team.name = textAttribute(reader_, "name");
        team.broker = textAttribute(reader_, "broker");
        team.user = textAttribute(reader_, "user");
        team.password = textAttribute(reader_, "password");
        team.cafile = textAttribute(reader_, "cafile");
        const char* tls = reader_.getAttributeValue("tls");
        const char* port = reader_.getAttributeValue("port");
        const std::optional<long long> tlsValue = tls != nullptr ? wholeNumber(tls) : 0LL;
        team.tls = tlsValue == 1LL;
        const std::optional<long long> portValue =
            port != nullptr ? wholeNumber(port) : team.tls ? kTeamTlsPort : kTeamPort;
        const std::string off = ": the team link is off";
        if (team.name.empty()) {
            diagnose(console_, where_, "Team has no name", off);
        } else if (team.name.find_first_of("/+#") != std::string::npos) {
            diagnose(console_, where_, "Team name \"", team.name, "\" holds /, + or #, which a topic cannot", off);
        } else if (team.broker.empty()) {
            diagnose(console_, where_, "Team has no broker", off);
        } else if (tlsValue != 0LL && tlsValue != 1LL) {
            diagnose(console_, where_, "Team tls \"", tls, "\" is not 0 or 1", off);
        } else if (!portValue || *portValue < 1 || *portValue > 65535) {
            diagnose(console_, where_, "Team port \"", port, "\" is not a port from 1 to 65535", off);
        } else {
            team.port = static_cast<std::uint16_t>(*portValue);
            return team;
        }
        return {};
    }

    // The directory of the race logs, as written; without one there is no log, and that is named.
    std::string logDirectory() {
        std::string dir = textAttribute(reader_, "dir");
        if (dir.empty()) diagnose(console_, where_, "Log has no dir: no race log is written");
        return dir;
    }

    // An opt-in number: absent, `fallback` in silence. Written otherwise than as a number of the kind
    // asked for (whole for an integer type), or outside `low` to `high`: named with what is used
    // instead, `fallback` unless `instead` says otherwise.
    template <class Number>
    Number bounded(const char* attribute, Number low, Number high, Number fallback, const char* kind,
                   const std::string& instead = "") {
        const char* text = reader_.getAttributeValue(attribute);
        if (text == nullptr) return fallback;
        std::optional<Number> value;
        if constexpr (std::is_integral_v<Number>) value = wholeNumber(text);
        else value = decimalNumber(text);
        if (value && *value >= low && *value <= high) return *value;
        std::string used = instead;
        if (used.empty()) {
            appendValue(used, fallback);
            used += " is used";
        }
        diagnose(console_, where_, element_, " ", attribute, " \"", text, "\" is not ", kind, ": ", used);
        return fallback;
    }

    // An opt-in word among `words`: its index; absent or another word, 0, and another word is named.
    std::size_t choice(const char* attribute, std::initializer_list<const char*> words) {
        const char* text = reader_.getAttributeValue(attribute);
        if (text == nullptr) return 0;
        std::size_t index = 0;
        for (const char* word : words) {
            if (std::string_view(text) == word) return index;
            ++index;
        }
        std::string kind;
        index = 0;
        for (const char* word : words) {
            kind += index == 0 ? "" : index + 1 == words.size() ? " nor " : ", ";
            kind += word;
            ++index;
        }
        diagnose(console_, where_, element_, " ", attribute, " \"", text, "\" is neither ", kind, ": ",
                 *words.begin(), " is used");
        return 0;
    }

    void unknown(std::string_view element) {
        std::vector<std::string_view> elements;
        for (const Setting& setting : kSettings) elements.push_back(setting.element);
        if (const auto nearest = nearestOf(element, elements)) {
            diagnose(console_, where_, "<", element, "> is not a setting and is passed over; did you mean <", *nearest, ">?");
        } else {
            diagnose(console_, where_, "<", element, "> is not a setting and is passed over (the settings are ",
                     listed(elements), ")");
        }
    }

    // An attribute the element does not read: a mistyped one would otherwise leave its setting at its
    // default in silence.
    void checkAttributes(const std::vector<std::string_view>& attributes) {
        for (int i = 0; i < static_cast<int>(reader_.getAttributeCount()); ++i) {
            const char* name = reader_.getAttributeName(i);
            if (name == nullptr || std::find(attributes.begin(), attributes.end(), name) != attributes.end()) continue;
            if (const auto nearest = nearestOf(name, attributes)) {
                diagnose(console_, where_, "<", element_, "> has no attribute ", name,
                         ": it is passed over; did you mean ", *nearest, "?");
            } else {
                diagnose(console_, where_, "<", element_, "> has no attribute ", name, ": it is passed over (its "
                         "attributes are ", listed(attributes), ")");
            }
        }
    }

    const irr::io::IrrXMLReader& reader_;
    const std::string fileName_;
    Config& config_;
    Output& console_;
    std::string where_;       // "cfg.xml line N: " of the element being read
    std::string element_;     // and its name
    std::string launchLine_;  // where the last LFSExec stands; empty without one
    std::string guardLine_;   // where the last Pit stands
    struct Occurrences {      // of one setting element, in the order the names first appear
        std::string_view element;
        std::size_t count = 0;
        std::string lastWhere;
    };
    std::vector<Occurrences> occurrences_;
};

}  // namespace

void readConfigFile(const char* path, Config& config, Output& console) {
    const std::string_view pathText = path;
    const std::string fileName(pathText.substr(pathText.find_last_of('/') + 1));
    bool missing = false;
    const std::optional<std::string> loaded = loadSettingsFile(path, missing);
    if (!loaded) {
        diagnose(console, missing ? "no " + fileName + " in the working directory" : fileName + " cannot be read",
                 ": every setting takes its default");
        return;
    }
    const std::string content = narrowWideText(*loaded);
    const VettedSettings scanned = vetSettings(content);
    if (scanned.document.empty() && scanned.faultLine == 0) {
        diagnose(console, fileName, " holds no settings: every setting takes its default");
        return;
    }
    MemoryFile file(scanned.document);
    std::unique_ptr<irr::io::IrrXMLReader, ReaderDeleter> reader(irr::io::createIrrXMLReader(&file));
    if (reader) {
        SettingsReader settings(*reader, fileName, config, console);
        std::size_t elements = 0;
        while (reader->read()) {
            // End tags and text of the same name carry no settings.
            if (reader->getNodeType() != irr::io::EXN_ELEMENT) continue;
            const std::size_t line = elements < scanned.elementLines.size() ? scanned.elementLines[elements] : 0;
            settings.element(elements++, line);
        }
        settings.finish();
    }
    if (scanned.faultLine != 0) {
        diagnose(console, fileName, " line ", scanned.faultLine,
                 ": a tag is cut off or not written as name=\"value\" pairs; nothing from there on is read");
    }
}
