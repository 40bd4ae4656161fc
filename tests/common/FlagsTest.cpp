#include "PublicFuncFixture.h"

namespace {

using Flags = PublicFuncTest;

TEST_F(Flags, ReadsFlagsFromTheLastByte) {
  const std::pair<int32_t, uint8_t> cases[] = {{2, 1}, {1, 0}, {9, 1}, {16, 0},
                                               {17, 0}, {0, 0}, {-1, 0}};
  for (auto [flag, expected] : cases) EXPECT_EQ(expected, f_.Bit_CheckBitByStr(L"0102", flag)) << flag;
  EXPECT_EQ(1, f_.Bit_CheckBitByStr(L"102", 9));
  EXPECT_EQ(1, f_.Bit_CheckBitByStr(L" 0102 ", 2));
  EXPECT_EQ(0, f_.Bit_CheckBitByStr(L"  ", 1));
  EXPECT_EQ(0, f_.Bit_CheckBitByStr(L"G2", 9));
}

TEST_F(Flags, CombinesByOr) {
  EXPECT_EQ(L"FF", f_.Bit_CheckGetOrStr(L"0F", L"f0"));
  EXPECT_EQ(L"0201", f_.Bit_CheckGetOrStr(L"1", L"0200"));
  EXPECT_EQ(L"AB", f_.Bit_CheckGetOrStr(L"", L"ab"));
  EXPECT_EQ(L"", f_.Bit_CheckGetOrStr(L" ", L""));
  EXPECT_EQ(L"", f_.Bit_CheckGetOrStr(L"0X", L"01"));
}

TEST_F(Flags, PassesAndOrSelections) {
  EXPECT_TRUE(f_.Bit_CheckPassThrough(L"05", L"1,3"));
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"1,2"));
  EXPECT_TRUE(f_.Bit_CheckPassThrough(L"05", L"", L"2,3"));
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"", L"2,4"));
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"1", L"2"));
  EXPECT_TRUE(f_.Bit_CheckPassThrough(L"05", L"1", L"3"));
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"x", L""));
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"", L""));
  EXPECT_TRUE(f_.Bit_CheckPassThrough(L"05", L"a0b1c"));           // 0 dropped
  EXPECT_TRUE(f_.Bit_CheckPassThrough(L"45", L"007"));             // flag 7
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"007"));
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"99999999999"));    // beyond 32 bits: no number
  EXPECT_FALSE(f_.Bit_CheckPassThrough(L"05", L"17"));             // beyond the text
}

}  // namespace
