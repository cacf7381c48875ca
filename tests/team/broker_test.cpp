// The team link against a real broker (ctest label broker): two members' programs in one race, the broker
// lost and found again, a garbage payload and a wrong password.
#include <gtest/gtest.h>

#include "support/hosted_run.h"
#include "team/broker.h"

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
