#include "app/device/light_level.h"

#include <gtest/gtest.h>

using namespace device;

TEST(LightLevel, StepsStopAtTheLimits) {
    double level = 0.5;
    EXPECT_TRUE(lightStepDown(level));
    EXPECT_DOUBLE_EQ(level, 0.0);
    EXPECT_FALSE(lightStepDown(level));
    EXPECT_DOUBLE_EQ(level, 0.0);
    level = 15.5;
    EXPECT_TRUE(lightStepUp(level));
    EXPECT_DOUBLE_EQ(level, 16.0);
    EXPECT_FALSE(lightStepUp(level));
    EXPECT_DOUBLE_EQ(level, 16.0);
}

TEST(LightLevel, LabelInShortestForm) {
    EXPECT_EQ(lightLabelText(5), "Light[5]");
    EXPECT_EQ(lightLabelText(4.5), "Light[4.5]");
    EXPECT_EQ(lightLabelText(0), "Light[0]");
    EXPECT_EQ(lightLabelText(16), "Light[16]");
}

TEST(FocusCountdown, CountsWholeSecondsOfMonotonicTime) {
    EXPECT_EQ(focusSecondsLeft(250), 30);
    EXPECT_EQ(focusSecondsLeft(1500), 28); // 1.5 s rounds to the even 2
    EXPECT_EQ(focusSecondsLeft(2500), 28);
    EXPECT_EQ(focusSecondsLeft(29400), 1);
    EXPECT_EQ(focusSecondsLeft(29600), 0);
    // Minutes count: a tick after 61 s has nothing left (the mode ends).
    EXPECT_LT(focusSecondsLeft(61000), 1);
    EXPECT_EQ(focusButtonText(30), "STOP FOCUS [30s]");
}
