// The stand-in's pit menu under the program's batch: F12, 99 x left, amount - 1 x right, F12 sets the
// amount from any setting, with no key astray; keys while it is closed go astray.
#include <gtest/gtest.h>

#include "standin/pit_menu.h"

TEST(StandinPitMenu, TheProgramsBatchSetsTheAmountFromAnySetting) {
    for (const int start : {1, 10, 57, 100}) {
        for (const int amount : {1, 38, 99}) {
            standin::PitMenu menu(start);
            menu.press("F12");
            for (int i = 0; i < 99; ++i) menu.press("left");
            for (int i = 1; i < amount; ++i) menu.press("right");
            menu.press("F12");
            EXPECT_EQ(menu.fuelPercent(), amount) << "from " << start;
            EXPECT_FALSE(menu.open());
            EXPECT_EQ(menu.strayPresses(), 0);
        }
    }
    standin::PitMenu closed(10);
    EXPECT_EQ(closed.press("right"), standin::PressOutcome::Stray);
    EXPECT_EQ(closed.fuelPercent(), 10);
}
