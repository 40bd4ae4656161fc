#include <gtest/gtest.h>

#include "FakeClock.h"
#include "clsTimer.h"

using testing_support::FakeClock;

namespace {

TEST(TimerTest, CountsDownAndStaysExpired) {
  auto clock = std::make_shared<FakeClock>();
  clsTimer timer(clock);
  EXPECT_EQ(0, timer.TimerSence());
  EXPECT_TRUE(timer.IsTimerEnd());

  clock->SetSecondsOfDay(100);
  ASSERT_TRUE(timer.TimerStart(10));
  EXPECT_EQ(-10, timer.TimerSence());
  EXPECT_FALSE(timer.IsTimerEnd());
  clock->SetSecondsOfDay(105.4);
  EXPECT_EQ(-5, timer.TimerSence());
  clock->SetSecondsOfDay(110);
  EXPECT_EQ(0, timer.TimerSence());
  clock->SetSecondsOfDay(111);
  EXPECT_EQ(0, timer.TimerSence());
  EXPECT_TRUE(timer.IsTimerEnd());
}

TEST(TimerTest, RefusesNonPositiveTimeOutsAndStops) {
  auto clock = std::make_shared<FakeClock>();
  clsTimer timer(clock);
  clock->SetSecondsOfDay(500);
  ASSERT_TRUE(timer.TimerStart(30));
  EXPECT_FALSE(timer.TimerStart(0));
  EXPECT_EQ(0, timer.TimerSence());
  EXPECT_FALSE(timer.TimerStart(-5));
  EXPECT_TRUE(timer.IsTimerEnd());
}

TEST(TimerTest, SurvivesMidnight) {
  auto clock = std::make_shared<FakeClock>();
  clsTimer timer(clock);
  clock->SetSecondsOfDay(86395);
  ASSERT_TRUE(timer.TimerStart(10));
  clock->SetSecondsOfDay(3);
  EXPECT_EQ(-2, timer.TimerSence());
  clock->SetSecondsOfDay(6);
  EXPECT_EQ(0, timer.TimerSence());
}

TEST(TimerTest, RoundsTheClockHalfToEven) {
  auto clock = std::make_shared<FakeClock>();
  clsTimer timer(clock);
  clock->SetSecondsOfDay(100.5);  // reads 100
  ASSERT_TRUE(timer.TimerStart(5));
  clock->SetSecondsOfDay(101.5);  // reads 102
  EXPECT_EQ(-3, timer.TimerSence());
}

TEST(TimerTest, StartInTheFirstHalfSecondAfterMidnightIsARealStart) {
  auto clock = std::make_shared<FakeClock>();
  clsTimer timer(clock);
  clock->SetSecondsOfDay(0.2);
  ASSERT_TRUE(timer.TimerStart(5));
  EXPECT_EQ(-5, timer.TimerSence());
  EXPECT_FALSE(timer.IsTimerEnd());
  clock->SetSecondsOfDay(3);
  EXPECT_EQ(-2, timer.TimerSence());
}

TEST(TimerTest, DayLongTimeOutNeverExpires) {
  auto clock = std::make_shared<FakeClock>();
  clsTimer timer(clock);
  clock->SetSecondsOfDay(1000);
  ASSERT_TRUE(timer.TimerStart(86400));
  clock->SetSecondsOfDay(999);
  EXPECT_LT(timer.TimerSence(), 0);
}

}  // namespace
