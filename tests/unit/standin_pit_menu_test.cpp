// The stand-in's pit menu under key presses: F12 toggles, left and right move within 1 to 100, strays counted.
#include <gtest/gtest.h>

#include "standin/pit_menu.h"

using standin::PitMenu;
using standin::PressOutcome;

TEST(StandinPitMenu, OpenMenuMovesOnePercentWithinOneToHundredAndOtherKeysGoAstray) {
    EXPECT_EQ(PitMenu(0).fuelPercent(), 1);  // settings outside the range are brought in
    EXPECT_EQ(PitMenu(150).fuelPercent(), 100);
    PitMenu menu(2);
    EXPECT_EQ(menu.press("right"), PressOutcome::Stray);  // closed
    EXPECT_EQ(menu.press("F12"), PressOutcome::Toggled);
    EXPECT_TRUE(menu.open());
    EXPECT_EQ(menu.press("left"), PressOutcome::Moved);
    EXPECT_EQ(menu.press("left"), PressOutcome::AtLimit);
    EXPECT_EQ(menu.fuelPercent(), 1);
    for (int i = 0; i < 99; ++i) EXPECT_EQ(menu.press("right"), PressOutcome::Moved);
    EXPECT_EQ(menu.press("right"), PressOutcome::AtLimit);
    EXPECT_EQ(menu.fuelPercent(), 100);
    EXPECT_EQ(menu.press("up"), PressOutcome::Stray);  // a key the menu does not know
    EXPECT_EQ(menu.press("F12"), PressOutcome::Toggled);
    EXPECT_FALSE(menu.open());
    EXPECT_EQ(menu.press("left"), PressOutcome::Stray);
    EXPECT_EQ(menu.fuelPercent(), 100);
    EXPECT_EQ(menu.strayPresses(), 3);
}

TEST(StandinPitMenu, TheProgramsBatchSetsTheAmountFromAnySetting) {
    for (const int start : {1, 10, 57, 100}) {
        for (const int amount : {1, 38, 99}) {
            PitMenu menu(start);
            menu.press("F12");
            for (int i = 0; i < 99; ++i) menu.press("left");
            for (int i = 1; i < amount; ++i) menu.press("right");
            menu.press("F12");
            EXPECT_EQ(menu.fuelPercent(), amount) << "from " << start;
            EXPECT_FALSE(menu.open());
            EXPECT_EQ(menu.strayPresses(), 0);
        }
    }
}

TEST(StandinPitMenu, KeyOfAPressCommand) {
    const std::pair<const char*, const char*> cases[] = {
        {"/press F12", "F12"}, {"/press left", "left"}, {"/press right ", "right"}, {"/pressF12", ""},
        {"hello", ""},         {"", ""}};
    for (const auto& [command, key] : cases) EXPECT_EQ(standin::pressedKey(command), key) << command;
}
