#include "app/acquisition/run_rules.h"

#include <gtest/gtest.h>

using namespace acquisition;

TEST(RunStartChecks, LengthAreaAndPlateSize) {
    EXPECT_EQ(checkRunLength(1440), "");
    EXPECT_EQ(checkRunLength(1440.5), "ERROR! Acquisition lapse is too long (Max = 1440 minutes)");
    EXPECT_EQ(checkRunLength(0), "ERROR! Acquisition lapse must be above 0 minutes");
    EXPECT_EQ(checkRunLength(-3), "ERROR! Acquisition lapse must be above 0 minutes");
    EXPECT_EQ(checkRunLength(0.2), "");
    EXPECT_EQ(checkRunGeometry(335, 1170, 215, 1035, 35), "");
    EXPECT_EQ(checkRunGeometry(500, 500, 215, 1035, 35),
              "ERROR! The analysis area is empty. Please set the plate area again");
    EXPECT_EQ(checkRunGeometry(600, 500, 215, 1035, 35).isEmpty(), false);
    EXPECT_EQ(checkRunGeometry(335, 1170, 215, 215, 35).isEmpty(), false);
    EXPECT_EQ(runPlateSize(8), 35);
    EXPECT_EQ(runPlateSize(10), 10);
    EXPECT_EQ(runPlateSize(60), 60);
    EXPECT_EQ(runPlateSize(60.5), 35);
    EXPECT_EQ(runPlateSize(0), 35);
}

TEST(RunEnd, LiveRunEndsWhenTrackerReachesTheLengthOrAtTheDeadline) {
    // 5 minutes = 300 s.
    EXPECT_EQ(decideRunEnd(299, 300, false, 0), RunEnd::Running);
    EXPECT_EQ(decideRunEnd(300, 300, false, 299), RunEnd::Waiting);
    EXPECT_EQ(decideRunEnd(301, 300, false, 300), RunEnd::End);
    // A tracker that never reaches the end: ended 30 s after 1.1 x the length.
    EXPECT_EQ(decideRunEnd(359, 300, false, 120), RunEnd::Waiting);
    EXPECT_EQ(decideRunEnd(360, 300, false, 120), RunEnd::Overdue);
    // Without live processing: at 1.1 x the length.
    EXPECT_EQ(decideRunEnd(300, 300, true, 0), RunEnd::Waiting);
    EXPECT_EQ(decideRunEnd(330, 300, true, 0), RunEnd::End);
    // An empty length box: the run ends at the first tick.
    EXPECT_EQ(decideRunEnd(0, 0, false, 0), RunEnd::End);
    // Long runs: 1440 minutes.
    EXPECT_EQ(decideRunEnd(86399, 86400, false, 86398), RunEnd::Running);
    EXPECT_EQ(decideRunEnd(86401, 86400, false, 86400), RunEnd::End);
}

TEST(RunEnd, ClockText) {
    EXPECT_EQ(elapsedText(0), "00:00.00");
    EXPECT_EQ(elapsedText(75), "00:01.15");
    EXPECT_EQ(elapsedText(86399), "23:59.59");
}

TEST(CycleChecks, PeriodCountAndLapse) {
    EXPECT_EQ(checkCyclePeriod(4, false).text, "6");
    EXPECT_FALSE(checkCyclePeriod(4, false).tickOnlyImages);
    EXPECT_EQ(checkCyclePeriod(2000, true).text, "1440");
    EXPECT_FALSE(checkCyclePeriod(2000, true).tickOnlyImages);
    EXPECT_TRUE(checkCyclePeriod(2000, false).tickOnlyImages);
    const PeriodCheck ninety = checkCyclePeriod(90, false);
    EXPECT_EQ(ninety.text, "90");
    EXPECT_TRUE(ninety.tickOnlyImages);
    EXPECT_TRUE(checkCyclePeriod(60, false).tickOnlyImages);
    EXPECT_FALSE(checkCyclePeriod(59.9, false).tickOnlyImages);
    EXPECT_EQ(checkCyclePeriod(45.7, false).text, "45");
    EXPECT_STREQ(kLongCycleAdvice, "Post processing of images is reccomended for long cycles");

    EXPECT_EQ(checkCycleCount(0), "1");
    EXPECT_EQ(checkCycleCount(12.9), "12");
    EXPECT_EQ(checkCycleCount(20000), "9999");

    EXPECT_EQ(lapseRoundingOffer(12), 10);
    EXPECT_EQ(lapseRoundingOffer(12.5), 10);
    EXPECT_EQ(lapseRoundingOffer(2), 5);
    EXPECT_EQ(lapseRoundingOffer(0.2), 5);
    EXPECT_EQ(lapseRoundingOffer(15), std::nullopt);
    EXPECT_EQ(lapseRoundingOffer(1e9), std::nullopt);
    EXPECT_EQ(lapseRoundingQuestion(10), "Round Acquisition lapse to 10 min?");

    EXPECT_EQ(runDurationText(30, 12, 5), "Duration = 335 m");
    EXPECT_EQ(runDurationText(6, 2, 0.2), "Duration = 6.2 m");
    EXPECT_EQ(cycleCountOf(12), 12);
    EXPECT_EQ(cycleCountOf(40000), 0);
}

TEST(CycleScheduler, CountsDownStartsAndEnds) {
    const QDateTime first(QDate(2026, 1, 1), QTime(10, 0, 0));
    // Series of 3 cycles every 30 minutes; cycle 1 ran.
    CycleDecision d = decideCycle(true, 1, 3, first, first.addSecs(20 * 60), 30, false);
    EXPECT_EQ(d.action, CycleDecision::Action::Countdown);
    EXPECT_EQ(d.caption, "Next Cycle in 10.0min.");
    EXPECT_EQ(d.cycleNumber, 1);
    d = decideCycle(true, 1, 3, first, first.addSecs(20 * 60), 30, true);
    EXPECT_EQ(d.action, CycleDecision::Action::Countdown);
    EXPECT_EQ(d.caption, "");
    d = decideCycle(true, 1, 3, first, first.addSecs(30 * 60), 30, false);
    EXPECT_EQ(d.action, CycleDecision::Action::StartNext);
    EXPECT_EQ(d.cycleNumber, 2);
    EXPECT_EQ(d.caption, "starting cycle #2");
    // Due while the last run is still on: wait without raising the number.
    d = decideCycle(true, 1, 3, first, first.addSecs(31 * 60), 30, true);
    EXPECT_EQ(d.action, CycleDecision::Action::Wait);
    EXPECT_EQ(d.cycleNumber, 1);
    // The last cycle ran: end of the series.
    d = decideCycle(true, 3, 3, first, first.addSecs(95 * 60), 30, false);
    EXPECT_EQ(d.action, CycleDecision::Action::EndSeries);
    EXPECT_EQ(d.caption, "end of cycles");
    d = decideCycle(false, 1, 3, first, first, 30, false);
    EXPECT_EQ(d.action, CycleDecision::Action::EndSeries);
    // A series of one cycle ends at the first tick.
    d = decideCycle(true, 1, 1, first, first.addSecs(60), 30, false);
    EXPECT_EQ(d.action, CycleDecision::Action::EndSeries);
}
