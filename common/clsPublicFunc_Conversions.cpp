// Text, byte and hexadecimal conversions, SQL literals and the command line.
#include <algorithm>

#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

constexpr size_t kMaxByteIndex = 32767;

// Multiplies a little-endian base-10^4 number by `factor` and adds `addend`.
void MultiplyAdd(std::vector<uint32_t>& limbs, uint32_t factor, uint32_t addend) {
  uint32_t carry = addend;
  for (uint32_t& limb : limbs) {
    const uint32_t value = limb * factor + carry;
    limb = value % 10000;
    carry = value / 10000;
  }
  while (carry) {
    limbs.push_back(carry % 10000);
    carry /= 10000;
  }
}

std::wstring LimbsText(const std::vector<uint32_t>& limbs) {
  std::wstring out;
  for (size_t i = limbs.size(); i-- > 0;) {
    std::wstring part = std::to_wstring(limbs[i]);
    if (!out.empty()) part.insert(0, 4 - part.size(), L'0');
    out += part;
  }
  return out.empty() ? L"0" : out;
}

}  // namespace

std::wstring clsPublicFunc::CutCrlf(const std::wstring& aStrValue) {
  return ReplaceAll(aStrValue, L"\r\n", L"");
}

std::wstring clsPublicFunc::CutNull(const std::wstring& aStrTxte) { return CutAtNull(aStrTxte); }

std::wstring clsPublicFunc::CnvNullToSpace(const std::wstring& aStrValue) {
  return aStrValue.empty() ? L" " : aStrValue;
}

std::wstring clsPublicFunc::CnvDbString(const std::wstring& aStrValue, bool aIsStartEndUse) {
  const std::wstring doubled = ReplaceAll(CnvNullToSpace(aStrValue), L"'", L"''");
  return aIsStartEndUse ? L"'" + doubled + L"'" : doubled;
}

std::wstring clsPublicFunc::CutSinglQuote(const std::wstring& aStrValue) {
  return L"'" + ReplaceAll(aStrValue, L"'", L"''") + L"'";
}

std::wstring clsPublicFunc::CnvDbBoolean(bool aBlnValue) { return aBlnValue ? L"1" : L"0"; }

std::wstring clsPublicFunc::CutValfromString(const std::wstring& sStrText,
                                             const std::wstring& aStrCutVal,
                                             const std::wstring& aStrPostValue) {
  if (sStrText.empty()) return L"";
  if (aStrCutVal.empty()) return sStrText;
  return ReplaceAll(sStrText, aStrCutVal, aStrPostValue);
}

std::wstring clsPublicFunc::ByteToAsciiStr(const std::vector<uint8_t>& SrcData) {
  std::wstring out;
  for (uint8_t byte : SrcData) out += HexOfByte(byte);
  return out;
}

std::wstring clsPublicFunc::StrToHex(const std::wstring& aStrVal) {
  const std::string bytes = ToAnsi(aStrVal);
  return ByteToAsciiStr(std::vector<uint8_t>(bytes.begin(), bytes.end()));
}

std::wstring clsPublicFunc::ByteToChr(const std::vector<uint8_t>& SrcData) {
  std::wstring out;
  for (uint8_t byte : SrcData) {
    const char c = static_cast<char>(byte);
    const std::wstring converted = FromAnsi(std::string_view(&c, 1));
    // A lead byte alone is no character; it reads as its own code point
    // rather than vanishing, so every byte keeps one character.
    out += converted.size() == 1 ? converted[0] : static_cast<wchar_t>(byte);
  }
  return out;
}

bool clsPublicFunc::ByteToByte(std::vector<uint8_t>& bytData1, int16_t intStart1,
                               const std::vector<uint8_t>& bytData2, int16_t intStart2,
                               int16_t intLen2) {
  const size_t target = intStart1 < 1 ? 0 : static_cast<size_t>(intStart1 - 1);
  const size_t source = intStart2 < 1 ? 0 : static_cast<size_t>(intStart2 - 1);
  if (bytData1.empty() || bytData2.empty() || bytData1.size() > kMaxByteIndex + 1 ||
      bytData2.size() > kMaxByteIndex + 1 || intLen2 < 1) {
    return false;
  }
  for (size_t k = 0; k < static_cast<size_t>(intLen2); ++k) {
    if (target + k >= bytData1.size() || source + k >= bytData2.size()) return false;
    bytData1[target + k] = bytData2[source + k];
  }
  return true;
}

std::wstring clsPublicFunc::ByteToNumStr(const std::vector<uint8_t>& SrcData) {
  // Exact integer arithmetic over the first eight bytes; the number can
  // reach 2^64 - 1, beyond which the currency range of the original result
  // ends at 2^63.
  uint64_t value = 0;
  for (size_t i = std::min<size_t>(SrcData.size(), 8); i-- > 0;) {
    value = (value << 8) | SrcData[i];
  }
  if (value >= (uint64_t{1} << 63)) return L"0";
  return std::to_wstring(value);
}

std::wstring clsPublicFunc::CnvHexStrToNumStr(const std::wstring& aStrHexValue) {
  std::wstring text = Trim(aStrHexValue);
  if (text.empty()) return L"";
  if (text.size() % 2 == 1) text.insert(0, 1, L'0');
  // Summed exactly in decimal: every digit is kept however long the text.
  std::vector<uint32_t> limbs;
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexDigitValue(text[i]), low = HexDigitValue(text[i + 1]);
    if (high < 0 || low < 0) return L"";
    MultiplyAdd(limbs, 256, static_cast<uint32_t>(high * 16 + low));
  }
  return LimbsText(limbs);
}

bool clsPublicFunc::IsArgInclude(const std::wstring& aStrArg) {
  const std::wstring arguments = Trim(ArgumentsOfCommandLine(GetCommandLineW()));
  if (arguments.empty()) return false;
  size_t position = 0;
  while (true) {
    const size_t blank = arguments.find(L' ', position);
    const size_t end = blank == std::wstring::npos ? arguments.size() : blank;
    if (arguments.compare(position, end - position, aStrArg) == 0) return true;
    if (blank == std::wstring::npos) return false;
    position = blank + 1;
  }
}
