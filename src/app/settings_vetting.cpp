// Vetting the settings file before the XML parser sees it: the file read (at most 1 MiB), wide text
// narrowed as the parser would, and the document cut at the first construct the parser would misread.
#include "app/settings_vetting.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/file_closer.h"

namespace {

// A settings file is a few hundred bytes; the cap keeps a wrong file from filling memory.
constexpr std::size_t kMaxFileBytes = std::size_t{1} << 20;
constexpr std::size_t kNone = std::string_view::npos;

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

}  // namespace

std::optional<std::string> loadSettingsFile(const char* path, bool& missing) {
    OwnedFile file(std::fopen(path, "rb"));
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

VettedSettings vetSettings(std::string_view text) {
    text = text.substr(0, text.find('\0'));  // the parser's end of document
    VettedSettings scanned;
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
