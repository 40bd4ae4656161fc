#include "DecimalNumber.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace norvale {
namespace {

wchar_t LocaleChar(LCTYPE type, wchar_t fallback) {
  wchar_t buffer[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buffer, 8) > 1) return buffer[0];
  return fallback;
}

// Adds one unit in the last place of a digit string.
void IncrementDigits(std::string& digits) {
  for (size_t i = digits.size(); i-- > 0;) {
    if (digits[i] != '9') {
      ++digits[i];
      return;
    }
    digits[i] = '0';
  }
  digits.insert(digits.begin(), '1');
}

}  // namespace

wchar_t LocaleDecimalPoint() { return LocaleChar(LOCALE_SDECIMAL, L'.'); }
wchar_t LocaleThousandsSeparator() { return LocaleChar(LOCALE_STHOUSAND, L','); }

void DecimalNumber::Normalize() {
  if (digits_.empty()) digits_ = "0";
  if (static_cast<int>(digits_.size()) <= scale_) {
    digits_.insert(0, static_cast<size_t>(scale_ + 1) - digits_.size(), '0');
  }
  size_t lead = 0;
  while (lead + 1 < digits_.size() - static_cast<size_t>(scale_) && digits_[lead] == '0') ++lead;
  digits_.erase(0, lead);
  if (IsZero()) negative_ = false;
}

DecimalNumber DecimalNumber::FromDigits(bool negative, std::string digits, int scale) {
  if (scale < 0) {
    digits.append(static_cast<size_t>(-scale), '0');
    scale = 0;
  }
  DecimalNumber n;
  n.negative_ = negative;
  n.digits_ = std::move(digits);
  n.scale_ = scale;
  n.Normalize();
  return n;
}

DecimalNumber DecimalNumber::FromInt64(int64_t value, int scale) {
  DecimalNumber n;
  n.negative_ = value < 0;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  n.digits_ = std::to_string(magnitude);
  n.scale_ = std::max(scale, 0);
  n.Normalize();
  return n;
}

std::optional<DecimalNumber> DecimalNumber::FromDouble(double value) {
  if (!(value == value) || value > 1e300 || value < -1e300) return std::nullopt;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.14e", value);
  // d.dddddddddddddde±x
  std::string text(buffer);
  DecimalNumber n;
  n.negative_ = text[0] == '-';
  if (n.negative_) text.erase(0, 1);
  const size_t e = text.find('e');
  const int exponent = std::atoi(text.c_str() + e + 1);
  std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
  int scale = 14 - exponent;
  while (scale > 0 && digits.size() > 1 && digits.back() == '0') {
    digits.pop_back();
    --scale;
  }
  return FromDigits(n.negative_, std::move(digits), scale);
}

