// Vetting the settings file before the XML parser sees it: the file read (at most 1 MiB), wide text
// narrowed as the parser would, and the document cut at the first construct the parser would misread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The file's first MiB; nothing when it is missing (then `missing` is set) or cannot be read. Read in
// pieces: a file of a few hundred bytes costs a few hundred bytes, not a zeroed megabyte.
std::optional<std::string> loadSettingsFile(const char* path, bool& missing);

// irrXML reads a text that opens with a UTF-16 or UTF-32 byte order mark as one byte per character,
// the low byte of each. Doing it before the parser keeps it out of its own conversion, which leaves a
// UTF-32 text unterminated when its length is not a whole number of characters.
std::string narrowWideText(const std::string& raw);

// What the parser is given, and where each element and the first fault stand in the file.
struct VettedSettings {
    std::string_view document;              // from the first tag up to the first fault
    std::size_t faultLine = 0;              // the line of the construct where reading stops; 0: none
    std::vector<std::size_t> elementLines;  // the line of every element tag, in the parser's order
};

// The part of the document the parser is given: from its first tag up to the first construct that
// is cut off or not written as the settings file writes its tags (name="value" pairs). irrXML runs
// past the end of its buffer on such a construct and can hand out a cut-off element under the name
// of the one before, so it never sees one; what comes before the fault is read, everything after it
// keeps its default. A NUL ends the document, as it does for the parser.
VettedSettings vetSettings(std::string_view text);
