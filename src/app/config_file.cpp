// Reading cfg.xml into the settings record with the irrXML pull reader.
// The only file that sees irrXML; the file is vetted first, so a damaged one cannot lead the parser astray.
#include <irrXML.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

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

// The file's first kMaxFileBytes bytes; empty when it is missing or cannot be read.
// Read in pieces: a file of a few hundred bytes costs a few hundred bytes, not a zeroed megabyte.
std::string loadFile(const char* path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    std::string content;
    if (!file) return content;
    char piece[4096];
    while (content.size() < kMaxFileBytes) {
        const std::size_t wanted = std::min(sizeof piece, kMaxFileBytes - content.size());
        const std::size_t got = std::fread(piece, 1, wanted, file.get());
        if (got == 0) break;
        content.append(piece, got);
    }
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

// The part of the document the parser is given: from its first tag up to the first construct
// that is cut off or malformed. irrXML runs past the end of its buffer on such a construct and
// can hand out a cut-off element under the name of the one before, so it never sees one;
// what comes before the fault is read, everything after it keeps its default.
std::string_view readablePart(std::string_view text) {
    text = text.substr(0, text.find('\0'));  // the parser's end of document
    const std::size_t first = text.find('<');
    if (first == kNone) return {};
    std::size_t done = first;  // end of the last whole construct
    while (true) {
        const std::size_t open = text.find('<', done);
        if (open == kNone) return text.substr(first);
        const std::size_t end = endOfConstruct(text, open);
        if (end == kNone) return text.substr(first, open - first);
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

void readElement(const irr::io::IrrXMLReader& reader, Config& config, Port& console) {
    const char* name = reader.getNodeName();
    if (name == nullptr) return;
    if (std::strcmp(name, "InSim") == 0) {
        config.insimPort = reader.getAttributeValueAsInt("port");
        printLine(console, "Read InSim Port: ", config.insimPort);
    }
    if (std::strcmp(name, "OutGauge") == 0) config.outGaugePort = reader.getAttributeValueAsInt("port");
    if (std::strcmp(name, "Password") == 0) config.password = textAttribute(reader, "value");
    if (std::strcmp(name, "BoardTimeOut") == 0) {
        config.boardTimeOutMs = secondsToMs(reader.getAttributeValueAsInt("value"));
    }
    if (std::strcmp(name, "LFSExec") == 0) {
        config.lfsLocation = textAttribute(reader, "location");
        config.startLfs = reader.getAttributeValueAsInt("start") != 0;
        config.invokeInSim = reader.getAttributeValue("InvokeInSim") != nullptr;
    }
}

}  // namespace

void readConfigFile(const char* path, Config& config, Port& console) {
    const std::string content = narrowWideText(loadFile(path));
    const std::string_view document = readablePart(content);
    if (document.empty()) return;
    MemoryFile file(document);
    std::unique_ptr<irr::io::IrrXMLReader, ReaderDeleter> reader(irr::io::createIrrXMLReader(&file));
    if (!reader) return;
    while (reader->read()) {
        // End tags and text of the same name carry no settings.
        if (reader->getNodeType() == irr::io::EXN_ELEMENT) readElement(*reader, config, console);
    }
}
