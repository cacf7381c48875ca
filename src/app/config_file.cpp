// Reading cfg.xml into the settings record with the irrXML pull reader, naming ordinary mistakes.
// The only file that sees irrXML; the file is vetted first, so a damaged one cannot lead the parser astray.
#include <irrXML.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/config.h"

namespace {

// A settings file is a few hundred bytes; the cap keeps a wrong file from filling memory.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
constexpr std::size_t kNone = std::string_view::npos;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct ReaderDeleter {
    void operator()(irr::io::IrrXMLReader* reader) const { delete reader; }
};

// The file's first kMaxFileBytes bytes; nothing when it is missing (then `missing` is set) or cannot
// be read. Read in pieces: a file of a few hundred bytes costs a few hundred bytes, not a zeroed megabyte.
std::optional<std::string> loadFile(const char* path, bool& missing) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    missing = !file && errno == ENOENT;
    if (!file) return std::nullopt;
    std::string content;
    char piece[4096];
    while (content.size() < kMaxFileBytes) {
        const std::size_t wanted = std::min(sizeof piece, kMaxFileBytes - content.size());
        const std::size_t got = std::fread(piece, 1, wanted, file.get());
        if (got == 0) break;
        content.append(piece, got);
    }
    if (std::ferror(file.get())) return std::nullopt;  // a directory, say
    return content;
}

// irrXML reads a text that opens with a UTF-16 or UTF-32 byte order mark as one byte per
// character, the low byte of each. Doing it here keeps the parser out of its own conversion,
// which leaves a UTF-32 text unterminated when its length is not a whole number of characters.
std::string narrowWideText(const std::string& raw) {
    struct Form {
        std::string_view mark;
        std::size_t unit;     // bytes per character
        std::size_t lowByte;  // where the character's low byte sits in its unit
    };
    static constexpr Form kForms[] = {  // UTF-32 first: its little-endian mark begins like UTF-16's
        {std::string_view("\x00\x00\xFE\xFF", 4), 4, 3},
        {std::string_view("\xFF\xFE\x00\x00", 4), 4, 0},
        {std::string_view("\xFE\xFF", 2), 2, 1},
        {std::string_view("\xFF\xFE", 2), 2, 0},
    };
    const std::string_view text(raw);
    for (const Form& form : kForms) {
        if (text.substr(0, form.mark.size()) != form.mark) continue;
        std::string narrow;
        for (std::size_t at = form.mark.size(); at + form.unit <= text.size(); at += form.unit) {
            narrow += text[at + form.lowByte];
        }
        return narrow;
    }
    return raw;
}

// White space as the parser knows it; names and attributes are set apart by these only.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isNameChar(char c) {
    return static_cast<unsigned char>(c) > ' ' && std::strchr("<>/=\"'", c) == nullptr;
}

std::size_t skipSpace(std::string_view text, std::size_t at) {
    while (at < text.size() && isSpace(text[at])) ++at;
    return at;
}

std::size_t skipName(std::string_view text, std::size_t at) {
    while (at < text.size() && isNameChar(text[at])) ++at;
    return at;
}

// An opening or empty-element tag whose name starts at `at`: name, then attributes written
// name="value" or name='value' each after white space, then ">" or "/>".
// The end of the tag, or kNone for anything else.
std::size_t endOfElementTag(std::string_view text, std::size_t at) {
    std::size_t end = skipName(text, at);
    if (end == at) return kNone;
    at = end;
    while (true) {
        const std::size_t afterPrevious = at;
        at = skipSpace(text, at);
        if (at == text.size()) return kNone;
        if (text[at] == '>') return at + 1;
        if (text[at] == '/') return at + 1 < text.size() && text[at + 1] == '>' ? at + 2 : kNone;
        if (at == afterPrevious) return kNone;
        end = skipName(text, at);
        if (end == at) return kNone;
        at = skipSpace(text, end);
        if (at == text.size() || text[at] != '=') return kNone;
        at = skipSpace(text, at + 1);
        if (at == text.size() || (text[at] != '"' && text[at] != '\'')) return kNone;
        const std::size_t close = text.find(text[at], at + 1);
        if (close == kNone) return kNone;
        at = close + 1;
    }
}

// irrXML ends a "<!" construct that is not CDATA where its '<' and '>' balance, counting from one
// deep just after the '!'. It then takes the comment text as that stretch less "--" at the front
// and "-->" at the back, and fails on a stretch shorter than those five characters ("<!>").
std::size_t endOfComment(std::string_view text, std::size_t at) {
    const std::size_t start = at;
    for (std::size_t depth = 1; at < text.size(); ++at) {
        if (text[at] == '<') ++depth;
        if (text[at] == '>' && --depth == 0) return at + 1 - start >= 5 ? at + 1 : kNone;
    }
    return kNone;
}

