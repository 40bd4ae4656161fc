#include "PublicFuncFixture.h"

namespace {

using norvale::Variant;
using Numbers = PublicFuncTest;

constexpr int64_t Cy(double amount) { return static_cast<int64_t>(amount * 10000 + (amount < 0 ? -0.5 : 0.5)); }

TEST_F(Numbers, RoundsAtADecimalPlace) {
  struct Case { double value; int16_t place, mode; double expected; } cases[] = {
      {1.25, 1, 1, 1},     {1.5, 1, 1, 2},       {1.5, 1, 0, 1},       {1.05, 1, 2, 1},
      {1.1, 1, 2, 2},      {-1.5, 1, 1, -2},     {-0.4, 1, 2, -1},     {-0.6, 1, 1, -1},
      {2.3456, 4, 1, 2.346}, {2.3456, 4, 0, 2.345}, {2.5, 0, 1, 3},     {2.5, 5, 1, 3},
      {2.675, 3, 1, 2.68}, {-2.675, 3, 1, -2.68}, {0.2345, 4, 9, 0.235},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cy(c.expected), f_.RoundOfSmallNum(Cy(c.value), c.place, c.mode))
        << c.value << " place " << c.place << " mode " << c.mode;
  }
  EXPECT_EQ(Cy(3), f_.RoundOfSmallNum(Cy(2.5), 1));
  const int64_t big = Cy(1e10);
  EXPECT_EQ(big + 5000, f_.RoundOfSmallNum(big + 5000, 1, 1));
  EXPECT_EQ(-big, f_.RoundOfSmallNum(-big, 1, 1));
}

TEST_F(Numbers, ConversionsRoundHalfToEven) {
  EXPECT_EQ(2, f_.GetIntNum(Variant(L"2.5")));
  EXPECT_EQ(4, f_.GetIntNum(Variant(L"3.5")));
  EXPECT_EQ(-2, f_.GetLngNum(Variant(-2.5)));
  EXPECT_EQ(0, f_.GetLngNum(Variant(L"abc")));
  EXPECT_EQ(0, f_.GetBytNum(Variant(int32_t{256})));
  EXPECT_EQ(0, f_.GetBytNum(Variant(int32_t{-1})));
  EXPECT_EQ(0, f_.GetIntNum(Variant(int32_t{40000})));
  EXPECT_EQ(1234567, f_.GetLngNum(Variant(L" 1,234,567 ")));
  EXPECT_EQ(Cy(0.3), f_.GetCurNum(Variant(0.1 + 0.2)));
  EXPECT_EQ(12346, f_.GetCurNum(Variant(L"1.23455")));  // fifth decimal, half to even
  EXPECT_EQ(0, f_.GetCurNum(Variant(L"")));
  EXPECT_EQ(0, f_.GetCurNum(Variant::Date(45000)));
  EXPECT_EQ(-10000, f_.GetCurNum(Variant(true)));
}

TEST_F(Numbers, CnvNumericByType) {
  EXPECT_EQ(VT_R8, f_.CnvNumeric(Variant(L"12.5")).Type());
  EXPECT_EQ(12.5, f_.CnvNumeric(Variant(L"12.5")).Raw().dblVal);
  EXPECT_EQ(0, f_.CnvNumeric(Variant(L"abc")).Raw().lVal);
  EXPECT_EQ(-1, f_.CnvNumeric(Variant(true)).Raw().lVal);
  EXPECT_EQ(45000, f_.CnvNumeric(Variant::Date(45000.5)).Raw().lVal);  // half to even
  EXPECT_EQ(VT_I4, f_.CnvNumeric(Variant::Null()).Type());
}

TEST_F(Numbers, FractionCodesCutRoundUpAndRoundHalfUp) {
  struct Case { const wchar_t* value; int16_t code; double expected; } cases[] = {
      {L"123.455", 33, 123.46}, {L"-123.455", 33, -123.46}, {L"123.454", 33, 123.45},
      {L"123.459", 31, 123.45}, {L"123.451", 32, 123.46},   {L"123.450", 32, 123.45},
      {L"0.5", 53, 1},          {L"0.4", 53, 0},            {L"125", 63, 130},
      {L"-125", 63, -130},      {L"129", 61, 120},          {L"1500", 83, 2000},
      {L"1.005", 3, 1.01},      {L"2.675", 33, 2.68},       {L"-2.675", 33, -2.68},
      {L"1.23455", 13, 1.2346}, {L"-0.05", 43, -0.1},
  };
  for (const Case& c : cases) {
    bool ok = true;
    const Variant result = f_.GetCutedNum(Variant(c.value), 15, c.code, &ok);
    ASSERT_EQ(VT_CY, result.Type()) << c.value;
    EXPECT_EQ(Cy(c.expected), result.CurrencyScaled()) << c.value << " code " << c.code;
    EXPECT_TRUE(ok);
  }
  EXPECT_EQ(Cy(13), f_.GetCutedNum(Variant(12.00001), 15, 52).CurrencyScaled());
  EXPECT_EQ(Cy(0.3), f_.GetCutedNum(Variant(0.1 + 0.2), 15, 43).CurrencyScaled());
  EXPECT_EQ(0, f_.GetCutedNum(Variant(L"abc"), 15, 33).CurrencyScaled());
}

