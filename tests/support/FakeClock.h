#pragma once
// A clock that tests set and move.
#include "Seams.h"

namespace testing_support {

class FakeClock final : public norvale::IClock {
 public:
  FakeClock();
  SYSTEMTIME LocalNow() override { return now_; }
  void Set(int year, int month, int day, int hour, int minute, int second, int ms = 0);
  // Sets the time of day, keeping the date.
  void SetSecondsOfDay(double seconds);

 private:
  SYSTEMTIME now_{};
};

}  // namespace testing_support
