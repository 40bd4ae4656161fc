#include "LooseValues.h"
#include "PublicFuncFixture.h"

namespace {

using norvale::OleDate;
using Calendar = PublicFuncTest;

OleDate D(int y, int m, int d) { return *norvale::DateOf(y, m, d); }

TEST_F(Calendar, MonthEnds) {
  EXPECT_EQ(D(2024, 2, 29), f_.GetLastMothDay(D(2024, 2, 10).AddDays(14.0 / 24)));
  EXPECT_EQ(D(2024, 2, 1), f_.GetLastMothDay(D(2024, 2, 10).AddDays(14.0 / 24), 0));
  EXPECT_EQ(D(2023, 4, 30), f_.Get月末日(D(2023, 4, 15)));
  EXPECT_EQ(D(2023, 4, 1), f_.Get月初日(D(2023, 4, 15)));
  EXPECT_TRUE(f_.Is末日(L"2024/02/29"));
  EXPECT_TRUE(f_.Is末日(L"2023/02/28"));
  EXPECT_FALSE(f_.Is末日(L"2024/02/28"));
  norvale::RaisedError raised;
  EXPECT_FALSE(f_.Is末日(L"abc", &raised));
  EXPECT_EQ(5, raised.number);
  EXPECT_EQ(L"日付形式の文字列ではありません", raised.description);
}

TEST_F(Calendar, LastDayOfMonthChecksYearBeforeMonth) {
  EXPECT_EQ(29, f_.Get末日(2024, 2));
  EXPECT_EQ(28, f_.Get末日(2023, 2));
  EXPECT_EQ(31, f_.Get末日(9998, 12));
  const std::wstring yearError = L"年の指定が不正です。引数は西暦4桁で指定してください";
  for (auto [y, m, text] : {std::tuple{1900, 1, yearError}, {9999, 1, yearError},
                            {1900, 13, yearError}, {2023, 13, std::wstring(L"月の指定が不正です")},
                            {2023, 0, std::wstring(L"月の指定が不正です")}}) {
    norvale::RaisedError raised;
    EXPECT_EQ(0, f_.Get末日(int16_t(y), int16_t(m), &raised));
    EXPECT_EQ(5, raised.number);
    EXPECT_EQ(text, raised.description) << y << "/" << m;
  }
}

TEST_F(Calendar, BillingPeriods) {
  struct Case { std::vector<int16_t> list; OleDate base; bool found; OleDate start; } cases[] = {
      {{10, 20, 99}, D(2023, 6, 20), true, D(2023, 6, 11)},
      {{10, 20, 99}, D(2023, 6, 30), true, D(2023, 6, 21)},
      {{10, 20, 99}, D(2023, 6, 10), true, D(2023, 6, 1)},
      {{10, 20, 99}, D(2023, 6, 15), false, OleDate()},
      {{20}, D(2023, 3, 20), true, D(2023, 2, 21)},
      {{5, 25}, D(2023, 6, 5), true, D(2023, 5, 26)},
      {{5, 25}, D(2023, 6, 25), true, D(2023, 6, 6)},
      {{15, 31}, D(2023, 6, 15), false, OleDate()},
      {{99}, D(2023, 2, 28), true, D(2023, 1, 29)},
      {{0, 10}, D(2023, 6, 10), true, D(2023, 5, 11)},
  };
  for (const Case& c : cases) {
    OleDate start(-1), end(-1);
    EXPECT_EQ(c.found, f_.Get締め期間(c.base, c.list, &start, &end)) << c.base.Value();
    if (c.found) {
      EXPECT_EQ(c.start, start) << c.base.Value();
      EXPECT_EQ(c.base, end);
    } else {
      EXPECT_EQ(OleDate(-1), start);  // left unwritten
    }
  }
  EXPECT_FALSE(f_.Get締め期間(OleDate(), {10}));
}

TEST_F(Calendar, Ages) {
  EXPECT_EQ(22, f_.Get年齢(D(2000, 6, 5), D(2023, 6, 4)));
  EXPECT_EQ(23, f_.Get年齢(D(2000, 6, 5), D(2023, 6, 5)));
  EXPECT_EQ(22, f_.Get年齢(D(2000, 2, 29), D(2023, 2, 28)));
  EXPECT_EQ(23, f_.Get年齢(D(2000, 2, 29), D(2023, 3, 1)));
  EXPECT_EQ(24, f_.Get年齢(D(2000, 2, 29), D(2024, 2, 29)));
  EXPECT_EQ(23, f_.Get年齢(D(2000, 2, 29), D(2024, 2, 28)));
  EXPECT_EQ(0, f_.Get年齢(D(2025, 3, 1), D(2023, 6, 1)));  // not born yet
  clock_->Set(2023, 6, 5, 10, 0, 0);
  EXPECT_EQ(23, f_.Get年齢(D(2000, 6, 5)));
}

TEST_F(Calendar, DayWindowsAcrossTheYearEnd) {
  const OleDate base = D(2023, 12, 30);
  EXPECT_TRUE(f_.IsDayRange(base, D(2020, 12, 28), 3));
  EXPECT_TRUE(f_.IsDayRange(base, D(2031, 12, 30), 3));
  EXPECT_TRUE(f_.IsDayRange(base, D(2024, 1, 1), 3));
  EXPECT_FALSE(f_.IsDayRange(base, D(2023, 12, 27), 3));
  EXPECT_FALSE(f_.IsDayRange(base, D(2024, 1, 2), 3));
  EXPECT_TRUE(f_.IsDayRange(base, D(2024, 1, 3), 5));
  EXPECT_FALSE(f_.IsDayRange(base, D(2024, 1, 4), 5));
  EXPECT_TRUE(f_.IsDayRange(base, D(2000, 12, 30), 1));
  EXPECT_FALSE(f_.IsDayRange(base, D(2000, 12, 31), 1));
  EXPECT_TRUE(f_.IsDayRange(base, D(2024, 1, 1), -3));
  EXPECT_FALSE(f_.IsDayRange(base, base, 0));
  EXPECT_TRUE(f_.IsDayRange(D(2023, 6, 15), D(2023, 6, 17), 3));
  EXPECT_FALSE(f_.IsDayRange(D(2023, 6, 15), D(2023, 6, 18), 3));
}

TEST_F(Calendar, TimeWindowsAcrossMidnight) {
  auto at = [](int h, int m) { return D(2023, 6, 5).AddDays((h * 60 + m) / 1440.0); };
  EXPECT_TRUE(f_.IsTimeRange(at(23, 30), 2200, 500));
  EXPECT_TRUE(f_.IsTimeRange(at(4, 59), 2200, 500));
  EXPECT_FALSE(f_.IsTimeRange(at(5, 1), 2200, 500));
  EXPECT_FALSE(f_.IsTimeRange(at(12, 0), 2200, 500));
  EXPECT_TRUE(f_.IsTimeRange(at(9, 0), 900, 1800));
  EXPECT_TRUE(f_.IsTimeRange(at(18, 0), 900, 1800));
  EXPECT_FALSE(f_.IsTimeRange(at(18, 1), 900, 1800));
  EXPECT_TRUE(f_.IsTimeRange(at(0, 0), -5, 100));
}

}  // namespace
