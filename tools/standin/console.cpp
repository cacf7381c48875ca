// Serialises the stand-in's lines and the program's lines, which arrive from its output thread.
// The status line is taken down before a line is written and put back after it, and at the end.
#include "standin/console.h"

namespace standin {

void Console::clearStatus() {
    if (terminal_ && !status_.empty()) out_ << "\r\x1b[K";
}

Console::~Console() {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearStatus();
    out_.flush();
}

void Console::line(const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    clearStatus();
    out_ << text;
    if (text.empty() || text.back() != '\n') out_ << '\n';
    if (terminal_ && !status_.empty()) out_ << status_;
    out_.flush();
}

void Console::status(const std::string& text) {
    if (!terminal_) return;
    const std::lock_guard<std::mutex> lock(mutex_);
    clearStatus();
    status_ = text;
    out_ << status_;
    out_.flush();
}

}  // namespace standin
