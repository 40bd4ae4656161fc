#pragma once
// An exact decimal number as sign, digits and scale. Amounts are rounded and
// formatted on their decimal digits so that 2.675 stays 2.675 and a half is a
// half; binary floating point never decides a kept digit.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvale {

class DecimalNumber {
 public:
  enum class Rounding { Truncate, HalfAwayFromZero, HalfEven };

  DecimalNumber() = default;
  static DecimalNumber FromInt64(int64_t value, int scale = 0);
  // The double as its 15 significant decimal digits, as the system's own
  // conversions read it.
  static std::optional<DecimalNumber> FromDouble(double value);
  // The numeric test on a text: blanks around, one leading sign, thousands
  // separators, one decimal point and an exponent; nothing else.
  static std::optional<DecimalNumber> FromText(std::wstring_view text);

  bool IsNegative() const { return negative_ && !IsZero(); }
  bool IsZero() const { return digits_.find_first_not_of('0') == std::string::npos; }
  int Scale() const { return scale_; }
  DecimalNumber Rounded(int places, Rounding how) const;
  DecimalNumber Negated() const;
  // The value times 10^scale as an integer; nullopt beyond 64 bits or when
  // digits below that scale would be lost.
  std::optional<int64_t> ToScaled(int scale) const;
  double ToDouble() const;
  // Integer digits without leading zeros ("0" for none) and exactly `count`
  // decimals (cut, not rounded).
  std::string IntegerDigits() const;
  std::string FractionDigits(int count) const;
  // Formats with a number pattern of '#', '0', ',' and one '.', rounding
  // halves away from zero; other characters are copied.
  std::wstring Format(std::wstring_view pattern) const;
  int Compare(const DecimalNumber& other) const;

 private:
  bool negative_ = false;
  std::string digits_ = "0";  // all digits, the last `scale_` of them decimals
  int scale_ = 0;
  // A negative scale appends zeros.
  static DecimalNumber FromDigits(bool negative, std::string digits, int scale);
  void Normalize();
};

// The locale's decimal point and thousands separator.
wchar_t LocaleDecimalPoint();
wchar_t LocaleThousandsSeparator();

}  // namespace norvale
