#include "PublicFuncFixture.h"

namespace {

using CheckDigits = PublicFuncTest;

TEST_F(CheckDigits, BarCodes) {
  EXPECT_EQ(L"4", f_.CD_GetJan13CD(L"490123456789"));
  EXPECT_EQ(L"1", f_.CD_GetJan13CD(L"400638133393"));  // 4006381333931
  EXPECT_NE(L"4", f_.CD_GetJan13CD(L"490123456788"));  // one digit changed
  EXPECT_EQ(L"7", f_.CD_GetJan8CD(L"4901234"));
  EXPECT_NE(L"7", f_.CD_GetJan8CD(L"4901235"));
  EXPECT_EQ(L"", f_.CD_GetJan13CD(L"49012345678"));
  EXPECT_EQ(L"", f_.CD_GetJan13CD(L"4901234567894"));
  EXPECT_EQ(L"", f_.CD_GetJan13CD(L"49012345678 "));
  EXPECT_EQ(L"", f_.CD_GetJan13CD(L"4901234567.9"));
  EXPECT_EQ(L"4", f_.CD_GetUpcE8CD(L"0425261"));
  EXPECT_EQ(L"5", f_.CD_GetUpcE8CD(L"0123456"));  // 012345000065
  EXPECT_EQ(L"", f_.CD_GetUpcE8CD(L"01234A5"));
  EXPECT_EQ(L"", f_.CD_GetUpcE8CD(L"042526"));
}

TEST_F(CheckDigits, Modulus11) {
  EXPECT_EQ(L"9", f_.CD_GetCD(L"12345678"));
  EXPECT_EQ(L"0", f_.CD_GetCD(L"00000000"));
  EXPECT_EQ(L"1", f_.CD_GetCD(L"00000005"));  // remainder 10
  EXPECT_EQ(L"0", f_.CD_GetCD(L"00000006"));  // remainder 1
  EXPECT_EQ(L"", f_.CD_GetCD(L"1234567"));
  EXPECT_TRUE(f_.CD_CheckCD(L"123456789"));
  EXPECT_FALSE(f_.CD_CheckCD(L"123456780"));
  EXPECT_FALSE(f_.CD_CheckCD(L"000000000"));
  EXPECT_FALSE(f_.CD_CheckCD(L"12345678"));
}

TEST_F(CheckDigits, FreeFormat) {
  EXPECT_EQ(L"4", f_.CD_GetCD_FreeFormat(L"4901234567890", 13, 10, 13));
  EXPECT_EQ(L"7", f_.CD_GetCD_FreeFormat(L"49012347", 8, 10, 31));
  EXPECT_EQ(L"10", f_.CD_GetCD_FreeFormat(L"10", 2, 11, 1));  // remainder 1
  EXPECT_EQ(L"", f_.CD_GetCD_FreeFormat(L"49012347", 0, 10, 31));
  EXPECT_EQ(L"", f_.CD_GetCD_FreeFormat(L"49012347", 9, 10, 31));
  EXPECT_EQ(L"", f_.CD_GetCD_FreeFormat(L"49012347", 8, 0, 31));
  EXPECT_EQ(L"", f_.CD_GetCD_FreeFormat(L"49012347", 8, 10, -31));
  EXPECT_EQ(L"", f_.CD_GetCD_FreeFormat(std::wstring(5000, L'9'), 1, 10, 9));  // 16-bit sum
}

TEST_F(CheckDigits, ByteSums) {
  const std::vector<uint8_t> bytes{0x10, 0x20, 0xF0};
  EXPECT_EQ(0x20, f_.GetCheckSum(bytes, 1, 3));
  EXPECT_EQ(0x10, f_.GetCheckSum(bytes, 2, 2));
  EXPECT_EQ(0xF0, f_.GetCheckSum(bytes, 3, 1));
  EXPECT_EQ(0x20, f_.GetCheckSum(bytes, 0, 3));
  EXPECT_EQ(0, f_.GetCheckSum(bytes, 2, 0));
  EXPECT_EQ(-1, f_.GetCheckSum(bytes, 4, 0));
  EXPECT_EQ(-1, f_.GetCheckSum(bytes, 2, 3));
  EXPECT_EQ(-1, f_.GetCheckSum({}, 1, 1));
}

}  // namespace
