#include "FakeClock.h"

#include <cmath>

namespace testing_support {

FakeClock::FakeClock() { Set(2024, 5, 17, 9, 30, 15); }

void FakeClock::Set(int year, int month, int day, int hour, int minute, int second, int ms) {
  now_ = SYSTEMTIME{static_cast<WORD>(year), static_cast<WORD>(month), 0,
                    static_cast<WORD>(day), static_cast<WORD>(hour), static_cast<WORD>(minute),
                    static_cast<WORD>(second), static_cast<WORD>(ms)};
}

void FakeClock::SetSecondsOfDay(double seconds) {
  const long long whole = static_cast<long long>(std::floor(seconds));
  now_.wHour = static_cast<WORD>(whole / 3600);
  now_.wMinute = static_cast<WORD>(whole / 60 % 60);
  now_.wSecond = static_cast<WORD>(whole % 60);
  now_.wMilliseconds = static_cast<WORD>(std::lround((seconds - whole) * 1000));
}

}  // namespace testing_support
