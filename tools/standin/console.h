// The stand-in's output: whole lines from the stand-in and from the program it started, never cut
// into each other, and on a terminal a status line kept at the bottom.
#pragma once

#include <mutex>
#include <ostream>
#include <string>

namespace standin {

class Console {
public:
    Console(std::ostream& out, bool terminal) : out_(out), terminal_(terminal) {}
    ~Console();  // takes the status line down: the terminal is left with whole lines only
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    void line(const std::string& text);    // one or more whole lines; a line end is added
    void status(const std::string& text);  // terminal only: the bottom line, redrawn in place
    bool terminal() const { return terminal_; }

private:
    void clearStatus();
    std::mutex mutex_;
    std::ostream& out_;
    const bool terminal_;
    std::string status_;
};

}  // namespace standin