// End of the markup construct that opens with the '<' at `open`, or kNone when it is cut off or
// not written as the settings file writes its tags.
std::size_t endOfConstruct(std::string_view text, std::size_t open) {
    const std::size_t next = open + 1;
    if (next == text.size()) return kNone;
    switch (text[next]) {
        case '/':
        case '?': {  // end tag or declaration: up to the first '>'
            const std::size_t close = text.find('>', next);
            return close == kNone ? kNone : close + 1;
        }
        case '!': {
            if (next + 1 < text.size() && text[next + 1] == '[') {
                if (text.substr(open, 9) != "<![CDATA[") return kNone;
                const std::size_t close = text.find("]]>", open + 9);
                return close == kNone ? kNone : close + 3;
            }
            return endOfComment(text, next + 1);
        }
        default:
            return endOfElementTag(text, next);
    }
}

// What the parser is given, and where each element and the first fault stand in the file.
struct Scanned {
    std::string_view document;  // from the first tag up to the first fault
    std::size_t faultLine = 0;  // the line of the construct where reading stops; 0: none
    std::vector<std::size_t> elementLines;  // the line of every element tag, in the parser's order
};

// The part of the document the parser is given: from its first tag up to the first construct
// that is cut off or malformed. irrXML runs past the end of its buffer on such a construct and
// can hand out a cut-off element under the name of the one before, so it never sees one;
// what comes before the fault is read, everything after it keeps its default.
Scanned scan(std::string_view text) {
    text = text.substr(0, text.find('\0'));  // the parser's end of document
    Scanned scanned;
    const std::size_t first = text.find('<');
    if (first == kNone) return scanned;
    std::size_t done = first;  // end of the last whole construct
    std::size_t line = 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + first, '\n'));
    while (true) {
        const std::size_t open = text.find('<', done);
        if (open == kNone) {
            scanned.document = text.substr(first);
            return scanned;
        }
        line += static_cast<std::size_t>(std::count(text.begin() + done, text.begin() + open, '\n'));
        const std::size_t end = endOfConstruct(text, open);
        if (end == kNone) {
            scanned.document = text.substr(first, open - first);
            scanned.faultLine = line;
            return scanned;
        }
        if (std::strchr("/?!", text[open + 1]) == nullptr) scanned.elementLines.push_back(line);
        line += static_cast<std::size_t>(std::count(text.begin() + open, text.begin() + end, '\n'));
        done = end;
    }
}

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
std::int32_t secondsToMs(int seconds) {
    const std::int64_t ms = std::int64_t{seconds} * 1000;
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

constexpr const char* kSettings[] = {"InSim", "OutGauge", "Password", "BoardTimeOut", "LFSExec", "Fuel"};

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

// Reads the elements of one file into the settings and names what looks like a mistake.
class SettingsReader {
public:
    SettingsReader(const irr::io::IrrXMLReader& reader, std::string fileName, Config& config, Port& console)
        : reader_(reader), fileName_(std::move(fileName)), config_(config), console_(console) {}

    // `index` counts the elements in document order; the first is the root, whose name is free.
    void element(std::size_t index, std::size_t line) {
        const char* name = reader_.getNodeName();
        if (name == nullptr) return;
        where_ = fileName_ + (line != 0 ? " line " + std::to_string(line) : std::string()) + ": ";
        const std::string_view element = name;
        if (element == "InSim") {
            config_.insimPort = port("InSim");
            printLine(console_, "Read InSim Port: ", config_.insimPort);
            config_.insimVersion = insimVersion();
        } else if (element == "OutGauge") {
            config_.outGaugePort = port("OutGauge");
            config_.outGaugeIntervalMs = outGaugeInterval();
        } else if (element == "Password") {
            config_.password = textAttribute(reader_, "value");
        } else if (element == "BoardTimeOut") {
            config_.boardTimeOutMs = secondsToMs(boardTimeOut());
        } else if (element == "LFSExec") {
            config_.lfsLocation = textAttribute(reader_, "location");
            config_.startLfs = legacyNumber("LFSExec", "start") != 0;
            config_.invokeInSim = reader_.getAttributeValue("InvokeInSim") != nullptr;
            launchLine_ = where_;
        } else if (element == "Fuel") {
            config_.fuel = fuel();
        } else if (index != 0 && (reader_.getAttributeCount() > 0 || reader_.isEmptyElement())) {
            unknown(element);  // a wrapper around settings, with no attributes of its own, is no mistake
        }
    }

    // What only the whole file shows: a launch asked for by half.
    void finish() {
        if (launchLine_.empty() || config_.startLfs == config_.invokeInSim) return;
        diagnose(console_, launchLine_,
                 config_.startLfs ? "LFSExec has start but no InvokeInSim: the simulator is not started"
                                  : "LFSExec has InvokeInSim but its start is 0 or missing: the simulator is not started");
    }

private:
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
        if (seconds < 0) {
            diagnose(console_, where_, "BoardTimeOut value ", seconds,
                     " is negative: each board is cleared at the next OutGauge datagram");
        }
        return seconds;
    }

    int insimVersion() {
        const char* text = reader_.getAttributeValue("version");
        if (text == nullptr) return 0;
        const auto version = wholeNumber(text);
        if (version && (*version == 0 || (*version >= 5 && *version <= 8))) return static_cast<int>(*version);
        diagnose(console_, where_, "InSim version \"", text,
                 "\" is not a version from 5 to 8: it is left out, and only InSim version 5 is accepted");
        return 0;
    }

    std::uint32_t outGaugeInterval() {
        const char* text = reader_.getAttributeValue("interval");
        if (text == nullptr) return kDefaultOutGaugeIntervalMs;
        const auto interval = wholeNumber(text);
        if (interval && *interval >= 1 && *interval <= std::numeric_limits<std::uint32_t>::max()) {
            return static_cast<std::uint32_t>(*interval);
        }
        diagnose(console_, where_, "OutGauge interval \"", text, "\" is not a whole number of milliseconds from 1 on",
                 interval == 0 ? " (0 would stop OutGauge)" : "", ": ", kDefaultOutGaugeIntervalMs, " is used");
        return kDefaultOutGaugeIntervalMs;
    }

    FuelSettings fuel() {
        FuelSettings fuel;
        if (const char* text = reader_.getAttributeValue("average")) {
            const auto laps = wholeNumber(text);
            if (laps && *laps >= 1 && *laps <= 9) fuel.average = static_cast<int>(*laps);
            else diagnose(console_, where_, "Fuel average \"", text, "\" is not a whole number of laps from 1 to 9: 1 is used");
        }
        if (const char* text = reader_.getAttributeValue("reserve")) {
            const auto laps = decimalNumber(text);
            if (laps && *laps >= 0.0 && *laps <= 5.0) fuel.reserve = static_cast<float>(*laps);
            else diagnose(console_, where_, "Fuel reserve \"", text, "\" is not a number of laps from 0 to 5: 0 is used");
        }
        if (const char* text = reader_.getAttributeValue("fill")) {
            const std::string_view fill = text;
            if (fill == "finish" || fill == "laps") fuel.toFinish = fill == "finish";
            else diagnose(console_, where_, "Fuel fill \"", text, "\" is neither laps nor finish: laps is used");
        }
        return fuel;
    }

    void unknown(std::string_view element) {
        const char* nearest = nullptr;
        std::size_t distance = 3;  // a name this far off is not taken for a typing mistake
        for (const char* setting : kSettings) {
            const std::size_t d = editDistance(element, setting);
            if (d < distance) {
                nearest = setting;
                distance = d;
            }
        }
        if (nearest != nullptr) {
            diagnose(console_, where_, "<", element, "> is not a setting and is passed over; did you mean <", nearest, ">?");
        } else {
            diagnose(console_, where_, "<", element, "> is not a setting and is passed over (the settings are InSim, "
                     "OutGauge, Password, BoardTimeOut, LFSExec and Fuel)");
        }
    }

    const irr::io::IrrXMLReader& reader_;
    const std::string fileName_;
    Config& config_;
    Port& console_;
    std::string where_;       // "cfg.xml line N: " of the element being read
    std::string launchLine_;  // where the last LFSExec stands; empty without one
};

}  // namespace

void readConfigFile(const char* path, Config& config, Port& console) {
    const std::string_view pathText = path;
    const std::string fileName(pathText.substr(pathText.find_last_of('/') + 1));
    bool missing = false;
    const std::optional<std::string> loaded = loadFile(path, missing);
    if (!loaded) {
        diagnose(console, missing ? "no " + fileName + " in the working directory" : fileName + " cannot be read",
                 ": every setting takes its default");
        return;
    }
    const std::string content = narrowWideText(*loaded);
    const Scanned scanned = scan(content);
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
