// The program's output: InSim bytes sent and the unit of their Size bytes, console text on standard output,
// diagnostics on standard error. The connection backs it with the socket, stdout and stderr; tests with a recorder.
// Kept to C++17 so the settings reader, whose irrXML header predates C++20, can include it.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

// How the Size byte of an InSim packet counts its length, both ways: in bytes up to version 8, in fours
// from version 9 on. Every packet the program reads or sends is a whole number of fours long.
enum class SizeUnit : std::uint8_t { Bytes = 1, Fours = 4 };

// The Size byte of a packet `length` bytes long.
inline std::uint8_t sizeByte(std::size_t length, SizeUnit unit) {
    return static_cast<std::uint8_t>(length / static_cast<std::size_t>(unit));
}

class Output {
public:
    virtual ~Output() = default;
    virtual void send(const void* bytes, std::size_t size) = 0;  // one send; the result is not looked at
    virtual void write(std::string_view text) = 0;               // console text, flushed
    // One diagnostic line on standard error, "stintkeeper: " + text: what the user may want to mend,
    // kept apart from the console on standard output.
    virtual void diagnostic(std::string_view text);

    // The unit of every Size byte on the InSim link: the link sets it from the version the handshake
    // accepted, and the packet builders and the framing read it. In bytes until then.
    SizeUnit sizeUnit() const { return sizeUnit_; }
    void setSizeUnit(SizeUnit unit) { sizeUnit_ = unit; }

private:
    SizeUnit sizeUnit_ = SizeUnit::Bytes;
};

// Appends one console value in the stream's default form: integers in decimal,
// floating point in general notation with six significant digits.
void appendValue(std::string& out, float value);
void appendValue(std::string& out, double value);
inline void appendValue(std::string& out, std::string_view text) { out += text; }
inline void appendValue(std::string& out, const char* text) { out += text; }
inline void appendValue(std::string& out, const std::string& text) { out += text; }
template <class T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                                         !std::is_same_v<T, char>, int> = 0>
void appendValue(std::string& out, T value) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, end);
}

// Writes the pieces as one console text without a line end: the next text continues the line.
template <class... Pieces>
void print(Output& out, const Pieces&... pieces) {
    std::string text;
    (appendValue(text, pieces), ...);
    out.write(text);
}

// Reports the pieces as one diagnostic line.
template <class... Pieces>
void diagnose(Output& out, const Pieces&... pieces) {
    std::string text;
    (appendValue(text, pieces), ...);
    out.diagnostic(text);
}

// Writes the pieces followed by a line end.
template <class... Pieces>
void printLine(Output& out, const Pieces&... pieces) {
    std::string text;
    (appendValue(text, pieces), ...);
    text += '\n';
    out.write(text);
}
