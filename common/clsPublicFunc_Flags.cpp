// Rows of on/off flags held in hexadecimal texts; flag 1 is the lowest bit of
// the last byte.
#include <cstdint>
#include <optional>

#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

std::wstring NormalizedFlags(const std::wstring& text) {
  std::wstring flags = Trim(text);
  if (flags.size() % 2 == 1) flags.insert(0, 1, L'0');
  return flags;
}

std::optional<uint8_t> HexByteAt(const std::wstring& text, size_t index) {
  const int high = HexDigitValue(text[index]), low = HexDigitValue(text[index + 1]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<uint8_t>(high * 16 + low);
}

}  // namespace

uint8_t clsPublicFunc::Bit_CheckBitByStr(const std::wstring& aStrHex, int32_t aLngBitPosition) {
  if (IsBlank(aStrHex)) return 0;
  const std::wstring flags = NormalizedFlags(aStrHex);
  const int64_t flagCount = static_cast<int64_t>(flags.size() / 2) * 8;
  if (aLngBitPosition < 1 || aLngBitPosition > flagCount) return 0;
  const size_t byteNumber = static_cast<size_t>((aLngBitPosition + 7) / 8);
  const int bit = (aLngBitPosition - 1) % 8;
  const auto byte = HexByteAt(flags, flags.size() - 2 * byteNumber);
  if (!byte) return 0;
  return (*byte >> bit) & 1;
}

std::wstring clsPublicFunc::Bit_CheckGetOrStr(const std::wstring& aStrValue1,
                                              const std::wstring& aStrValue2) {
  if (IsBlank(aStrValue1) && IsBlank(aStrValue2)) return L"";
  std::wstring a = NormalizedFlags(aStrValue1), b = NormalizedFlags(aStrValue2);
  if (a.size() < b.size()) a.insert(0, b.size() - a.size(), L'0');
  if (b.size() < a.size()) b.insert(0, a.size() - b.size(), L'0');
  std::wstring out;
  for (size_t i = 0; i < a.size(); i += 2) {
    const auto x = HexByteAt(a, i), y = HexByteAt(b, i);
    if (!x || !y) return L"";
    out += HexOfByte(static_cast<unsigned char>(*x | *y));
  }
  return out;
}

bool clsPublicFunc::Bit_CheckPassThrough(const std::wstring& aStrHex,
                                         const std::wstring& aStrAndSelect,
                                         const std::wstring& aStrOrSelect) {
  if (IsBlank(aStrHex) || (IsBlank(aStrAndSelect) && IsBlank(aStrOrSelect))) return false;
  std::vector<int32_t> andList{0}, orList{0};
  if (!IsBlank(aStrAndSelect)) Bit_GetPositionList(andList, aStrAndSelect);
  if (!IsBlank(aStrOrSelect)) Bit_GetPositionList(orList, aStrOrSelect);
  bool andResult = true;
  for (size_t i = 1; i < andList.size(); ++i) {
    if (Bit_CheckBitByStr(aStrHex, andList[i]) == 0) {
      andResult = false;
      break;
    }
  }
  bool orResult = false;
  if (andResult) {
    for (size_t i = 1; i < orList.size(); ++i) {
      if (Bit_CheckBitByStr(aStrHex, orList[i]) == 1) {
        orResult = true;
        break;
      }
    }
  }
  const bool hasAnd = andList.size() > 1, hasOr = orList.size() > 1;
  if (hasAnd && hasOr) return andResult && orResult;
  if (hasAnd) return andResult;
  if (hasOr) return orResult;
  return false;
}

int16_t clsPublicFunc::Bit_GetPositionList(std::vector<int32_t>& list,
                                           const std::wstring& positions) {
  const std::wstring text = Trim(positions);
  if (text.empty()) return 0;
  list.assign(1, 0);
  std::wstring digits;
  // A run beyond the 32-bit range names no flag and is dropped.
  auto store = [&]() {
    if (digits.empty()) return;
    int64_t value = 0;
    for (wchar_t c : digits) {
      value = value * 10 + (c - L'0');
      if (value > INT32_MAX) break;
    }
    if (value > 0 && value <= INT32_MAX && list.size() <= static_cast<size_t>(INT16_MAX)) {
      list.push_back(static_cast<int32_t>(value));
    }
    digits.clear();
  };
  for (wchar_t c : text) {
    if (c >= L'0' && c <= L'9') digits += c;
    else store();
  }
  store();
  return static_cast<int16_t>(list.size() - 1);
}