TEST_F(Numbers, FractionCodesCheckIntegerDigitsAndCodes) {
  bool ok = true;
  EXPECT_EQ(Cy(999.4), f_.GetCutedNum(Variant(999.4), 3, 43, &ok).CurrencyScaled());
  EXPECT_TRUE(ok);
  EXPECT_EQ(0, f_.GetCutedNum(Variant(999.6), 3, 33, &ok).CurrencyScaled());
  EXPECT_FALSE(ok);
  ok = true;
  EXPECT_EQ(Cy(-999.4), f_.GetCutedNum(Variant(-999.4), 3, 43, &ok).CurrencyScaled());
  EXPECT_TRUE(ok);
  const Variant unchanged = f_.GetCutedNum(Variant(1.5), 15, -1, &ok);
  EXPECT_EQ(VT_R8, unchanged.Type());
  EXPECT_FALSE(ok);
}

TEST_F(Numbers, FormatsByCodeAndEditsColumns) {
  EXPECT_EQ(L"1,234.50", f_.GetFormatedNum(Variant(1234.5), 0, 33).Text());
  EXPECT_EQ(L"1,235", f_.GetFormatedNum(Variant(1234.5), 0, 52).Text());
  EXPECT_EQ(L"-1,235", f_.GetFormatedNum(Variant(-1234.5), 0, 52).Text());
  EXPECT_EQ(L"2.00", f_.GetFormatedNum(Variant(int32_t{2}), 0, 7).Text());
  norvale::RaisedError raised;
  f_.GetFormatedNum(Variant(1.0), 0, 2560, &raised);
  EXPECT_EQ(6, raised.number);

  EXPECT_EQ(L"1,234   ", f_.Edit小数値(Variant(int32_t{1234}), 2, L"", true));
  EXPECT_EQ(L"1,234.5 ", f_.Edit小数値(Variant(1234.5), 2, L"", true));
  EXPECT_EQ(L"1,234.56", f_.Edit小数値(Variant(1234.5678), 2, L"", true));
  EXPECT_EQ(L"1,234", f_.Edit小数値(Variant(1234.5), 0, L"", true));
  EXPECT_EQ(L"1,234.50", f_.Edit小数値(Variant(1234.5), 2));
  EXPECT_EQ(L"1,234.5000", f_.Edit小数値(Variant(1234.5)));
  EXPECT_EQ(L"abc", f_.Edit小数値(Variant(L"abc")));
}

TEST_F(Numbers, RangesAndDigitTexts) {
  EXPECT_TRUE(f_.IsInRange(Variant(L"5"), Variant(int32_t{1}), Variant(int32_t{10})));
  EXPECT_FALSE(f_.IsInRange(Variant(L"12abc"), Variant(int32_t{1}), Variant(int32_t{10})));
  EXPECT_TRUE(f_.IsInRange(Variant(L"abc"), Variant(int32_t{0}), Variant(int32_t{10})));
  EXPECT_TRUE(f_.IsInRange(Variant(L"&HA"), Variant(int32_t{10}), Variant(int32_t{10})));
  EXPECT_TRUE(f_.IsNumericStr(L"0123"));
  EXPECT_FALSE(f_.IsNumericStr(L""));
  EXPECT_FALSE(f_.IsNumericStr(L"12.3"));
  EXPECT_FALSE(f_.IsNumericStr(L" 12"));
}

// Half-up at two places of any amount with up to five decimals equals the
// integer arithmetic of the amount's own digits.
TEST_F(Numbers, RoundingMatchesIntegerArithmetic) {
  for (int64_t scaled = -30000; scaled <= 30000; scaled += 7) {
    const std::wstring text = (scaled < 0 ? L"-" : L"") + std::to_wstring(std::llabs(scaled) / 1000) +
                              L"." + [&] {
                                std::wstring d = std::to_wstring(std::llabs(scaled) % 1000);
                                return std::wstring(3 - d.size(), L'0') + d;
                              }();
    const int64_t magnitude = (std::llabs(scaled) + 5) / 10 * 10;  // half up at 2 places
    const int64_t expected = (scaled < 0 ? -magnitude : magnitude) * 10;
    ASSERT_EQ(expected, f_.GetCutedNum(Variant(text), 15, 33).CurrencyScaled()) << text;
  }
}

}  // namespace

namespace {

// The system's own conversions (oleaut32) as the oracle of half-to-even
// integer and currency conversion of decimal texts.
TEST_F(Numbers, ConversionsAgreeWithTheSystemOnDecimalTexts) {
  const wchar_t* texts[] = {L"0.5", L"1.5", L"2.5", L"-2.5", L"-3.5", L"1234.5",
                            L"12.34565", L"12.34575",
                            L"1,234,567.5", L"7E2", L"2.5E-1"};
  for (const wchar_t* text : texts) {
    LONG oracleLong = 0;
    if (SUCCEEDED(VarI4FromStr(const_cast<wchar_t*>(text), LOCALE_USER_DEFAULT, 0, &oracleLong))) {
      EXPECT_EQ(oracleLong, f_.GetLngNum(Variant(text))) << text;
    }
    CY oracleCurrency{};
    if (SUCCEEDED(VarCyFromStr(const_cast<wchar_t*>(text), LOCALE_USER_DEFAULT, 0, &oracleCurrency))) {
      EXPECT_EQ(oracleCurrency.int64, f_.GetCurNum(Variant(text))) << text;
    }
  }
  // Wine's conversion passes these through binary floating point and misses
  // the exact half; the decimal digits decide here.
  EXPECT_EQ(0, f_.GetCurNum(Variant(L"-0.00005")));
  EXPECT_EQ(1000000000, f_.GetCurNum(Variant(L"99999.99995")));
}

}  // namespace
