#include "LooseValues.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "Text.h"

namespace norvale {

std::optional<DecimalNumber> NumericValue(const Variant& value) {
  const VARIANT& v = value.Raw();
  switch (v.vt) {
    case VT_EMPTY: return DecimalNumber::FromInt64(0);
    case VT_BOOL: return DecimalNumber::FromInt64(v.boolVal ? -1 : 0);
    case VT_UI1: return DecimalNumber::FromInt64(v.bVal);
    case VT_I1: return DecimalNumber::FromInt64(v.cVal);
    case VT_I2: return DecimalNumber::FromInt64(v.iVal);
    case VT_UI2: return DecimalNumber::FromInt64(v.uiVal);
    case VT_I4: case VT_INT: return DecimalNumber::FromInt64(v.lVal);
    case VT_UI4: case VT_UINT: return DecimalNumber::FromInt64(v.ulVal);
    case VT_I8: return DecimalNumber::FromInt64(v.llVal);
    case VT_CY: return DecimalNumber::FromInt64(v.cyVal.int64, 4);
    case VT_R4: return DecimalNumber::FromDouble(v.fltVal);
    case VT_R8: return DecimalNumber::FromDouble(v.dblVal);
    case VT_DECIMAL: {
      BSTR text = nullptr;
      if (FAILED(VarBstrFromDec(const_cast<DECIMAL*>(&v.decVal), LOCALE_INVARIANT, 0, &text))) return std::nullopt;
      std::wstring digits(text ? text : L"");
      SysFreeString(text);
      // The invariant locale writes "." as its point.
      for (wchar_t& c : digits) {
        if (c == L'.') c = LocaleDecimalPoint();
      }
      return DecimalNumber::FromText(digits);
    }
    case VT_BSTR: return DecimalNumber::FromText(v.bstrVal ? v.bstrVal : L"");
    default: return std::nullopt;
  }
}

bool IsNumericValue(const Variant& value) { return NumericValue(value).has_value(); }

std::optional<int64_t> RoundedInteger(const Variant& value, int64_t low, int64_t high) {
  const auto number = NumericValue(value);
  if (!number) return std::nullopt;
  const auto whole = number->Rounded(0, DecimalNumber::Rounding::HalfEven).ToScaled(0);
  if (!whole || *whole < low || *whole > high) return std::nullopt;
  return whole;
}

namespace {

bool ReadNumber(const std::wstring& text, size_t& i, int maxDigits, int* out) {
  const size_t first = i;
  int value = 0;
  while (i < text.size() && text[i] >= L'0' && text[i] <= L'9' &&
         static_cast<int>(i - first) < maxDigits) {
    value = value * 10 + (text[i] - L'0');
    ++i;
  }
  *out = value;
  return i > first;
}

std::wstring FoldWidth(const std::wstring& text) {
  std::wstring out = text;
  for (wchar_t& c : out) {
    if (c >= L'\uFF10' && c <= L'\uFF19') c = static_cast<wchar_t>(L'0' + (c - L'\uFF10'));
    if (c == L'\uFF0F') c = L'/';
    if (c == L'\uFF1A') c = L':';
    if (c == L'\u3000') c = L' ';
  }
  return out;
}

}  // namespace

std::optional<OleDate> DateFromText(const std::wstring& original) {
  const std::wstring text = Trim(FoldWidth(original));
  size_t i = 0;
  int year = 0, month = 0, day = 0;
  const size_t yearStart = i;
  if (!ReadNumber(text, i, 4, &year) || i - yearStart != 4 || i >= text.size()) {
    return std::nullopt;
  }
  const bool japanese = text[i] == L'年';
  const wchar_t separator = text[i];
  if (!japanese && separator != L'/' && separator != L'-') return std::nullopt;
  ++i;
  const size_t monthStart = i;
  if (!ReadNumber(text, i, 2, &month) || i >= text.size()) return std::nullopt;
  (void)monthStart;
  if (japanese ? text[i] != L'月' : text[i] != separator) return std::nullopt;
  ++i;
  if (!ReadNumber(text, i, 2, &day)) return std::nullopt;
  if (japanese) {
    if (i >= text.size() || text[i] != L'日') return std::nullopt;
    ++i;
  }
  auto date = DateOf(year, month, day);
  if (!date || year < 100) return std::nullopt;
  if (i == text.size()) return date;
  if (text[i] != L' ') return std::nullopt;
  while (i < text.size() && text[i] == L' ') ++i;
  int hour = 0, minute = 0, second = 0;
  if (!ReadNumber(text, i, 2, &hour) || i >= text.size() || text[i] != L':') return std::nullopt;
  ++i;
  if (!ReadNumber(text, i, 2, &minute)) return std::nullopt;
  if (i < text.size() && text[i] == L':') {
    ++i;
    if (!ReadNumber(text, i, 2, &second)) return std::nullopt;
  }
  if (i != text.size() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  return date->AddDays((hour * 3600.0 + minute * 60.0 + second) / 86400.0);
}

std::optional<OleDate> DateValue(const Variant& value) {
  const VARIANT& v = value.Raw();
  if (v.vt == VT_DATE) return OleDate(v.date);
  if (v.vt == VT_BSTR) return DateFromText(v.bstrVal ? v.bstrVal : L"");
  return std::nullopt;
}

std::wstring ValueText(const Variant& value) {
  if (value.Type() != VT_DATE) return value.Text();
  const OleDate date(value.Raw().date);
  const SYSTEMTIME t = date.ToSystemTime();
  wchar_t day[16], time[16];
  swprintf(day, 16, L"%04u/%02u/%02u", t.wYear, t.wMonth, t.wDay);
  swprintf(time, 16, L"%u:%02u:%02u", t.wHour, t.wMinute, t.wSecond);
  const double whole = std::trunc(date.Value());
  const bool hasTime = t.wHour || t.wMinute || t.wSecond;
  if (whole == 0 && hasTime) return time;
  return hasTime ? std::wstring(day) + L" " + time : std::wstring(day);
}

CivilDate CivilOf(OleDate date) {
  const SYSTEMTIME t = date.ToSystemTime();
  return CivilDate{t.wYear, t.wMonth, t.wDay};
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

std::optional<OleDate> DateOf(int year, int month, int day) {
  if (year < 1 || year > 9999 || day < 1 || day > DaysInMonth(year, month)) return std::nullopt;
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(year);
  t.wMonth = static_cast<WORD>(month);
  t.wDay = static_cast<WORD>(day);
  return OleDate::FromSystemTime(t);
}

OleDate AddMonths(OleDate date, int months) {
  const CivilDate c = CivilOf(date);
  int index = c.year * 12 + (c.month - 1) + months;
  const int year = index / 12, month = index % 12 + 1;
  const int day = std::min(c.day, DaysInMonth(year, month));
  const double time = date.Value() - DatePart(date).Value();
  return DateOf(year, month, day).value_or(OleDate()).AddDays(time);
}

OleDate DatePart(OleDate date) {
  const CivilDate c = CivilOf(date);
  return DateOf(c.year, c.month, c.day).value_or(OleDate());
}

}  // namespace norvale
