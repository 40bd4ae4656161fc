// Date texts of business forms and receipts, in the Western calendar and in
// Japanese eras.
#include <array>

#include "LooseValues.h"
#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

struct Era {
  const wchar_t* name;
  int year, month, day;  // first day of the era, its year 1
};

// The eras as the system's Japanese calendar data lists them. This is the
// one era table of the program.
constexpr std::array<Era, 5> kEras = {{
    {L"明治", 1868, 1, 1},
    {L"大正", 1912, 7, 30},
    {L"昭和", 1926, 12, 25},
    {L"平成", 1989, 1, 8},
    {L"令和", 2019, 5, 1},
}};

struct EraDate {
  std::wstring name;
  int year = 0;
};

// Dates before the first era keep their Western year and have no era name.
EraDate EraOf(const CivilDate& date) {
  EraDate result{L"", date.year};
  for (const Era& era : kEras) {
    const bool started = date.year != era.year
                             ? date.year > era.year
                             : (date.month != era.month ? date.month > era.month
                                                        : date.day >= era.day);
    if (started) result = EraDate{era.name, date.year - era.year + 1};
  }
  return result;
}

std::wstring TwoDigits(int n) {
  std::wstring text = std::to_wstring(n % 100);
  return text.size() == 1 ? L"0" + text : text;
}

// A text of one character gets a leading blank.
std::wstring Width2(const std::wstring& text) { return text.size() == 1 ? L" " + text : text; }

