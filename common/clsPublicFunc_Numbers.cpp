// Numbers and the fraction-processing codes of amounts. Every kept digit is
// decided on exact decimal digits, never on a binary floating-point value.
#include <cmath>
#include <limits>

#include "DecimalNumber.h"
#include "LooseValues.h"
#include "RuntimeError.h"
#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

constexpr int64_t kTenThousand = 10000;

int64_t PowerOfTen(int n) {
  int64_t value = 1;
  while (n-- > 0) value *= 10;
  return value;
}

struct FractionCode {
  uint8_t tens = 0, units = 0;
};

std::optional<FractionCode> SplitFractionCode(int16_t code) {
  if (code < 0 || code >= 2560) return std::nullopt;
  return FractionCode{static_cast<uint8_t>(code / 10), static_cast<uint8_t>(code % 10)};
}

const wchar_t* PatternOfTens(uint8_t tens) {
  switch (tens) {
    case 1: return L"###,###,###,###,##0.0000";
    case 2: return L"###,###,###,###,##0.000";
    case 4: return L"###,###,###,###,##0.0";
    case 5: case 6: case 7: case 8: return L"###,###,###,###,##0";
    default: return L"###,###,###,###,##0.00";
  }
}

// The leading number of a text, as far as it reads: blanks, tabs and line
// feeds are skipped anywhere; "." is the point whatever the locale; E or D
// starts an exponent; &H and &O start hexadecimal and octal numbers.
double LeadingNumber(const std::wstring& original) {
  std::wstring text;
  for (wchar_t c : original) {
    if (c != L' ' && c != L'\t' && c != L'\n') text += c;
  }
  if (text.size() >= 2 && text[0] == L'&' && (text[1] == L'H' || text[1] == L'h' ||
                                               text[1] == L'O' || text[1] == L'o')) {
    const int base = (text[1] == L'H' || text[1] == L'h') ? 16 : 8;
    double value = 0;
    for (size_t i = 2; i < text.size(); ++i) {
      const wchar_t c = text[i];
      const int digit = HexDigitValue(c);
      if (digit < 0 || digit >= base) break;
      value = value * base + digit;
    }
    return value;
  }
  std::string number;
  size_t i = 0;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) number += static_cast<char>(text[i++]);
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] >= L'0' && text[i] <= L'9') number += static_cast<char>(text[i]);
    else if (text[i] == L'.' && !point) { point = true; number += '.'; }
    else break;
  }
  if (i < text.size() && (text[i] == L'E' || text[i] == L'e' || text[i] == L'D' || text[i] == L'd')) {
    std::string exponent = "e";
    size_t j = i + 1;
    if (j < text.size() && (text[j] == L'+' || text[j] == L'-')) exponent += static_cast<char>(text[j++]);
    const size_t digitsStart = j;
    while (j < text.size() && text[j] >= L'0' && text[j] <= L'9') exponent += static_cast<char>(text[j++]);
    if (j > digitsStart) number += exponent;
  }
  return std::strtod(number.c_str(), nullptr);
}

}  // namespace

int64_t clsPublicFunc::RoundOfSmallNum(int64_t aCurValue, int16_t aIntKeta,
                                       int16_t aIntRoundKbn) {
  const int64_t limit = PowerOfTen(10) * kTenThousand;
  if (aCurValue >= limit || aCurValue <= -limit) return aCurValue;
  const int place = aIntKeta < 1 || aIntKeta > 4 ? 1 : aIntKeta;
  const int mode = aIntRoundKbn < 0 || aIntRoundKbn > 2 ? 1 : aIntRoundKbn;
  const int64_t unit = PowerOfTen(4 - place);  // one at the deciding place
  const int64_t step = unit * 10;              // one at the last kept place
  const int64_t h = aCurValue / unit * unit;
  const int64_t r = aCurValue / step * step;
  const int64_t decidingDigit = (h - r) / unit * (h < 0 ? -1 : 1);
  const bool away = (mode == 1 && decidingDigit >= 5) || (mode == 2 && decidingDigit != 0);
  if (!away) return r;
  return h < 0 ? r - step : r + step;
}

