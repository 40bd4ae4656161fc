#include "OleDate.h"

#include <cmath>

namespace norvale {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

const long long kEpochDays = DaysFromCivil(1899, 12, 30);

}  // namespace

OleDate OleDate::FromSystemTime(const SYSTEMTIME& t) {
  long long days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) - kEpochDays;
  double seconds = t.wHour * 3600.0 + t.wMinute * 60.0 + t.wSecond;
  return OleDate(static_cast<double>(days) + seconds / 86400.0);
}

std::optional<OleDate> OleDate::FromFileTimeUtc(const FILETIME& utc) {
  FILETIME local{};
  SYSTEMTIME st{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) {
    return std::nullopt;
  }
  st.wMilliseconds = 0;
  return FromSystemTime(st);
}

SYSTEMTIME OleDate::ToSystemTime() const {
  double whole = std::floor(value_);
  long long totalSeconds = std::llround((value_ - whole) * 86400.0);
  long long days = static_cast<long long>(whole) + kEpochDays;
  if (totalSeconds >= 86400) {
    totalSeconds -= 86400;
    ++days;
  }
  // Civil date from days since 1970-01-01.
  long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp + (mp < 10 ? 3 : -9);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y + (m <= 2));
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  t.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  t.wHour = static_cast<WORD>(totalSeconds / 3600);
  t.wMinute = static_cast<WORD>(totalSeconds / 60 % 60);
  t.wSecond = static_cast<WORD>(totalSeconds % 60);
  return t;
}

}  // namespace norvale
