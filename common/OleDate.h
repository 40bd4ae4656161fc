#pragma once
// A date and time as the automation date: days since 1899-12-30 with the time
// of day as the fraction. Whole seconds, local time, as file times and the
// clock are compared by the programs.
#include <windows.h>

#include <compare>
#include <optional>

namespace norvale {

class OleDate {
 public:
  OleDate() = default;
  explicit OleDate(double value) : value_(value) {}

  static OleDate FromSystemTime(const SYSTEMTIME& t);
  // A file time (UTC) as the local time of day, cut to whole seconds.
  static std::optional<OleDate> FromFileTimeUtc(const FILETIME& utc);

  double Value() const { return value_; }
  SYSTEMTIME ToSystemTime() const;
  OleDate AddDays(double days) const { return OleDate(value_ + days); }

  auto operator<=>(const OleDate&) const = default;

 private:
  double value_ = 0.0;
};

}  // namespace norvale
