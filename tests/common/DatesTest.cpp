#include "LooseValues.h"
#include "PublicFuncFixture.h"

namespace {

using norvale::Variant;
using Dates = PublicFuncTest;

Variant DateVariant(int y, int m, int d) { return Variant::Date(norvale::DateOf(y, m, d)->Value()); }

TEST_F(Dates, WesternLayoutsOfDateConv) {
  const Variant d = DateVariant(2023, 6, 5);
  const std::pair<int, const wchar_t*> cases[] = {
      {1, L"2023/6/5"},         {2, L"23/6/5"},         {3, L"2023年06月05日"},
      {4, L"2023年6月5日"},      {5, L"23年6月5日"},      {6, L"2023年  6月  5日"},
      {7, L"23年  6月  5日"},    {8, L"2023年06月05日"}, {0, L"2023/06/05"}};
  for (const auto& [type, expected] : cases) EXPECT_EQ(expected, f_.DateConv(d, 0, type)) << type;
  EXPECT_EQ(L"2023年06月05日", f_.DateConv(d));
}

TEST_F(Dates, EraLayoutsOfDateConv) {
  const Variant d = DateVariant(2023, 6, 5);
  EXPECT_EQ(L"05/06/05", f_.DateConv(d, 1, 1));
  EXPECT_EQ(L"5/6/5", f_.DateConv(d, 1, 2));
  EXPECT_EQ(L"05年06月05日", f_.DateConv(d, 1, 3));
  EXPECT_EQ(L"令和 5年6月5日", f_.DateConv(d, 1, 5));
  EXPECT_EQ(L" 5年  6月  5日", f_.DateConv(d, 1, 6));
  EXPECT_EQ(L"令和5年06月05日", f_.DateConv(d, 1, 8));
  EXPECT_EQ(L"令  5年 6月 5日", f_.DateConv(d, 1, 0));
}

// The day before and the first day of every era.
TEST_F(Dates, EraBoundaries) {
  struct Case { int y, m, d; const wchar_t* expected; } cases[] = {
      {1867, 12, 31, L"1867年12月31日"}, {1868, 1, 1, L"明治1年01月01日"},
      {1912, 7, 29, L"明治45年07月29日"}, {1912, 7, 30, L"大正1年07月30日"},
      {1926, 12, 24, L"大正15年12月24日"}, {1926, 12, 25, L"昭和1年12月25日"},
      {1989, 1, 7, L"昭和64年01月07日"},  {1989, 1, 8, L"平成1年01月08日"},
      {2019, 4, 30, L"平成31年04月30日"}, {2019, 5, 1, L"令和1年05月01日"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, f_.DateConv(DateVariant(c.y, c.m, c.d), 1, 8)) << c.y;
  }
}

TEST_F(Dates, FixedHeiseiLayoutsOfDateFormat) {
  const Variant d = DateVariant(2023, 6, 5);
  EXPECT_EQ(L"平成35/06/05", f_.DateFormat(d, 1, 2));
  EXPECT_EQ(L"35/6/5", f_.DateFormat(d, 1, 1));
  EXPECT_EQ(L"平 35年 6月 5日", f_.DateFormat(d, 1, 3));
  EXPECT_EQ(L"35年 6月  5日", f_.DateFormat(d, 1, 6));
  EXPECT_EQ(L"平成 35年 6月  5日", f_.DateFormat(d, 1, 7));
  EXPECT_EQ(L"平成35年06月05日", f_.DateFormat(d, 1, 8));
  EXPECT_EQ(L"平成", f_.DateFormat(d, 1, 99));
  EXPECT_EQ(L"35/06/05", f_.DateFormat(d, 1, 0));
  EXPECT_EQ(L"平成1/01/10", f_.DateFormat(DateVariant(1989, 1, 10), 1, 2));
  EXPECT_EQ(L"西暦1988/12/31", f_.DateFormat(DateVariant(1988, 12, 31), 1, 2));
  EXPECT_EQ(L"西暦", f_.DateFormat(DateVariant(1988, 12, 31), 1, 99));
  EXPECT_EQ(L"2023年  6月  5日", f_.DateFormat(d, 0, 7));
  EXPECT_EQ(L"西暦", f_.DateFormat(d, 0, 99));
  EXPECT_EQ(L"2023/6", f_.DateFormatYM(d, 0, 1));
  EXPECT_EQ(L"2023年  6月", f_.DateFormatYM(d, 0, 6));
  EXPECT_EQ(L"2023年  6月", f_.DateFormatYM(d, 0, 7));
  EXPECT_EQ(L"2023/06", f_.DateFormatYM(d, 0, 0));
  EXPECT_EQ(L"平成35/06", f_.DateFormatYM(d, 1, 2));
  EXPECT_EQ(L"平 35年 6月", f_.DateFormatYM(d, 1, 3));
}

TEST_F(Dates, NonDatesComeBackAsTheirText) {
  EXPECT_EQ(L"abc", f_.DateConv(Variant(L"abc")));
  EXPECT_EQ(L"12", f_.DateFormat(Variant(int32_t{12})));
  EXPECT_EQ(L"", f_.DateFormatYM(Variant::Null()));
  EXPECT_EQ(L"2023/6/5", f_.DateFormat(Variant(L"2023年6月5日"), 0, 1));
}

TEST_F(Dates, StrToDate) {
  EXPECT_EQ(L"2023/06/15", f_.StrToDate(L"20230615"));
  EXPECT_EQ(L"2023/6/15", f_.StrToDate(L"2023/6/15"));
  EXPECT_EQ(L"", f_.StrToDate(L"0"));
  EXPECT_EQ(L"", f_.StrToDate(L" 0 "));
  EXPECT_EQ(L"", f_.StrToDate(L"19000101"));
  EXPECT_EQ(L"", f_.StrToDate(L"20231301"));
  EXPECT_EQ(L"", f_.StrToDate(L"abc"));
  EXPECT_EQ(L"", f_.StrToDate(L"99999999999"));
}

TEST_F(Dates, DateEditZeroToSpace) {
  EXPECT_EQ(L"2023/ 6/ 5", f_.DateEditZeroToSpace(L"2023/06/05"));
  EXPECT_EQ(L"2023年 6月 5日", f_.DateEditZeroToSpace(L"2023年06月05日"));
  EXPECT_EQ(L"2023/10/ 1", f_.DateEditZeroToSpace(L"2023/10/01"));
  EXPECT_EQ(L"２０２３/\u3000６/\u3000５", f_.DateEditZeroToSpace(L"２０２３/０６/０５"));
  EXPECT_EQ(L"2023/ 6/ 5  8: 7", f_.DateEditZeroToSpace(L"2023/06/05 08:07"));
  EXPECT_EQ(L"2023-06-05", f_.DateEditZeroToSpace(L"2023-06-05"));
  EXPECT_EQ(L"abc", f_.DateEditZeroToSpace(L"abc"));
}

}  // namespace
