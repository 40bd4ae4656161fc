// Card numbers of the card scheme: scrambled through the object's
// transposition table, behind an unscrambled three-letter prefix.
#include "LooseValues.h"
#include "Text.h"
#include "clsPublicFunc.h"

using namespace norvale;

namespace {

constexpr wchar_t kCardPad = L'@';

struct CardParts {
  std::wstring prefix, body;
};

CardParts SplitCardNumber(const std::wstring& cardNo) {
  if (cardNo.size() >= 3) {
    bool prefix = true;
    for (size_t i = 0; i < 3; ++i) {
      prefix = prefix && !IsNumericValue(Variant(std::wstring(1, cardNo[i])));
    }
    if (prefix) return CardParts{cardNo.substr(0, 3), cardNo.substr(3)};
  }
  return CardParts{L"", cardNo};
}

}  // namespace

std::wstring clsPublicFunc::Corvane_CardNoEncode(const std::wstring& aStrSourceCardNo) {
  if (aStrSourceCardNo.empty()) return L"";
  CardParts parts = SplitCardNumber(aStrSourceCardNo);
  const size_t n = cardNoTable_.size();
  if (parts.body.size() < n) parts.body.append(n - parts.body.size(), kCardPad);
  std::wstring out(parts.body.size(), L' ');
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t from = i < n ? static_cast<size_t>(cardNoTable_[i]) - 1 : i;
    if (from >= parts.body.size()) return L"";
    out[i] = parts.body[from];
  }
  return parts.prefix + out;
}

std::wstring clsPublicFunc::Corvane_CardNoDecode(const std::wstring& aStrSourceCardNo) {
  if (aStrSourceCardNo.empty()) return L"";
  CardParts parts = SplitCardNumber(aStrSourceCardNo);
  const size_t n = cardNoTable_.size();
  if (parts.body.size() < n) parts.body.append(n - parts.body.size(), kCardPad);
  std::wstring out(parts.body.size(), L' ');
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t to = i < n ? static_cast<size_t>(cardNoTable_[i]) - 1 : i;
    if (to >= out.size()) return L"";
    out[to] = parts.body[i];
  }
  std::wstring kept;
  for (wchar_t c : out) {
    if (c != kCardPad) kept += c;
  }
  return parts.prefix + Trim(kept);
}

bool clsPublicFunc::IsCardNoChrCode(const std::wstring& aStrCardNo) {
  if (aStrCardNo.empty()) return true;
  const std::string bytes = ToAnsi(aStrCardNo);
  if (bytes.size() != aStrCardNo.size()) return false;
  for (char c : bytes) {
    const bool alphanumeric =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alphanumeric) return false;
  }
  return true;
}
