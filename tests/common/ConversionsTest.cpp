#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "PublicFuncFixture.h"
#include "Text.h"

namespace {

using Conversions = PublicFuncTest;

TEST_F(Conversions, LineBreaksNullsAndReplacement) {
  EXPECT_EQ(L"AB\rC", f_.CutCrlf(L"A\r\nB\rC"));
  EXPECT_EQ(L"", f_.CutCrlf(L""));
  EXPECT_EQ(L"AB", f_.CutNull(std::wstring(L"AB\0CD", 5)));
  EXPECT_EQ(L"ABCD", f_.CutNull(L"ABCD"));
  EXPECT_EQ(L"aXXaXXa", f_.CutValfromString(L"aXaXa", L"X", L"XX"));
  EXPECT_EQ(L"aXaXa", f_.CutValfromString(L"aXaXa", L"x", L"XX"));
  EXPECT_EQ(L"aaa", f_.CutValfromString(L"aXaXa", L"X"));
  EXPECT_EQ(L"abc", f_.CutValfromString(L"abc", L""));
}

TEST_F(Conversions, SqlLiterals) {
  EXPECT_EQ(L"' '", f_.CnvDbString(L""));
  EXPECT_EQ(L"'O''Neil'", f_.CnvDbString(L"O'Neil"));
  EXPECT_EQ(L"O''Neil", f_.CnvDbString(L"O'Neil", false));
  EXPECT_EQ(L"''", f_.CutSinglQuote(L""));
  EXPECT_EQ(L"'a''b'", f_.CutSinglQuote(L"a'b"));
  EXPECT_EQ(L"1", f_.CnvDbBoolean(true));
  EXPECT_EQ(L"0", f_.CnvDbBoolean(false));
}

TEST_F(Conversions, HexadecimalAndCharacters) {
  EXPECT_EQ(L"0AFF", f_.ByteToAsciiStr({0x0A, 0xFF}));
  EXPECT_EQ(L"", f_.ByteToAsciiStr({}));
  EXPECT_EQ(L"4131", f_.StrToHex(L"A1"));
  EXPECT_EQ(L"82A0", f_.StrToHex(L"あ"));
  EXPECT_EQ(L"Aｱ", f_.ByteToChr({0x41, 0xB1}));
  EXPECT_EQ(2u, f_.ByteToChr({0x82, 0xA0}).size());  // each byte by itself
}

TEST_F(Conversions, CopiesByteRanges) {
  std::vector<uint8_t> target(5, 0);
  const std::vector<uint8_t> source{1, 2, 3};
  EXPECT_TRUE(f_.ByteToByte(target, 3, source, 1, 2));
  EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 2, 0}), target);
  EXPECT_FALSE(f_.ByteToByte(target, 1, source, 1, 0));
  EXPECT_FALSE(f_.ByteToByte(target, 4, source, 1, 3));  // runs past the target
  EXPECT_EQ(1, target[3]);                                 // what was copied stays
}

