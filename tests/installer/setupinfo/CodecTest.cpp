// The settings codec and the comma-separated line splitter.
#include <gtest/gtest.h>

#include "StartIni.h"
#include "Utf8CodePages.h"

using namespace norvale;

namespace {
const std::wstring kKey = L"kovtar";
}

TEST(Codec, EncodesEachCharacterAsItsCodeXorTheKey) {
  // 'a' ^ 'k' = 10, 'b' ^ 'o' = 13, 'c' ^ 'v' = 21
  EXPECT_EQ(EncodeIniValue(L"abc", kKey), L"10:13:21:");
  EXPECT_EQ(DecodeIniValue(L"10:13:21:", kKey), L"abc");
  // The key repeats: the seventh character meets 'k' again.
  EXPECT_EQ(EncodeIniValue(L"aaaaaaa", kKey).substr(EncodeIniValue(L"aaaaaa", kKey).size()),
            L"10:");
}

TEST(Codec, RoundTripsEveryKindOfCharacterTheRecordHolds) {
  const std::wstring samples[] = {
      L"192.168.10.5", L"ftp.example.co.jp", L"p@ss w0rd!#$%&'()=~|",
      L"/pos/セットアップ/版", L"ﾃｽﾄ半角ｶﾅ", L"表示ソ能", L"http://example.jp/a?b=c&d=e",
      L"漢字とかなとカナ、記号①～"};
  for (const std::wstring& text : samples) {
    const std::wstring encoded = EncodeIniValue(text, kKey);
    ASSERT_FALSE(encoded.empty()) << text.size();
    bool failed = true;
    EXPECT_EQ(DecodeIniValue(encoded, kKey, &failed), text);
    EXPECT_FALSE(failed);
  }
  // A double-byte character has a negative code.
  EXPECT_EQ(EncodeIniValue(L"あ", kKey)[0], L'-');
}

TEST(Codec, EmptyTextOrKey) {
  EXPECT_EQ(EncodeIniValue(L"", kKey), L"");
  EXPECT_EQ(DecodeIniValue(L"", kKey), L"");
  EXPECT_EQ(EncodeIniValue(L"plain", L""), L"plain");
  EXPECT_EQ(DecodeIniValue(L"1:2:", L""), L"1:2:");
}

TEST(Codec, AValueWithoutItsLastColonDecodesOneCharacterShort) {
  EXPECT_EQ(DecodeIniValue(L"10:13:21", kKey), L"ab");
}

TEST(Codec, UndecodableValuesGiveEmptyTextAndAreReported) {
  const std::wstring bad[] = {
      L"10:x:21:",        // not a number
      L"10::21:",         // empty piece
      L"107:",            // 'k' ^ 107 = NUL
      L"97:",             // 'k' ^ 97 = 10, a line feed
      L"99999999999:",    // beyond 32 bits
      L"70000:",          // no character has that code
      L"-32768:",         // a lead byte with an impossible trail byte
      L"235:",            // 0x80 alone is no character in the code page
  };
  for (const std::wstring& text : bad) {
    bool failed = false;
    EXPECT_EQ(DecodeIniValue(text, kKey, &failed), L"") << text;
    EXPECT_TRUE(failed) << text;
  }
}

TEST(Codec, CharactersOutsideTheCodePageCannotBeEncoded) {
  EXPECT_EQ(EncodeIniValue(L"a\u0394b\U0001F600", kKey), L"");  // Greek is in 932, emoji is not
  EXPECT_EQ(EncodeIniValue(std::wstring(40000, L'a'), kKey), L"");

  // Where Windows uses UTF-8 for every language, an address still encodes
  // (its characters take one byte), and a character of three bytes does
  // not. Wine runs no prefix so; the test's machine answers as Windows does,
  // which refuses the no-best-fit question on UTF-8.
  const testing_support::Utf8CodePages utf8;
  EXPECT_EQ(EncodeIniValue(L"ftp.example.jp", kKey, utf8), EncodeIniValue(L"ftp.example.jp", kKey));
  EXPECT_EQ(EncodeIniValue(L"配布", kKey, utf8), L"");
}

TEST(SplitCsvLine, QuotedFieldsKeepTheirCommas) {
  std::vector<std::wstring> fields;
  EXPECT_EQ(SplitCsvLine(fields, L"a,\"b,c\",d"), 3);
  EXPECT_EQ(fields, (std::vector<std::wstring>{L"", L"a", L"b,c", L"d"}));

  EXPECT_EQ(SplitCsvLine(fields, L""), 1);
  EXPECT_EQ(fields, (std::vector<std::wstring>{L"", L""}));

  EXPECT_EQ(SplitCsvLine(fields, L"a,"), 2);
  EXPECT_EQ(fields[2], L"");

  // Doubled quotes stay as they are; an unclosed quote takes the rest.
  EXPECT_EQ(SplitCsvLine(fields, L"\"a\"\"b\",x"), 2);
  EXPECT_EQ(fields[1], L"a\"\"b");
  EXPECT_EQ(SplitCsvLine(fields, L"x,\"open,still,open"), 2);
  EXPECT_EQ(fields[2], L"open,still,open");
  // A lone quote opens a field too.
  EXPECT_EQ(SplitCsvLine(fields, L"\",a\",b"), 2);
  EXPECT_EQ(fields[1], L",a");
  // The uninstaller's command line: quotes and blanks go.
  EXPECT_EQ(SplitCsvLine(fields, L" \"C:\\p\\Dekant00.exe\" , /S "), 2);
  EXPECT_EQ(fields[1], L"C:\\p\\Dekant00.exe");
  EXPECT_EQ(fields[2], L"/S");
}

TEST(SplitCsvLine, RefusesMoreFieldsThanItCanCount) {
  std::vector<std::wstring> fields;
  EXPECT_EQ(SplitCsvLine(fields, std::wstring(40000, L',')), 0);
  EXPECT_EQ(fields.size(), 1u);
}

TEST(TrimQuotes, RemovesBlanksThenOneQuoteEachSide) {
  EXPECT_EQ(TrimQuotes(L"  \" a b \"  "), L" a b ");
  EXPECT_EQ(TrimQuotes(L"\"\"x\"\""), L"\"x\"");
  EXPECT_EQ(TrimQuotes(L"\""), L"");
  EXPECT_EQ(TrimQuotes(L"plain"), L"plain");
}