Variant clsPublicFunc::CnvNumeric(const Variant& avarValue) {
  const VARIANT& v = avarValue.Raw();
  switch (v.vt) {
    case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: case VT_UI1:
      return avarValue;
    case VT_DATE: {
      const double day = std::nearbyint(v.date);  // halves to even
      if (day < std::numeric_limits<int32_t>::min() || day > std::numeric_limits<int32_t>::max()) {
        return Variant(int32_t{0});
      }
      return Variant(static_cast<int32_t>(day));
    }
    case VT_BOOL: return Variant(int32_t{v.boolVal ? -1 : 0});
    case VT_BSTR: {
      const auto number = NumericValue(avarValue);
      return number ? Variant(number->ToDouble()) : Variant(int32_t{0});
    }
    default: return Variant(int32_t{0});
  }
}

int64_t clsPublicFunc::GetCurNum(const Variant& aVntValue) {
  const auto number = NumericValue(aVntValue);
  if (!number) return 0;
  return number->Rounded(4, DecimalNumber::Rounding::HalfEven).ToScaled(4).value_or(0);
}

int32_t clsPublicFunc::GetLngNum(const Variant& aVntTarget) {
  return static_cast<int32_t>(RoundedInteger(aVntTarget, std::numeric_limits<int32_t>::min(),
                                             std::numeric_limits<int32_t>::max())
                                  .value_or(0));
}

int16_t clsPublicFunc::GetIntNum(const Variant& aVntTarget) {
  return static_cast<int16_t>(RoundedInteger(aVntTarget, std::numeric_limits<int16_t>::min(),
                                             std::numeric_limits<int16_t>::max())
                                  .value_or(0));
}

uint8_t clsPublicFunc::GetBytNum(const Variant& aVntTarget) {
  return static_cast<uint8_t>(RoundedInteger(aVntTarget, 0, 255).value_or(0));
}

Variant clsPublicFunc::GetCutedNum(const Variant& aVntTarget, uint8_t aByt整数桁,
                                   int16_t aInt端数処理, bool* aBlnOutRet) {
  auto number = NumericValue(aVntTarget);
  if (!number) return Variant::Currency(0);
  Variant current = aVntTarget;
  auto fail = [&]() {
    if (aBlnOutRet) *aBlnOutRet = false;
    return current;
  };
  const int signFlag = number->IsNegative() ? 1 : 0;
  if (aByt整数桁 + signFlag > 255) return fail();
  if (static_cast<int>(number->Format(L"################").size()) > aByt整数桁 + signFlag) {
    current = Variant(int32_t{0});
    number = DecimalNumber::FromInt64(0);
    if (aBlnOutRet) *aBlnOutRet = false;
  }
  const auto code = SplitFractionCode(aInt端数処理);
  if (!code) return fail();
  // Fifteen integer digits and five decimals, zero-padded, with the sign.
  std::wstring padded = number->Rounded(5, DecimalNumber::Rounding::HalfAwayFromZero)
                            .Format(L"000000000000000.00000");
  const size_t point = padded.find(LocaleDecimalPoint());
  if (point == std::wstring::npos) return fail();
  const std::wstring integerPart = padded.substr(0, point);
  const std::wstring decimals = padded.substr(point + 1, 5);
  size_t keptLength = 18;
  std::wstring examined = decimals.substr(2);
  int64_t multiplier = 1;
  switch (code->tens) {
    case 1: case 2: case 3: case 4:
      keptLength = 21 - code->tens;
      examined = decimals.substr(5 - code->tens);
      break;
    case 5:
      keptLength = 15;
      examined = decimals;
      break;
    case 6: case 7: case 8: {
      const size_t integerDigits = code->tens - 5;
      keptLength = 20 - code->tens;
      examined = integerPart.substr(integerPart.size() - integerDigits) + decimals;
      multiplier = PowerOfTen(static_cast<int>(integerDigits));
      break;
    }
    default: break;
  }
  const std::wstring kept = padded.substr(0, signFlag + keptLength);
  const bool carry = IsRoundUpByKbn(examined, code->units);
  const auto keptNumber = DecimalNumber::FromText(kept);
  if (!keptNumber) return fail();
  auto keptScaled = keptNumber->ToScaled(4);
  if (!keptScaled) return fail();
  int64_t step = code->tens >= 1 && code->tens <= 4 ? PowerOfTen(code->tens - 1)
                 : code->tens >= 5 && code->tens <= 8 ? kTenThousand
                                                      : 100;
  int64_t result = *keptScaled;
  if (carry) result += signFlag ? -step : step;
  if (multiplier > 1) {
    if (result > std::numeric_limits<int64_t>::max() / multiplier ||
        result < std::numeric_limits<int64_t>::min() / multiplier) {
      return fail();
    }
    result *= multiplier;
  }
  return Variant::Currency(result);
}

