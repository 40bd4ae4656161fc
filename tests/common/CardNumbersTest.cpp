#include <set>

#include "PublicFuncFixture.h"

namespace {

using CardNumbers = PublicFuncTest;

TEST_F(CardNumbers, EveryPositionRoundTrips) {
  // A distinct letter in every position shows where each one goes.
  const std::wstring plain = L"XYZabcdefghijklmnopqrstu";
  const std::wstring scrambled = f_.Corvane_CardNoEncode(plain);
  ASSERT_EQ(24u, scrambled.size());
  EXPECT_EQ(std::set<wchar_t>(scrambled.begin(), scrambled.end()).size(), 24u);
  EXPECT_NE(plain, scrambled);
  EXPECT_EQ(plain, f_.Corvane_CardNoDecode(scrambled));
  for (size_t position = 0; position < 21; ++position) {
    std::wstring digits(21, L'0');
    digits[position] = L'7';
    const std::wstring encoded = f_.Corvane_CardNoEncode(digits);
    EXPECT_EQ(digits, f_.Corvane_CardNoDecode(encoded)) << position;
  }
}

TEST_F(CardNumbers, PaddingPrefixAndLongBodies) {
  const std::wstring encoded = f_.Corvane_CardNoEncode(L"1234567890123456");
  EXPECT_EQ(21u, encoded.size());
  EXPECT_EQ(5, std::count(encoded.begin(), encoded.end(), L'@'));
  EXPECT_EQ(L"1234567890123456", f_.Corvane_CardNoDecode(encoded));
  const std::wstring prefixed = f_.Corvane_CardNoEncode(L"ABC123456789012345678901");
  EXPECT_EQ(L"ABC", prefixed.substr(0, 3));
  EXPECT_EQ(L"ABC123456789012345678901", f_.Corvane_CardNoDecode(prefixed));
  EXPECT_NE(L"AB1", f_.Corvane_CardNoEncode(L"AB1234567890123456789").substr(0, 3));
  const std::wstring longBody = std::wstring(21, L'1') + L"WXYZ";
  const std::wstring longEncoded = f_.Corvane_CardNoEncode(longBody);
  EXPECT_EQ(L"WXYZ", longEncoded.substr(21));
  EXPECT_EQ(longBody, f_.Corvane_CardNoDecode(longEncoded));
  EXPECT_EQ(L"", f_.Corvane_CardNoEncode(L""));
  EXPECT_EQ(L"", f_.Corvane_CardNoDecode(L""));
}

TEST_F(CardNumbers, CharacterCheck) {
  EXPECT_TRUE(f_.IsCardNoChrCode(L""));
  EXPECT_TRUE(f_.IsCardNoChrCode(L"AB12cd"));
  EXPECT_FALSE(f_.IsCardNoChrCode(L"AB-12"));
  EXPECT_FALSE(f_.IsCardNoChrCode(L"AB 12"));
  EXPECT_FALSE(f_.IsCardNoChrCode(L"AB１2"));
  EXPECT_FALSE(f_.IsCardNoChrCode(L"ｱB12"));
}

}  // namespace