// Writes the date with the tokens yyyy, yy, mm, m, dd, d, ggg, gg, ee, e;
// every other character is copied.
std::wstring FormatDate(const CivilDate& date, std::wstring_view pattern) {
  const EraDate era = EraOf(date);
  std::wstring out;
  for (size_t i = 0; i < pattern.size();) {
    auto next = [&](std::wstring_view token) {
      if (pattern.substr(i, token.size()) != token) return false;
      i += token.size();
      return true;
    };
    if (next(L"yyyy")) {
      std::wstring year = std::to_wstring(date.year);
      out += std::wstring(year.size() < 4 ? 4 - year.size() : 0, L'0') + year;
    } else if (next(L"yy")) {
      out += TwoDigits(date.year);
    } else if (next(L"mm")) {
      out += TwoDigits(date.month);
    } else if (next(L"m")) {
      out += std::to_wstring(date.month);
    } else if (next(L"dd")) {
      out += TwoDigits(date.day);
    } else if (next(L"d")) {
      out += std::to_wstring(date.day);
    } else if (next(L"ggg")) {
      out += era.name;
    } else if (next(L"gg")) {
      out += era.name.substr(0, 1);
    } else if (next(L"ee")) {
      out += era.year < 100 ? TwoDigits(era.year) : std::to_wstring(era.year);
    } else if (next(L"e")) {
      out += std::to_wstring(era.year);
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

// The fixed era of the older layouts: 平成 years for every date from 1989 on,
// the Western year ("西暦") before.
struct FixedEra {
  std::wstring name, year, year2;
};

FixedEra FixedEraOf(const CivilDate& date) {
  const int heisei = date.year - 1988;
  FixedEra era;
  era.name = heisei < 1 ? L"西暦" : L"平成";
  era.year = std::to_wstring(heisei < 1 ? date.year : heisei);
  era.year2 = Width2(era.year);
  return era;
}

struct Layout {
  int mode, type;
};

Layout LayoutOf(int32_t cnvMode, int32_t cnvType) {
  return Layout{cnvMode < 0 ? 0 : cnvMode, cnvType < 0 ? 8 : cnvType};
}

// The layouts of the fixed-era members; without the day they end at the
// month.
std::wstring FixedEraLayout(const CivilDate& d, Layout layout, bool withDay) {
  auto F = [&](std::wstring_view pattern) { return FormatDate(d, pattern); };
  auto day = [&](const std::wstring& text) { return withDay ? text : std::wstring(); };
  const std::wstring M2 = Width2(F(L"m")), D2 = Width2(F(L"d"));
  if (layout.mode == 0) {
    switch (layout.type) {
      case 1: return F(L"yyyy/m") + day(F(L"/d"));
      case 3: case 8: return F(L"yyyy年mm月") + day(F(L"dd日"));
      case 4: case 5: return F(L"yyyy年m月") + day(F(L"d日"));
      case 6: return F(L"yyyy年 ") + M2 + L"月" + day(L" " + D2 + L"日");
      case 7: return std::to_wstring(d.year) + L"年 " + M2 + L"月" + day(L" " + D2 + L"日");
      case 99: return L"西暦";
      default: return F(L"yyyy/mm") + day(F(L"/dd"));  // also layout 2
    }
  }
  const FixedEra e = FixedEraOf(d);
  switch (layout.type) {
    case 1: return e.year + L"/" + F(L"m") + day(F(L"/d"));
    case 2: return e.name + e.year + F(L"/mm") + day(F(L"/dd"));
    case 3: return e.name.substr(0, 1) + L" " + e.year2 + L"年" + M2 + L"月" + day(D2 + L"日");
    case 4: return e.year + F(L"年m月") + day(F(L"d日"));
    case 5: return e.name + L" " + e.year + F(L"年m月") + day(F(L"d日"));
    case 6: return e.year2 + L"年" + M2 + L"月" + day(L" " + D2 + L"日");
    case 7: return e.name + L" " + e.year2 + L"年" + M2 + L"月" + day(L" " + D2 + L"日");
    case 8: return e.name + e.year + F(L"年mm月") + day(F(L"dd日"));
    case 99: return e.name;
    default: return e.year + L"/" + F(L"mm") + day(F(L"/dd"));
  }
}

bool IsDigitChar(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'\uFF10' && c <= L'\uFF19');
}

}  // namespace

std::wstring clsPublicFunc::DateConv(const Variant& valDate, int32_t cnvMode, int32_t cnvType) {
  const auto value = DateValue(valDate);
  if (!value) return ValueText(valDate);
  const CivilDate d = CivilOf(*value);
  const Layout layout = LayoutOf(cnvMode, cnvType);
  auto F = [&](std::wstring_view pattern) { return FormatDate(d, pattern); };
  const std::wstring M2 = Width2(F(L"m")), D2 = Width2(F(L"d")), E2 = Width2(F(L"e"));
  if (layout.mode == 0) {
    switch (layout.type) {
      case 1: return F(L"yyyy/m/d");
      case 2: return F(L"yy/m/d");
      case 3: return F(L"yyyy年mm月dd日");
      case 4: return F(L"yyyy年m月d日");
      case 5: return F(L"yy年m月d日");
      case 6: return F(L"yyyy年 ") + M2 + L"月 " + D2 + L"日";
      case 7: return Width2(std::to_wstring(d.year % 100)) + L"年 " + M2 + L"月 " + D2 + L"日";
      case 8: return F(L"yyyy年mm月dd日");
      default: return F(L"yyyy/mm/dd");
    }
  }
  switch (layout.type) {
    case 1: return F(L"ee/mm/dd");
    case 2: return F(L"e/m/d");
    case 3: return F(L"ee年mm月dd日");
    case 4: return F(L"e年m月d日");
    case 5: return F(L"ggg e年m月d日");
    case 6: return E2 + L"年 " + M2 + L"月 " + D2 + L"日";
    case 7: return F(L"ggg") + L" " + E2 + L"年 " + M2 + L"月 " + D2 + L"日";
    case 8: return F(L"ggge年mm月dd日");
    default: return F(L"gg") + L" " + E2 + L"年" + M2 + L"月" + D2 + L"日";
  }
}

std::wstring clsPublicFunc::DateFormat(const Variant& valDate, int32_t cnvMode,
                                       int32_t cnvType) {
  const auto value = DateValue(valDate);
  if (!value) return ValueText(valDate);
  return FixedEraLayout(CivilOf(*value), LayoutOf(cnvMode, cnvType), true);
}

std::wstring clsPublicFunc::DateFormatYM(const Variant& valDate, int32_t cnvMode,
                                         int32_t cnvType) {
  const auto value = DateValue(valDate);
  if (!value) return ValueText(valDate);
  return FixedEraLayout(CivilOf(*value), LayoutOf(cnvMode, cnvType), false);
}

std::wstring clsPublicFunc::StrToDate(const std::wstring& astrDate) {
  const Variant trimmed(Trim(astrDate));
  if (IsNumericValue(trimmed)) {
    const auto number = RoundedInteger(trimmed, INT32_MIN, INT32_MAX);
    if (!number || *number == 0 || *number == 19000101) return L"";
  }
  if (DateFromText(astrDate)) return astrDate;
  auto piece = [&](size_t from, size_t count) {
    return from < astrDate.size() ? astrDate.substr(from, count) : std::wstring();
  };
  std::wstring built = piece(0, 4) + L"/" + piece(4, 2) + L"/" + piece(6, 2);
  built.resize(std::min<size_t>(built.size(), 10));
  return DateFromText(built) ? built : L"";
}

std::wstring clsPublicFunc::DateEditZeroToSpace(const std::wstring& strDate) {
  if (!DateFromText(strDate) || strDate.find_first_of(L"/年月日") == std::wstring::npos) {
    return strDate;
  }
  std::wstring out, run;
  bool failed = false;
  auto flushRun = [&]() {
    if (run.empty()) return;
    if (run.size() > 10) {
      failed = true;
      return;
    }
    bool fullWidth = true;
    int64_t value = 0;
    for (wchar_t c : run) {
      const bool wide = c >= L'\uFF10';
      fullWidth = fullWidth && wide;
      value = value * 10 + (wide ? c - L'\uFF10' : c - L'0');
    }
    std::wstring digits = std::to_wstring(value);
    if (fullWidth) {
      for (wchar_t& c : digits) c = static_cast<wchar_t>(L'\uFF10' + (c - L'0'));
    }
    const wchar_t blank = fullWidth ? L'\u3000' : L' ';
    out += std::wstring(run.size() > digits.size() ? run.size() - digits.size() : 0, blank) +
           digits;
    run.clear();
  };
  for (wchar_t c : strDate) {
    if (IsDigitChar(c)) {
      run += c;
    } else {
      flushRun();
      out += c;
    }
  }
  flushRun();
  return failed ? strDate : out;
}
