// Check digits of article codes (EAN-13, EAN-8, UPC-E), in-house modulus-11
// codes and free weighted schemes, and a byte sum.
#include <limits>
#include <optional>

#include "LooseValues.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

// The sum of digit × weight over the code, skipping one position (0 for
// none); nullopt for a character that is no digit or a sum beyond 16 bits.
std::optional<int> WeightedSum(const std::wstring& code, const std::wstring& weights,
                               size_t skipPosition = 0) {
  int sum = 0;
  for (size_t i = 0; i < code.size(); ++i) {
    if (i + 1 == skipPosition) continue;
    const wchar_t digit = code[i], weight = weights[i];
    if (digit < L'0' || digit > L'9' || weight < L'0' || weight > L'9') return std::nullopt;
    sum += (digit - L'0') * (weight - L'0');
    if (sum > std::numeric_limits<int16_t>::max()) return std::nullopt;
  }
  return sum;
}

std::wstring Modulus10Digit(const std::wstring& code, const std::wstring& weights) {
  const auto sum = WeightedSum(code, weights);
  if (!sum) return L"";
  const int r = *sum % 10;
  return std::to_wstring(r == 0 ? 0 : 10 - r);
}

bool IsCodeOfLength(const std::wstring& code, size_t length) {
  return code.size() == length && IsNumericValue(Variant(code));
}

}  // namespace

std::wstring clsPublicFunc::CD_GetCD(const std::wstring& strCode) {
  if (!IsCodeOfLength(strCode, 8)) return L"";
  const auto sum = WeightedSum(strCode, L"98765432");
  if (!sum) return L"";
  const int r = *sum % 11;
  if (r <= 1) return L"0";
  if (r == 10) return L"1";
  return std::to_wstring(11 - r);
}

bool clsPublicFunc::CD_CheckCD(const std::wstring& strCode) {
  if (strCode.size() != 9 || strCode == L"000000000" || !IsNumericValue(Variant(strCode))) {
    return false;
  }
  const std::wstring digit = CD_GetCD(strCode.substr(0, 8));
  return !digit.empty() && strCode.substr(8, 1) == digit;
}

std::wstring clsPublicFunc::CD_GetJan13CD(const std::wstring& strCode) {
  if (!IsCodeOfLength(strCode, 12)) return L"";
  return Modulus10Digit(strCode, L"131313131313");
}

std::wstring clsPublicFunc::CD_GetJan8CD(const std::wstring& strCode) {
  if (!IsCodeOfLength(strCode, 7)) return L"";
  return Modulus10Digit(strCode, L"3131313");
}

std::wstring clsPublicFunc::CD_GetUpcE8CD(const std::wstring& strCode) {
  if (strCode.size() < 7) return L"";
  auto left = [&](size_t k) { return strCode.substr(0, k); };
  auto mid = [&](size_t from, size_t n) { return strCode.substr(from - 1, n); };
  const wchar_t last = strCode[6];
  std::wstring body;
  if (last >= L'5' && last <= L'9') body = left(6) + L"0000" + mid(7, 1);
  else if (last == L'4') body = left(5) + L"00000" + mid(6, 1);
  else if (last == L'3') body = left(4) + L"00000" + mid(5, 2);
  else if (last == L'0' || last == L'1' || last == L'2') {
    body = left(3) + last + L"0000" + mid(4, 3);
  } else {
    return L"";
  }
  if (!IsCodeOfLength(body, 11)) return L"";
  return Modulus10Digit(body, L"31313131313");
}

std::wstring clsPublicFunc::CD_GetCD_FreeFormat(const std::wstring& strCode, int16_t intCdPos,
                                                int16_t intMJVal, int16_t intWait) {
  const size_t n = strCode.size();
  if (n == 0 || intCdPos < 1 || static_cast<size_t>(intCdPos) > n) return L"";
  if (intWait < 0 || intMJVal == 0) return L"";
  const std::wstring pattern = std::to_wstring(intWait);
  std::wstring weights;
  while (weights.size() < n) weights += pattern;
  if (!IsNumericValue(Variant(strCode))) return L"";
  const auto sum = WeightedSum(strCode, weights, static_cast<size_t>(intCdPos));
  if (!sum) return L"";
  const int r = *sum % intMJVal;
  return r == 0 ? L"0" : std::to_wstring(intMJVal - r);
}

int32_t clsPublicFunc::GetCheckSum(const std::vector<uint8_t>& bytArrayData,
                                   int16_t intStartPos, int16_t intSumLen) {
  const size_t start = intStartPos < 1 ? 0 : static_cast<size_t>(intStartPos - 1);
  if (start >= bytArrayData.size()) return -1;
  if (intSumLen >= 1 && bytArrayData.size() - start < static_cast<size_t>(intSumLen)) return -1;
  int32_t sum = 0;
  for (int k = 0; k < intSumLen; ++k) sum += bytArrayData[start + static_cast<size_t>(k)];
  return sum % 256;
}
