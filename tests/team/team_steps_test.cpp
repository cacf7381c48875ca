// The team link's steps in the loop, with a link of the test's own: what the driving member's program shares,
// and what a waiting member's program makes of the reports, up to the first fuel call after the handover.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/transcript.h"
#include "team/payload.h"

using namespace transcript;

namespace {

struct TestLink final : TeamPort {
    std::vector<TeamReport> coming;
    std::vector<std::string> shared;  // payloads of the lap reports, then of the history
    int withdrawn = 0;
    void share(const TeamReport& report, const TeamReport& history) override {
        shared.push_back(writePayload(report));
        shared.push_back(writePayload(history));
    }
    void withdraw() override { ++withdrawn; }
    std::vector<TeamReport> arrived(Output&) override { return std::exchange(coming, {}); }
    void ignored(const TeamReport& report, std::string_view why, Output& out) override { diagnose(out, report.sender, ": ", why); }
    const std::string& name() const override { return team; }
    bool connected() const override { return true; }
    std::string team = "blue";
};

// The host's name, and a connection with its user name.
Script ism() { return stream(std::string(fields(8, {{0, 40}, {1, 10}})) + "Night" + std::string(27, '\0')); }
Script named(int ucid, bool remote, const char* user) {
    std::string packet = fields(56, {{0, 56}, {1, 18}, {3, std::uint32_t(ucid)}, {54, remote ? 4u : 0u}});
    packet.replace(4, std::strlen(user), user);
    return stream(packet);
}
const TeamRace kRace{"Night", "", 40};  // race() names no track

}  // namespace

// The driving member's program: the lap, its level, the use, laps to go, stops and amount once the level is
// read, and the history of the car's levels so far; withdrawn when it hands the car over, not another's.
TEST(TeamSteps, TheDriverSharesEachLineOnceItsLevelIsRead) {
    TestLink link;
    Program program;
    program.team = &link;
    std::string errors;
    feed(ism() + named(0, false, "me") + npl(3, 0) + race(30, 3) + lap(3, 60000, 60000, 1) + gauge(1, 0.9f) +
             lap(3, 60000, 120000, 2) + gauge(2, 0.87f) + lap(3, 60000, 180000, 3) + gauge(3, 0.84f),
         program, &errors);
    ASSERT_EQ(link.shared.size(), 6u) << errors;
    EXPECT_EQ(link.shared[4], R"({"amount":0,"car":3,"lines":[[3,180000,0.84]],"race":{"host":"Night","laps":30,"track":""},)"
                              R"("sender":"me","stops":0,"togo":27.0,"use":0.03,"v":1})");
    EXPECT_EQ(link.shared[5], R"({"car":3,"history":true,"lines":[[1,60000,0.9],[2,120000,0.87],[3,180000,0.84]],)"
                              R"("race":{"host":"Night","laps":30,"track":""},"sender":"me","v":1})");
    feed(toc(4, 6, 0) + toc(3, 0, 5), program);
    EXPECT_EQ(link.withdrawn, 1);
}

// The waiting member's program: nothing said of a report before its race and host are known; the team's levels
// stored at its own game's lines, each once though it comes twice, its board never typing; at the handover its
// first line as driver makes the call with the team's use (levels in 32nds: exact).
TEST(TeamSteps, TheWaitingMemberFollowsAndTakesOverWithTheTeamsUse) {
    TestLink link;
    Config config;
    config.web.on = true;
    Program program(config);
    program.team = &link;
    Recorder diagnostics;
    const TeamReport early{kRace, 3, "mate", {{1, 60000, 0.9f}}, {}, 0, 0, 0, 0, 0, true};
    for (const Script& known : {named(0, false, "me") + named(5, true, "mate") + npl(3, 5) + race(40, 3), ism()}) {
        link.coming = {early};
        onTeamTurn(program, diagnostics);  // before the race is known, then its host: passed without a word
        feed(known, program);
    }
    std::string out;
    for (int n = 1; n <= 29; ++n) {
        out = feed(lap(3, 60000, 60000u * n, n), program);
        link.coming = {{kRace, 3, "mate", {{std::uint16_t(n), 60000u * n, 1.0f - n / 32.0f}}, 1 / 32.0f, 40.0f - n, 1, 30, 31, 58, false}};
        link.coming.push_back(link.coming.front());  // the same line again, as the state the broker keeps
        // Another game's line of the same lap (a restarted race): not this game's, never taken.
        if (n == 28) link.coming.push_back({kRace, 3, "mate", {{28, 60000u * 28 + 1, 0.9f}}, {}, 0, 0, 0, 0, 0, true});
        onTeamTurn(program, diagnostics);
    }
    EXPECT_NE(out.find("Player has approx 9.375% fuel and consumes 3.125% per lap.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("{btn 4 |TEAM 58%"), std::string::npos) << out;
    EXPECT_EQ(out.find("Setting fuel"), std::string::npos) << out;
    EXPECT_TRUE(diagnostics.text.ends_with(  // each line once, though it came twice
        "Team: mate's car at lap 28: 12.5% fuel, 3.125% per lap, 4 laps of fuel, 1 stops, the next from lap 30 to 31.\n"
        "Team: mate's car at lap 29: 9.375% fuel, 3.125% per lap, 3 laps of fuel, 1 stops, the next from lap 30 to 31.\n"))
        << diagnostics.text;
    // The page: the team's level of the car's latest line, who sent it, who drives.
    const RaceSnapshot page = takeSnapshot(program);
    EXPECT_EQ(page.car->fuelPercent, 9.375f);
    EXPECT_EQ(page.car->source, "team:mate");
    EXPECT_EQ(page.car->driver, "mate");
    EXPECT_EQ(page.team->members.size(), 1u);
    link.coming = {TeamReport{{"Night", "", 41}, 3, "mate", {}, {}, 0, 0, 0, 0, 0, true},
                   TeamReport{kRace, 4, "mate", {}, {}, 0, 0, 0, 0, 0, true}};
    feed(toc(3, 5, 0), program);
    onTeamTurn(program, diagnostics);
    EXPECT_EQ(diagnostics.errors, "mate: it is about another race\nmate: it is about another car\n");
    out = feed(lap(3, 60000, 60000u * 30, 30), program);
    EXPECT_NE(out.find("Player has approx 6.25% fuel and consumes 3.125% per lap.\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Setting fuel to"), std::string::npos) << out;
    const RaceSnapshot::Team team = *takeSnapshot(program).team;
    ASSERT_EQ(team.members.size(), 2u);
    EXPECT_EQ(team.members[0].user + " " + std::to_string(team.members[0].stints[0].from) + "-" +
                  std::to_string(team.members[0].stints[0].to) + ", " + team.members[1].user + " " +
                  std::to_string(team.members[1].stints[0].from),
              "mate 1-29, me 30");
}
