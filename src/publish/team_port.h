// What the loop sees of the team link: reports handed over without waiting, and the other members' reports
// taken at each turn. The link behind it lives beside the loop, on a library's thread of its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link/output.h"
#include "publish/team_line.h"

class TeamPort {
public:
    virtual ~TeamPort() = default;
    // The driving member's report at a lap line and the car's history so far: queued for the broker, the latest
    // of each kept to be published again at every connect.
    virtual void share(const TeamReport& report, const TeamReport& history) = 0;
    // The car this program shared is driven by another member now: what it shared is not published again at a
    // connect, where it would put an old state and history over the new driver's.
    virtual void withdraw() = 0;
    // What came from the other members since the last turn, read and vetted; the broker's going and coming back
    // and payloads that cannot be read are named on standard error.
    virtual std::vector<TeamReport> arrived(Output& out) = 0;
    // A report the loop cannot take (another race or car): named on standard error once for its sender.
    virtual void ignored(const TeamReport& report, std::string_view why, Output& out) = 0;
    // The team's name, and whether the broker was reached as of the last turn, for the page.
    virtual const std::string& name() const = 0;
    virtual bool connected() const = 0;
};
