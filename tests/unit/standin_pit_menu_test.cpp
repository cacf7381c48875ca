// The stand-in's pit menu under key presses: F12 toggles, left and right move within 1 to 100, strays counted.
#include <gtest/gtest.h>

#include "standin/pit_menu.h"

using standin::PitMenu;
using standin::PressOutcome;

TEST(StandinPitMenu, KeysWhileClosedGoAstrayAndChangeNothing) {
    PitMenu menu(40);
    EXPECT_EQ(menu.press("left"), PressOutcome::Stray);
    EXPECT_EQ(menu.press("right"), PressOutcome::Stray);
    EXPECT_EQ(menu.fuelPercent(), 40);
    EXPECT_EQ(menu.strayPresses(), 2);
    EXPECT_FALSE(menu.open());
}

TEST(StandinPitMenu, OpenMenuMovesOnePercentAndStopsAtTheEnds) {
    PitMenu menu(2);
    EXPECT_EQ(menu.press("F12"), PressOutcome::Toggled);
    EXPECT_TRUE(menu.open());
    EXPECT_EQ(menu.press("left"), PressOutcome::Moved);
    EXPECT_EQ(menu.fuelPercent(), 1);
    EXPECT_EQ(menu.press("left"), PressOutcome::AtLimit);
    EXPECT_EQ(menu.fuelPercent(), 1);
    for (int i = 0; i < 99; ++i) EXPECT_EQ(menu.press("right"), PressOutcome::Moved);
    EXPECT_EQ(menu.fuelPercent(), 100);
    EXPECT_EQ(menu.press("right"), PressOutcome::AtLimit);
    EXPECT_EQ(menu.fuelPercent(), 100);
    EXPECT_EQ(menu.press("up"), PressOutcome::Stray);  // a key the menu does not know
    EXPECT_EQ(menu.press("F12"), PressOutcome::Toggled);
    EXPECT_FALSE(menu.open());
    EXPECT_EQ(menu.press("left"), PressOutcome::Stray);
    EXPECT_EQ(menu.fuelPercent(), 100);
    EXPECT_EQ(menu.strayPresses(), 2);
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

TEST(StandinPitMenu, SettingsOutsideTheRangeAreBroughtIn) {
    EXPECT_EQ(PitMenu(0).fuelPercent(), 1);
    EXPECT_EQ(PitMenu(150).fuelPercent(), 100);
}

TEST(StandinPitMenu, KeyOfAPressCommand) {
    EXPECT_EQ(standin::pressedKey("/press F12"), "F12");
    EXPECT_EQ(standin::pressedKey("/press left"), "left");
    EXPECT_EQ(standin::pressedKey("/press right "), "right");
    EXPECT_EQ(standin::pressedKey("/pressF12"), "");
    EXPECT_EQ(standin::pressedKey("hello"), "");
    EXPECT_EQ(standin::pressedKey(""), "");
}
