// Shift-JIS fixed-width text: widths are the bytes of the ANSI code page, and
// a double-byte character is never cut in two.
#include <algorithm>
#include <limits>

#include "DecimalNumber.h"
#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

constexpr int kMaxWidth = std::numeric_limits<int16_t>::max();

// Bytes one character takes: 1 for a single-byte ANSI code of 0 to 0xE1,
// 2 otherwise (every lead byte makes the 16-bit code negative).
int CharWidth(wchar_t c) {
  const std::string bytes = ToAnsi(std::wstring_view(&c, 1));
  if (bytes.size() != 1) return 2;
  return static_cast<unsigned char>(bytes[0]) <= 0xE1 ? 1 : 2;
}

std::wstring PadText(int count, int16_t padCode) {
  if (count <= 0) return L"";
  wchar_t pad = L' ';
  if (padCode >= 0) {
    const char byte = static_cast<char>(padCode & 0xFF);
    const std::wstring converted = FromAnsi(std::string_view(&byte, 1));
    pad = converted.empty() ? L'?' : converted[0];
  }
  return std::wstring(static_cast<size_t>(count), pad);
}

// The characters of `text` that fit into `width` bytes from the start,
// stopping at the first that does not.
size_t CharsFitting(const std::wstring& text, int width, int* used) {
  *used = 0;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    const int w = CharWidth(text[i]);
    if (*used + w > width) break;
    *used += w;
  }
  return i;
}

}  // namespace

int32_t clsPublicFunc::GetLengthSjis(const std::wstring& aStrValue) {
  if (IsBlank(aStrValue)) return 0;
  const int length = AnsiByteLength(aStrValue);
  return length > 0 ? length : -1;
}

std::wstring clsPublicFunc::StrFixed(const std::wstring& aStrVal, int16_t aIntLen,
                                     int16_t aBytPadChr) {
  if (aIntLen < 1) return L"";
  int used = 0;
  const size_t taken = CharsFitting(aStrVal, aIntLen, &used);
  return aStrVal.substr(0, taken) + PadText(aIntLen - used, aBytPadChr);
}

std::wstring clsPublicFunc::StrRight(const std::wstring& strData, int16_t intByte,
                                     const std::wstring& aBytPadChr) {
  std::wstring working = strData;
  int width = AnsiByteLength(strData);
  if (width > intByte) {
    working = Trim(StrFixed(strData, intByte));
    width = AnsiByteLength(working);
  }
  if (width < intByte) {
    const auto pad = DecimalNumber::FromText(aBytPadChr);
    if (pad) {
      const auto code = pad->Rounded(0, DecimalNumber::Rounding::HalfEven).ToScaled(0);
      if (code && *code <= 255) {
        working = PadText(intByte - width, *code < 0 ? int16_t{-1} : static_cast<int16_t>(*code)) +
                  working;
      }
    }
  }
  return working;
}

std::wstring clsPublicFunc::StrCentering(const std::wstring& aStrVal, int16_t aIntLen) {
  if (aIntLen < 1) return L"";
  const int width = AnsiByteLength(aStrVal);
  if (width == 0) return std::wstring(static_cast<size_t>(aIntLen), L' ');
  if (width >= aIntLen) return StrFixed(aStrVal, aIntLen);
  return StrFixed(std::wstring(static_cast<size_t>((aIntLen - width) / 2), L' ') + aStrVal,
                  aIntLen);
}

int16_t clsPublicFunc::StrSeparat(const std::wstring& aStrVal,
                                  std::vector<std::wstring>& aStrSepBuf,
                                  const std::wstring& aStrSepValue, int16_t aIntMaxDigit) {
  const std::wstring separator = aStrSepValue.empty() ? L"|" : aStrSepValue;
  const std::wstring text = Trim(aStrVal);
  std::vector<std::wstring> pieces;
  // Each head takes at least one character, so every cut makes progress,
  // even a double-byte character wider than the maximum (stored whole).
  auto store = [&](std::wstring piece) {
    if (aIntMaxDigit > 0) {
      while (AnsiByteLength(piece) > aIntMaxDigit) {
        int used = 0;
        const size_t taken = std::max<size_t>(1, CharsFitting(piece, aIntMaxDigit, &used));
        pieces.push_back(taken == 1 && used == 0 ? piece.substr(0, 1)
                                                 : StrFixed(piece.substr(0, taken), aIntMaxDigit));
        piece.erase(0, taken);
      }
    }
    pieces.push_back(std::move(piece));
  };
  size_t position = 0;
  while (true) {
    size_t hit = std::wstring::npos;
    for (size_t i = position; i + separator.size() <= text.size(); ++i) {
      if (TextEqualsIgnoreCase(std::wstring_view(text).substr(i, separator.size()), separator)) {
        hit = i;
        break;
      }
    }
    if (hit == std::wstring::npos) break;
    store(text.substr(position, hit - position));
    position = hit + separator.size();
    if (pieces.size() > static_cast<size_t>(kMaxWidth)) return 0;
  }
  store(text.substr(position));
  if (pieces.size() > static_cast<size_t>(kMaxWidth)) return 0;
  aStrSepBuf = std::move(pieces);
  return static_cast<int16_t>(aStrSepBuf.size());
}

std::wstring clsPublicFunc::StrLineByLength(const std::wstring& aStrVal,
                                            const std::vector<int16_t>& aIntLen) {
  if (std::none_of(aIntLen.begin(), aIntLen.end(), [](int16_t n) { return n >= 1; })) {
    return aStrVal;
  }
  std::wstring rest = aStrVal, out;
  bool first = true;
  for (int16_t length : aIntLen) {
    if (length < 1) continue;
    const size_t n = std::min(rest.size(), static_cast<size_t>(length));
    if (!first) out += L"\r\n";
    out += rest.substr(0, n);
    rest.erase(0, n);
    first = false;
  }
  return out;
}

std::wstring clsPublicFunc::StrCutSpace(const std::wstring& strData, int32_t intCutKbn) {
  if (intCutKbn < 0 || intCutKbn > 2) return strData;
  std::wstring out;
  for (wchar_t c : strData) {
    const bool half = c == L' ' && intCutKbn != 2;
    const bool full = c == L'\u3000' && intCutKbn != 1;
    if (!half && !full) out += c;
  }
  return out;
}

bool clsPublicFunc::SetStringToByteArry(const std::wstring& strSource,
                                        std::vector<uint8_t>& dstBuf,
                                        const std::wstring& strCrVal) {
  if (dstBuf.size() > static_cast<size_t>(kMaxWidth)) return false;
  const std::string pad = ToAnsi(strCrVal);
  std::fill(dstBuf.begin(), dstBuf.end(), pad.empty() ? uint8_t{0} : static_cast<uint8_t>(pad[0]));
  const std::string bytes = ToAnsi(strSource);
  std::copy_n(bytes.begin(), std::min(bytes.size(), dstBuf.size()), dstBuf.begin());
  return true;
}