Variant clsPublicFunc::GetFormatedNum(const Variant& aVntTarget, uint8_t aByt整数桁,
                                      int16_t aInt端数処理, RaisedError* raised) {
  (void)aByt整数桁;
  const auto code = SplitFractionCode(aInt端数処理);
  if (!code) {
    if (raised) *raised = RaisedError{6, RuntimeErrorDescription(6)};
    return Variant();
  }
  const auto number = NumericValue(aVntTarget);
  if (!number) return Variant(ValueText(aVntTarget));
  return Variant(number->Format(PatternOfTens(code->tens)));
}

std::wstring clsPublicFunc::Edit小数値(const Variant& aVal対象値, int32_t aLng小数部桁数,
                                       const std::wstring& aStr編集文字列,
                                       bool aBolEditBySystem) {
  const auto number = NumericValue(aVal対象値);
  if (!number) return ValueText(aVal対象値);
  const std::wstring pattern = !aStr編集文字列.empty() ? aStr編集文字列
                               : aBolEditBySystem      ? L"#,##0.####"
                                                       : L"#,##0.0000";
  std::wstring text = number->Format(pattern);
  const size_t point = text.find(LocaleDecimalPoint());
  const int64_t n = aLng小数部桁数;
  if (n > 1000000) return ValueText(aVal対象値);
  if (point == std::wstring::npos) {
    if (n >= 1) text.append(static_cast<size_t>(n + 1), L' ');
    return text;
  }
  if (n <= 0) return text.substr(0, point);
  const int64_t decimals = static_cast<int64_t>(text.size() - point - 1);
  if (decimals == 0) {
    text.erase(point, 1);
    text.append(static_cast<size_t>(n + 1), L' ');
  } else if (decimals < n) {
    text.append(static_cast<size_t>(n - decimals), L' ');
  } else {
    text.resize(point + 1 + static_cast<size_t>(n));
  }
  return text;
}

bool clsPublicFunc::IsInRange(const Variant& avarValue, const Variant& avarMin,
                              const Variant& avarMax) {
  const double value = LeadingNumber(ValueText(avarValue));
  return value >= LeadingNumber(ValueText(avarMin)) && LeadingNumber(ValueText(avarMax)) >= value;
}

bool clsPublicFunc::IsNumericStr(const std::wstring& strCheckValue) {
  if (strCheckValue.empty()) return false;
  for (wchar_t c : strCheckValue) {
    if (c < L'0' || c > L'9') return false;
  }
  return true;
}

bool clsPublicFunc::IsRoundUpByKbn(const std::wstring& digits, uint8_t method) {
  if (method == 1) return false;
  if (method == 2) return GetLngNum(Variant(digits)) > 0;
  if (digits.empty()) return false;
  if (method == 3) return digits[0] >= L'5' && digits[0] <= L'9';
  return digits[0] >= L'5';
}