TEST_F(Conversions, DecimalTextsAreExact) {
  EXPECT_EQ(L"10000", f_.ByteToNumStr({0x10, 0x27}));
  EXPECT_EQ(L"1", f_.ByteToNumStr({1, 0, 0, 0, 0}));
  EXPECT_EQ(L"0", f_.ByteToNumStr({}));
  EXPECT_EQ(L"1", f_.ByteToNumStr({1, 0, 0, 0, 0, 0, 0, 0, 9}));  // ninth ignored
  // 2^63 - 1 and 2^53 + 1: every digit, no floating-point rounding.
  EXPECT_EQ(L"9223372036854775807",
            f_.ByteToNumStr({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
  EXPECT_EQ(L"9007199254740993", f_.ByteToNumStr({1, 0, 0, 0, 0, 0, 0x20}));
  EXPECT_EQ(L"0", f_.ByteToNumStr({0, 0, 0, 0, 0, 0, 0, 0x80}));  // beyond the range
  for (int b = 0; b < 256; ++b) {
    ASSERT_EQ(std::to_wstring(b * 256 + b), f_.ByteToNumStr({uint8_t(b), uint8_t(b)}));
  }
  EXPECT_EQ(L"255", f_.CnvHexStrToNumStr(L"FF"));
  EXPECT_EQ(L"4095", f_.CnvHexStrToNumStr(L"FFF"));
  EXPECT_EQ(L"10000", f_.CnvHexStrToNumStr(L" 2710 "));
  EXPECT_EQ(L"9007199254740993", f_.CnvHexStrToNumStr(L"20000000000001"));
  EXPECT_EQ(L"", f_.CnvHexStrToNumStr(L"GG"));
  EXPECT_EQ(L"", f_.CnvHexStrToNumStr(L"  "));
}

TEST(CommandLine, ArgumentsFollowTheProgramPath) {
  EXPECT_EQ(L"x.ini /S", norvale::ArgumentsOfCommandLine(L"\"C:\\a b\\p.exe\"  x.ini /S"));
  EXPECT_EQ(L"x.ini", norvale::ArgumentsOfCommandLine(L"p.exe x.ini"));
  EXPECT_EQ(L"", norvale::ArgumentsOfCommandLine(L"p.exe"));
}

// How a program that splits its command line by the Windows rules reads the
// arguments after its own path.
std::vector<std::wstring> SplitAsWindowsDoes(const std::wstring& arguments) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW((L"\"C:\\p\\p.exe\" " + arguments).c_str(), &count);
  std::vector<std::wstring> split;
  for (int i = 1; i < count; ++i) split.emplace_back(argv[i]);
  LocalFree(argv);
  return split;
}

// Texts a record or a server may bring: each must come back whole and alone,
// and nothing in it may start a further argument.
TEST(CommandLine, AQuotedArgumentReadsBackAsExactlyThatOneArgument) {
  const std::vector<std::wstring> hostile = {
      L"",
      L" ",
      L"nvy.ttf;ri -r -fo C:\\",
      L"nvz$(ri -r -fo C:\\).ttf",
      L"Nv Test Mono.ttf",
      L"C:\\Program Files (x86)\\Norvale\\Uninst\\Remove-Font.ps1",
      L"say \"hi\"",
      L"\"",
      L"\"\"",
      L"\\",
      L"C:\\tmp\\",
      L"C:\\tmp\\\\",
      L"a\\\"b",
      L"a\\\\\"b c\\",
      L"\\\"\\",
      L"tab\there",
      L"line\r\nbreak",
      L"ｍｅｉｒｙｏ.ttc",
      L"%PATH% ^& | < > `(x)'",
  };
  for (const std::wstring& text : hostile) {
    const auto quoted = norvale::QuotedArgument(text);
    ASSERT_TRUE(quoted.has_value()) << norvale::ToAnsi(text);
    EXPECT_EQ(std::vector<std::wstring>{text}, SplitAsWindowsDoes(*quoted))
        << norvale::ToAnsi(*quoted);
    // Side by side with a second argument, neither runs into the other.
    EXPECT_EQ((std::vector<std::wstring>{text, L"next"}),
              SplitAsWindowsDoes(*quoted + L" " + *norvale::QuotedArgument(L"next")))
        << norvale::ToAnsi(*quoted);
  }
  EXPECT_EQ(L"\"C:\\a b\\\\\"", norvale::QuotedArgument(L"C:\\a b\\"));
  EXPECT_EQ(L"\"a\\\\\\\"b\"", norvale::QuotedArgument(L"a\\\"b"));
  // A NUL would end the command line where it stands.
  EXPECT_FALSE(norvale::QuotedArgument(std::wstring(L"a.ttf\0;x", 8)).has_value());
}

TEST_F(Conversions, FindsWordsOnTheOwnCommandLine) {
  EXPECT_FALSE(f_.IsArgInclude(L"/definitely-not-passed"));
}

}  // namespace
