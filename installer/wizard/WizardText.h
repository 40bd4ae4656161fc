#pragma once
// Small text tests the window's procedures share.
#include <cstdint>
#include <cwctype>
#include <optional>
#include <string>

#include "Text.h"

namespace norvale {

// A whole number of decimal digits (blanks around it allowed) that fits
// 16 bits; nothing for any other text.
inline std::optional<int16_t> WholeNumber(const std::wstring& text) {
  const std::wstring digits = Trim(text);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  for (wchar_t c : digits) {
    if (c < L'0' || c > L'9') return std::nullopt;
  }
  const long value = std::stol(digits);
  if (value > INT16_MAX) return std::nullopt;
  return static_cast<int16_t>(value);
}

// Where part first occurs in text, letter case ignored; npos when not, or
// when part is empty.
inline size_t FindIgnoreCase(const std::wstring& text, const std::wstring& part) {
  if (part.empty()) return std::wstring::npos;
  auto lower = [](std::wstring s) {
    for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
  };
  return lower(text).find(lower(part));
}

}  // namespace norvale
