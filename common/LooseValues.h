#pragma once
// The tests and readings that the number and date members share: whether a
// loosely typed value is a number or a date, its exact decimal value and its
// text, and the civil calendar arithmetic of dates.
#include <cstdint>
#include <optional>
#include <string>

#include "DecimalNumber.h"
#include "OleDate.h"
#include "Variant.h"

namespace norvale {

// The numeric test: numbers, currency, Booleans and the empty value pass, and
// texts that read completely as a decimal number; nothing else.
std::optional<DecimalNumber> NumericValue(const Variant& value);
bool IsNumericValue(const Variant& value);
// Half to even into the integer range [low, high]; nullopt outside.
std::optional<int64_t> RoundedInteger(const Variant& value, int64_t low, int64_t high);

// The date test: date values, and texts "y/m/d" or "y年m月d日" of a valid
// calendar date (four-digit year, full-width digits accepted), optionally
// followed by a time "h:n" or "h:n:s".
std::optional<OleDate> DateValue(const Variant& value);
std::optional<OleDate> DateFromText(const std::wstring& text);

// The text of a value: dates as "yyyy/mm/dd" with " h:nn:ss" when the time is
// not 0, the other values as the system converts them.
std::wstring ValueText(const Variant& value);

struct CivilDate {
  int year = 0, month = 0, day = 0;
};
CivilDate CivilOf(OleDate date);
// The date at 00:00; nullopt for a day that the month lacks.
std::optional<OleDate> DateOf(int year, int month, int day);
int DaysInMonth(int year, int month);
// Moves by whole months; a day beyond the new month's end becomes its last.
OleDate AddMonths(OleDate date, int months);
// The date part (time of day dropped).
OleDate DatePart(OleDate date);

}  // namespace norvale
