// The team link against a real broker (ctest label broker): two members' programs in one race, the broker
// lost and found again, a garbage payload and a wrong password.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/hosted_run.h"
#include "team/broker.h"

namespace {

// The figure after the last `label` in the text; 0 when there is none.
double lastAfter(const std::string& text, const std::string& label) {
    const auto at = text.rfind(label);
    return at == std::string::npos ? 0 : std::atof(text.c_str() + at + label.size());
}

// The laps of the history the broker keeps for the team, in order; none when it keeps none within the wait.
std::vector<int> historyLaps(const Broker& broker) {
    const std::string payload = broker.client("history");
    std::vector<int> laps;
    const auto lines = payload.find("\"lines\":[");  // [[lap,elapsed,fuel],[lap,...
    for (auto at = lines == std::string::npos ? lines : lines + 8; at != std::string::npos; at = payload.find(",[", at + 1))
        laps.push_back(std::atoi(payload.c_str() + at + 2));
    return laps;
}

}  // namespace

// A wrong password: named once on standard error, and the race goes on as without the link.
TEST(TeamBroker, AWrongPasswordIsNamedAndTheRaceGoesOn) {
    Broker broker;
    ModelRun run("sprint", broker.team("alice", "wrong"), {}, "");
    EXPECT_EQ(count(run.program.errors(), "stintkeeper: team link: the broker refused the connection at localhost port " +
                                              std::to_string(broker.port) + " (Connection Refused: not authorised.): the race "
                                              "goes on, and the link is tried again every few seconds\n"), 1)
        << run.program.errors();
    EXPECT_EQ(run.program.errors().find("wrong"), std::string::npos);  // the password is never printed
    EXPECT_EQ(run.amounts, (std::vector<int>{}));
}

// The team race with both members' programs on one broker: bob drives from the start, alice joins half an hour in
// and follows his fuel, and takes the car at its first stop with his use a lap; the broker stopped and started
// again while she drives, then garbage on the team's topic. The race waits at each of the car's lines for what
// is checked there; each line's fuel goes out in the next OutGauge turn, so lap n - 1 is the one due at line n.
TEST(TeamBroker, TwoMembersShareTheCarThroughTheBroker) {
    Broker broker;
    HostedRun bob(broker.team("bob", "bob-pw") + "<Race long=\"1\"/><Pit guard=\"1\"/>", " version=\"8\"");
    int line = 0, handover = 0;
    std::string waiting;  // alice's console at the last line bob drove
    const auto atLine = [&](ModelRun& run) {
        const std::string console = run.program.output(), lap = std::to_string(++line - 1);
        if (run.model.viewedDriver() != 0) {  // bob drives: alice shows his level of the line before
            if (line < 32) return;            // she joins at 30 minutes
            const std::string team = "Team: mate's car at lap " + lap + ": ";
            ASSERT_TRUE(run.program.waitForOutput(team, kWaitMs)) << console;
            EXPECT_NEAR(lastAfter(run.program.output(), team),
                        100 * lastAfter(bob.program.output(), "(pLaps+" + std::to_string(line - 2) + "->fuel[0] = "), 0.01);
            waiting = run.program.output();
        } else if (handover == 0) {  // her first line as driver: her first call, with bob's use
            handover = line;
            EXPECT_EQ(count(waiting, "Setting fuel to") + count(waiting, "advice:SET"), 0) << waiting;
            // Her board showed the amounts his program typed, as they came (his last may come in the pit lap).
            const std::string typed = bob.program.output();
            int shown = 0;
            for (auto at = waiting.find("advice:TEAM "); at != std::string::npos; at = waiting.find("advice:TEAM ", at + 1), ++shown)
                EXPECT_NE(typed.find("Setting fuel to " + std::to_string(std::atoi(waiting.c_str() + at + 12)) + "%"), std::string::npos);
            EXPECT_GE(shown, 1) << waiting;
            EXPECT_EQ(count(console.substr(waiting.size()), "Setting fuel to"), 1) << console.substr(waiting.size());
            EXPECT_NEAR(lastAfter(console, "consumes "), lastAfter(bob.program.output(), "consumes "), lastAfter(console, "consumes ") / 100);
        } else if (line == handover + 3) {
            broker.stop();
            EXPECT_TRUE(run.program.waitForErrors("stintkeeper: team link: no broker at localhost", kWaitMs));
        } else if (line == handover + 6) {
            EXPECT_TRUE(broker.start());
            EXPECT_TRUE(run.program.waitForErrors("every few seconds\nstintkeeper: team link: connected to the broker", kWaitMs));
            const std::vector<int> laps = historyLaps(broker);  // every line of hers, those without the broker too
            ASSERT_FALSE(laps.empty());
            EXPECT_EQ(laps.back() - laps.front() + 1, int(laps.size()));
            EXPECT_EQ(laps.back(), line - 1);
            broker.client("lap", {"not json", R"({"v":1})"});
            EXPECT_TRUE(run.program.waitForErrors("stintkeeper: team link: a message from an unknown sender is ignored: ", kWaitMs));
        }
    };
    ModelRun alice("team_endurance", broker.team("alice", "alice-pw") + "<Race long=\"1\" join=\"1\"/><Pit guard=\"1\"/>",
                   {.simulator = standin::Simulator::Current, .connectAtMs = 1800000, .mateHost = &bob.host},
                   " version=\"8\"", atLine);
    EXPECT_EQ(bob.program.wait(kWaitMs), 0);
    EXPECT_GT(handover, 32);
    const std::string errors = alice.program.errors(), at = "localhost port " + std::to_string(broker.port);
    EXPECT_EQ(count(errors, "stintkeeper: team link: no broker at " + at + " ("), 1) << errors;
    EXPECT_EQ(count(errors, "stintkeeper: team link: connected to the broker " + at + " as team blue\n"), 2) << errors;
    EXPECT_EQ(count(errors, "stintkeeper: team link: a message from an unknown sender is ignored: "), 1) << errors;
    EXPECT_EQ(count(errors, "\n"), 5) << errors;  // the settings line too, and nothing else
}
