// Calendar questions of billing and sales work: month ends, closing periods,
// ages and day and time windows.
#include <cmath>
#include <cstdlib>
#include <optional>

#include "LooseValues.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

int MonthDayNumber(OleDate date) {
  const CivilDate c = CivilOf(date);
  return c.month * 100 + c.day;
}

int TimeNumber(OleDate date) {
  const SYSTEMTIME t = date.ToSystemTime();
  return t.wHour * 100 + t.wMinute;
}

bool IsNoDate(OleDate date) { return date.Value() == 0.0; }

std::optional<OleDate> FirstOfMonth(OleDate date) {
  const CivilDate c = CivilOf(date);
  return DateOf(c.year, c.month, 1);
}

std::optional<OleDate> LastOfMonth(OleDate date) {
  const CivilDate c = CivilOf(date);
  return DateOf(c.year, c.month, DaysInMonth(c.year, c.month));
}

}  // namespace

OleDate clsPublicFunc::GetLastMothDay(OleDate aDateValue, int32_t aLngMode) {
  return (aLngMode == 0 ? FirstOfMonth(aDateValue) : LastOfMonth(aDateValue)).value_or(aDateValue);
}

bool clsPublicFunc::Is末日(const std::wstring& astrDate, RaisedError* raised) {
  const auto date = DateFromText(astrDate);
  if (!date) {
    if (raised) *raised = RaisedError{5, L"日付形式の文字列ではありません"};
    return false;
  }
  const CivilDate c = CivilOf(*date);
  return c.day == DaysInMonth(c.year, c.month);
}

int16_t clsPublicFunc::Get末日(int16_t aintYear, int16_t aintMonth, RaisedError* raised) {
  if (aintYear < 1901 || aintYear > 9998) {
    if (raised) *raised = RaisedError{5, L"年の指定が不正です。引数は西暦4桁で指定してください"};
    return 0;
  }
  if (aintMonth < 1 || aintMonth > 12) {
    if (raised) *raised = RaisedError{5, L"月の指定が不正です"};
    return 0;
  }
  return static_cast<int16_t>(DaysInMonth(aintYear, aintMonth));
}

OleDate clsPublicFunc::Get月末日(OleDate pDate) { return LastOfMonth(pDate).value_or(OleDate()); }

OleDate clsPublicFunc::Get月初日(OleDate pDate) { return FirstOfMonth(pDate).value_or(OleDate()); }

bool clsPublicFunc::Get締め期間(OleDate aDat基準日, const std::vector<int16_t>& aInt締日配列,
                                OleDate* aDat開始日, OleDate* aDat終了日) {
  if (IsNoDate(aDat基準日) || aInt締日配列.empty()) return false;
  const CivilDate base = CivilOf(aDat基準日);
  const int dd = base.day;
  const int n = static_cast<int>(aInt締日配列.size()) - 1;
  int found = -1;
  for (int i = 0; i <= n && found < 0; ++i) {
    const int closing = aInt締日配列[static_cast<size_t>(i)];
    if (closing == dd) {
      found = i;
    } else if (closing == 99) {
      RaisedError raised;
      const int16_t last = Get末日(static_cast<int16_t>(base.year),
                                   static_cast<int16_t>(base.month), &raised);
      if (raised.number != 0) return false;
      if (dd == last) found = i;
    }
  }
  if (found < 0) return false;
  int p = found - 1;
  if (p < 0 || (p == 0 && aInt締日配列[0] <= 0)) p = n;
  const int c = aInt締日配列[static_cast<size_t>(p)];
  OleDate start;
  if (p == found || c <= 0 || c == dd) {
    start = AddMonths(aDat基準日, -1).AddDays(1);
  } else if (c == 99) {
    start = Get月初日(aDat基準日);
  } else {
    const auto closingDay = DateOf(base.year, base.month, c);
    if (!closingDay) return false;
    start = (c < dd ? *closingDay : AddMonths(*closingDay, -1)).AddDays(1);
  }
  if (aDat開始日) *aDat開始日 = start;
  if (aDat終了日) *aDat終了日 = aDat基準日;
  return true;
}

int32_t clsPublicFunc::Get年齢(OleDate dat生年月日, OleDate dat基準日) {
  const OleDate base = IsNoDate(dat基準日) ? DatePart(NowToTheSecond()) : DatePart(dat基準日);
  const OleDate birth = DatePart(dat生年月日);
  // A birth after the base date has no age yet.
  if (birth > base) return 0;
  const CivilDate b = CivilOf(birth), now = CivilOf(base);
  int years = now.year - b.year;
  // Someone born on 29 February is a year older on 1 March of a common year.
  const bool leapDayInCommonYear =
      b.month == 2 && b.day == 29 && DaysInMonth(now.year, 2) == 28;
  const int birthday = leapDayInCommonYear ? 301 : b.month * 100 + b.day;
  if (birthday > now.month * 100 + now.day) --years;
  return years > 0 ? years : 0;
}

bool clsPublicFunc::IsDayRange(OleDate aDat基準日, OleDate aDat対象日, int16_t aInt前後日数) {
  if (IsNoDate(aDat基準日) || IsNoDate(aDat対象日) || aInt前後日数 == 0) return false;
  const OleDate base = DatePart(aDat基準日);
  const int k = std::abs(static_cast<int>(aInt前後日数)) - 1;
  const int lo = MonthDayNumber(base.AddDays(-k));
  const int hi = MonthDayNumber(base.AddDays(k));
  const int t = MonthDayNumber(DatePart(aDat対象日));
  return hi >= lo ? (lo <= t && t <= hi) : (t >= lo || t <= hi);
}

bool clsPublicFunc::IsTimeRange(OleDate aDat基準日時, int32_t aLng開始時分,
                                int32_t aLng終了時分) {
  const int t = TimeNumber(aDat基準日時);
  const int32_t start = aLng開始時分 < 0 ? 0 : aLng開始時分;
  const int32_t end = aLng終了時分 < 0 ? 0 : aLng終了時分;
  return start <= end ? (start <= t && t <= end) : (t >= start || t <= end);
}