std::optional<DecimalNumber> DecimalNumber::FromText(std::wstring_view text) {
  const wchar_t point = LocaleDecimalPoint();
  const wchar_t separator = LocaleThousandsSeparator();
  size_t i = 0, end = text.size();
  while (i < end && text[i] == L' ') ++i;
  while (end > i && text[end - 1] == L' ') --end;
  DecimalNumber n;
  if (i < end && (text[i] == L'+' || text[i] == L'-')) n.negative_ = text[i++] == L'-';
  std::string digits;
  int scale = 0;
  bool seenPoint = false, seenDigit = false;
  for (; i < end; ++i) {
    const wchar_t c = text[i];
    if (c >= L'0' && c <= L'9') {
      digits.push_back(static_cast<char>(c));
      seenDigit = true;
      if (seenPoint) ++scale;
    } else if (c == point && !seenPoint) {
      seenPoint = true;
    } else if (c == separator && !seenPoint && seenDigit) {
    } else {
      break;
    }
  }
  if (!seenDigit) return std::nullopt;
  long exponent = 0;
  if (i < end && (text[i] == L'e' || text[i] == L'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < end && (text[i] == L'+' || text[i] == L'-')) negativeExponent = text[i++] == L'-';
    const size_t first = i;
    while (i < end && text[i] >= L'0' && text[i] <= L'9' && exponent < 100000) {
      exponent = exponent * 10 + (text[i] - L'0');
      ++i;
    }
    if (i == first || exponent > 400) return std::nullopt;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != end) return std::nullopt;
  scale -= static_cast<int>(exponent);
  return FromDigits(n.negative_, std::move(digits), scale);
}

DecimalNumber DecimalNumber::Rounded(int places, Rounding how) const {
  if (places < 0) places = 0;
  if (places >= scale_) {
    DecimalNumber n = *this;
    n.digits_.append(static_cast<size_t>(places - scale_), '0');
    n.scale_ = places;
    return n;
  }
  DecimalNumber n;
  n.negative_ = negative_;
  const size_t keep = digits_.size() - static_cast<size_t>(scale_ - places);
  n.digits_ = digits_.substr(0, keep);
  n.scale_ = places;
  const std::string dropped = digits_.substr(keep);
  bool up = false;
  if (how != Rounding::Truncate) {
    const char first = dropped[0];
    const bool restZero = dropped.find_first_not_of('0', 1) == std::string::npos;
    if (first > '5' || (first == '5' && !restZero)) {
      up = true;
    } else if (first == '5') {
      up = how == Rounding::HalfAwayFromZero || ((n.digits_.back() - '0') % 2 == 1);
    }
  }
  if (up) IncrementDigits(n.digits_);
  n.Normalize();
  return n;
}

DecimalNumber DecimalNumber::Negated() const {
  DecimalNumber n = *this;
  n.negative_ = !negative_;
  n.Normalize();
  return n;
}

std::optional<int64_t> DecimalNumber::ToScaled(int scale) const {
  if (scale < scale_) {
    if (Rounded(scale, Rounding::Truncate).Compare(*this) != 0) return std::nullopt;
    return Rounded(scale, Rounding::Truncate).ToScaled(scale);
  }
  std::string all = digits_ + std::string(static_cast<size_t>(scale - scale_), '0');
  uint64_t magnitude = 0;
  for (char c : all) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (magnitude > (UINT64_MAX - digit) / 10) return std::nullopt;
    magnitude = magnitude * 10 + digit;
  }
  const uint64_t limit = negative_ ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
  if (magnitude > limit) return std::nullopt;
  return negative_ ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

double DecimalNumber::ToDouble() const {
  std::string text = (negative_ ? "-" : "") + digits_ + "e-" + std::to_string(scale_);
  return std::strtod(text.c_str(), nullptr);
}

std::string DecimalNumber::IntegerDigits() const {
  return digits_.substr(0, digits_.size() - static_cast<size_t>(scale_));
}

std::string DecimalNumber::FractionDigits(int count) const {
  std::string fraction = digits_.substr(digits_.size() - static_cast<size_t>(scale_));
  fraction.resize(static_cast<size_t>(std::max(count, 0)), '0');
  return fraction;
}

int DecimalNumber::Compare(const DecimalNumber& other) const {
  if (IsNegative() != other.IsNegative()) return IsNegative() ? -1 : 1;
  const int scale = std::max(scale_, other.scale_);
  std::string a = digits_ + std::string(static_cast<size_t>(scale - scale_), '0');
  std::string b = other.digits_ + std::string(static_cast<size_t>(scale - other.scale_), '0');
  a.erase(0, std::min(a.find_first_not_of('0'), a.size()));
  b.erase(0, std::min(b.find_first_not_of('0'), b.size()));
  int magnitude = a.size() != b.size() ? (a.size() < b.size() ? -1 : 1) : a.compare(b);
  magnitude = magnitude < 0 ? -1 : (magnitude > 0 ? 1 : 0);
  return IsNegative() ? -magnitude : magnitude;
}

std::wstring DecimalNumber::Format(std::wstring_view pattern) const {
  const size_t pointAt = pattern.find(L'.');
  const std::wstring_view integerPattern = pattern.substr(0, pointAt);
  const std::wstring_view fractionPattern =
      pointAt == std::wstring_view::npos ? std::wstring_view() : pattern.substr(pointAt + 1);
  const auto minIntegers = std::count(integerPattern.begin(), integerPattern.end(), L'0');
  const bool grouping = integerPattern.find(L',') != std::wstring_view::npos;
  const int minDecimals =
      static_cast<int>(std::count(fractionPattern.begin(), fractionPattern.end(), L'0'));
  const int maxDecimals =
      minDecimals +
      static_cast<int>(std::count(fractionPattern.begin(), fractionPattern.end(), L'#'));
  const DecimalNumber rounded = Rounded(maxDecimals, Rounding::HalfAwayFromZero);
  std::string integer = rounded.IntegerDigits();
  if (integer == "0") integer.clear();
  if (static_cast<long>(integer.size()) < minIntegers) {
    integer.insert(0, static_cast<size_t>(minIntegers) - integer.size(), '0');
  }
  std::string fraction = rounded.FractionDigits(maxDecimals);
  while (static_cast<int>(fraction.size()) > minDecimals && fraction.back() == '0') {
    fraction.pop_back();
  }
  std::wstring out;
  if (rounded.IsNegative()) out += L'-';
  for (size_t i = 0; i < integer.size(); ++i) {
    if (grouping && i > 0 && (integer.size() - i) % 3 == 0) out += LocaleThousandsSeparator();
    out += static_cast<wchar_t>(integer[i]);
  }
  // Literal characters of the pattern (other than digit places) stay in
  // place around the number.
  std::wstring prefix, suffix;
  for (wchar_t c : integerPattern) {
    if (c != L'#' && c != L'0' && c != L',') prefix += c;
  }
  for (wchar_t c : fractionPattern) {
    if (c != L'#' && c != L'0') suffix += c;
  }
  if (pointAt != std::wstring_view::npos) {
    out += LocaleDecimalPoint();
    for (char c : fraction) out += static_cast<wchar_t>(c);
  }
  return prefix + out + suffix;
}

}  // namespace norvale
