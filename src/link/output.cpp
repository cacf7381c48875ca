// Console number formatting shared by every handler, and diagnostics on standard error.
// Numbers match what an iostream writes for a float or double in its default state.
#include "link/output.h"

#include <charconv>
#include <cstdio>

void Output::diagnostic(std::string_view text) {
    std::string line = "stintkeeper: ";
    line.append(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void appendValue(std::string& out, double value) {
    // General form, six significant digits: the same text as printf's %g, without the locale lookup.
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6);
    out.append(digits, result.ptr);
}

void appendValue(std::string& out, float value) { appendValue(out, static_cast<double>(value)); }
