// Console number formatting shared by every handler.
// Matches what an iostream writes for a float or double in its default state.
#include "link/port.h"

#include <cstdio>

void appendValue(std::string& out, double value) {
    char digits[32];
    int length = std::snprintf(digits, sizeof digits, "%g", value);
    if (length > 0) out.append(digits, static_cast<std::size_t>(length));
}

void appendValue(std::string& out, float value) { appendValue(out, static_cast<double>(value)); }
