// Card numbers of the card scheme: scrambled through the object's
// transposition table, behind an unscrambled three-letter prefix.
#include <array>

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

// The prefix and the body filled up to the table's length.
CardParts SplitAndPad(const std::wstring& cardNo, size_t tableLength) {
  CardParts parts = SplitCardNumber(cardNo);
  if (parts.body.size() < tableLength) parts.body.append(tableLength - parts.body.size(), kCardPad);
  return parts;
}

// The body index whose character stands at a scrambled index; positions
// beyond the table keep their places.
template <size_t N>
size_t PlainIndexOf(const std::array<uint8_t, N>& table, size_t scrambledIndex) {
  return scrambledIndex < N ? static_cast<size_t>(table[scrambledIndex]) - 1 : scrambledIndex;
}

}  // namespace

std::wstring clsPublicFunc::Corvane_CardNoEncode(const std::wstring& aStrSourceCardNo) {
  if (aStrSourceCardNo.empty()) return L"";
  const CardParts parts = SplitAndPad(aStrSourceCardNo, cardNoTable_.size());
  std::wstring out(parts.body.size(), L' ');
  for (size_t i = 0; i < out.size(); ++i) out[i] = parts.body[PlainIndexOf(cardNoTable_, i)];
  return parts.prefix + out;
}

std::wstring clsPublicFunc::Corvane_CardNoDecode(const std::wstring& aStrSourceCardNo) {
  if (aStrSourceCardNo.empty()) return L"";
  const CardParts parts = SplitAndPad(aStrSourceCardNo, cardNoTable_.size());
  std::wstring out(parts.body.size(), L' ');
  for (size_t i = 0; i < out.size(); ++i) out[PlainIndexOf(cardNoTable_, i)] = parts.body[i];
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
