#include <random>

#include "PublicFuncFixture.h"
#include "Text.h"
#include "Utf8CodePages.h"

namespace {

using FixedWidth = PublicFuncTest;

TEST_F(FixedWidth, MeasuresShiftJisBytes) {
  EXPECT_EQ(0, f_.GetLengthSjis(L"   "));
  EXPECT_EQ(0, f_.GetLengthSjis(L""));
  EXPECT_EQ(3, f_.GetLengthSjis(L" A "));
  EXPECT_EQ(3, f_.GetLengthSjis(L"あA"));
  EXPECT_EQ(2, f_.GetLengthSjis(L"ｱｲ"));  // half-width katakana take one byte
}

TEST_F(FixedWidth, CutsAndPadsWithoutSplittingDoubleByteCharacters) {
  EXPECT_EQ(L"ABC  ", f_.StrFixed(L"ABC", 5));
  EXPECT_EQ(L"ABC00", f_.StrFixed(L"ABC", 5, 48));
  EXPECT_EQ(L"ABCD", f_.StrFixed(L"ABCDEF", 4));
  EXPECT_EQ(L"Aあ ", f_.StrFixed(L"Aあい", 4));
  EXPECT_EQ(L" ", f_.StrFixed(L"あBC", 1));  // the walk stops at the first misfit
  EXPECT_EQ(L"   ", f_.StrFixed(L"", 3));
  EXPECT_EQ(L"", f_.StrFixed(L"ABC", 0));
  EXPECT_EQ(L"", f_.StrFixed(L"ABC", -2));
}

TEST_F(FixedWidth, RightAlignsAndCentres) {
  EXPECT_EQ(L"   12", f_.StrRight(L"12", 5));
  EXPECT_EQ(L"00012", f_.StrRight(L"12", 5, L"48"));
  EXPECT_EQ(L"ABCD", f_.StrRight(L"ABCDEF", 4));
  EXPECT_EQ(L"  AB", f_.StrRight(L"  ABCD", 4));
  EXPECT_EQ(L"AB", f_.StrRight(L"AB", 2));
  EXPECT_EQ(L"AB", f_.StrRight(L"AB", 4, L"X"));
  EXPECT_EQ(L"  AB   ", f_.StrCentering(L"AB", 7));
  EXPECT_EQ(L"   ", f_.StrCentering(L"", 3));
  EXPECT_EQ(L"AB", f_.StrCentering(L"ABCD", 2));
  EXPECT_EQ(L"", f_.StrCentering(L"AB", 0));
}

TEST_F(FixedWidth, SplitsAtSeparatorsAndWidths) {
  std::vector<std::wstring> pieces{L"old"};
  EXPECT_EQ(4, f_.StrSeparat(L"a|b||c", pieces));
  EXPECT_EQ((std::vector<std::wstring>{L"a", L"b", L"", L"c"}), pieces);
  EXPECT_EQ(1, f_.StrSeparat(L"", pieces));
  EXPECT_EQ(std::vector<std::wstring>{L""}, pieces);
  EXPECT_EQ(2, f_.StrSeparat(L"x|", pieces));
  EXPECT_EQ((std::vector<std::wstring>{L"x", L""}), pieces);
  EXPECT_EQ(3, f_.StrSeparat(L"ABCDEFG", pieces, L"|", 3));
  EXPECT_EQ((std::vector<std::wstring>{L"ABC", L"DEF", L"G"}), pieces);
  EXPECT_EQ(3, f_.StrSeparat(L"aXbxc", pieces, L"x"));
  EXPECT_EQ(3, f_.StrSeparat(L"Aあい", pieces, L"|", 2));
  EXPECT_EQ((std::vector<std::wstring>{L"A ", L"あ", L"い"}), pieces);
}

TEST_F(FixedWidth, SplitEndsForADoubleByteCharacterWiderThanTheMaximum) {
  std::vector<std::wstring> pieces;
  EXPECT_EQ(3, f_.StrSeparat(L"あいA", pieces, L"|", 1));
  EXPECT_EQ((std::vector<std::wstring>{L"あ", L"い", L"A"}), pieces);
}

TEST_F(FixedWidth, LinesByLengthAndBlankRemoval) {
  EXPECT_EQ(L"ab\r\ncde", f_.StrLineByLength(L"abcdefg", {2, 0, 3}));
  EXPECT_EQ(L"ab\r\nc\r\n", f_.StrLineByLength(L"abc", {2, 2, 2}));
  EXPECT_EQ(L"abc", f_.StrLineByLength(L"abc", {0, 0}));
  EXPECT_EQ(L"abc", f_.StrLineByLength(L"abc", {}));
  const std::wstring text = L" a b\u3000c ";
  EXPECT_EQ(L"abc", f_.StrCutSpace(text));
  EXPECT_EQ(L"ab\u3000c", f_.StrCutSpace(text, 1));
  EXPECT_EQ(L" a bc ", f_.StrCutSpace(text, 2));
  EXPECT_EQ(text, f_.StrCutSpace(text, 3));
}

TEST_F(FixedWidth, CopiesIntoByteBuffers) {
  std::vector<uint8_t> buffer(5);
  EXPECT_TRUE(f_.SetStringToByteArry(L"AB", buffer, L"*"));
  EXPECT_EQ((std::vector<uint8_t>{'A', 'B', '*', '*', '*'}), buffer);
  std::vector<uint8_t> one(1);
  EXPECT_TRUE(f_.SetStringToByteArry(L"AB", one));
  EXPECT_EQ(std::vector<uint8_t>{'A'}, one);
  std::vector<uint8_t> lead(1);
  EXPECT_TRUE(f_.SetStringToByteArry(L"あ", lead));
  EXPECT_EQ(0x82, lead[0]);  // the lead byte alone
  std::vector<uint8_t> huge(40000);
  EXPECT_FALSE(f_.SetStringToByteArry(L"A", huge));
}

// Any mix of single- and double-byte characters cut to any width keeps the
// width and never leaves half a character.
TEST_F(FixedWidth, FixedWidthPropertyHoldsForRandomTexts) {
  const std::wstring alphabet = L"Aｱあ漢 1";
  std::mt19937 random(17);
  for (int round = 0; round < 300; ++round) {
    std::wstring text;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    const int16_t width = static_cast<int16_t>(random() % 15 + 1);
    const std::wstring fixed = f_.StrFixed(text, width);
    ASSERT_EQ(width, norvale::AnsiByteLength(fixed)) << round;
    ASSERT_EQ(norvale::FromAnsi(norvale::ToAnsi(fixed)), fixed);
    const std::wstring kept = fixed.substr(0, fixed.find_last_not_of(L' ') + 1);
    ASSERT_EQ(0u, text.find(kept)) << round;  // a prefix of the text
  }
}

}  // namespace

namespace {

// Exact conversion never answers a look-alike: "é" is missing from 932 and
// "Ｐ" from 1252, where the default conversion writes "e" and "P". UTF-8,
// which Windows refuses the no-best-fit question for, holds everything.
TEST(ExactAnsiText, NeverALookAlike) {
  EXPECT_FALSE(norvale::ToAnsiExact(L"Café", 932));
  EXPECT_FALSE(norvale::ToAnsiExact(L"Ｐｏｓ", 1252));
  EXPECT_EQ(norvale::ToAnsiExact(L"Café", 1252), std::string("Caf\xE9"));
  EXPECT_EQ(norvale::ToAnsiExact(L"ポス", 932), std::string("\x83\x7C\x83\x58"));
  EXPECT_EQ(norvale::ToAnsiExact(L"", 932), std::string());
  EXPECT_EQ(norvale::ToAnsiExact(L"Café ポス", 65001), std::string("Caf\xC3\xA9 \xE3\x83\x9D\xE3\x82\xB9"));
  EXPECT_EQ(norvale::ToAnsiNoBestFit(L"Caféｐ", 932), std::string("Caf?\x82\x90"));
  EXPECT_EQ(norvale::ToAnsiNoBestFit(L"Ｐos", 1252), std::string("?os"));
}

// Where Windows uses UTF-8 for every language, every symbolic code page
// stands for 65001, and Windows refuses there the no-best-fit flag and the
// default-character question: each is resolved first and judged by the
// round trip alone. Wine runs no prefix so and takes both; the test's
// machine answers as that Windows does. UTF-7 refuses them as well.
TEST(ExactAnsiText, AUtf8MachineIsJudgedByTheRoundTrip) {
  const testing_support::Utf8CodePages utf8;
  const std::string bytes = "Caf\xC3\xA9 \xE3\x83\x9D\xE3\x82\xB9";
  for (const unsigned int codePage : {CP_ACP, CP_OEMCP, CP_MACCP, CP_THREAD_ACP, CP_UTF8}) {
    EXPECT_EQ(norvale::ToAnsiExact(L"Café ポス", codePage, utf8), bytes) << codePage;
    EXPECT_EQ(norvale::ToAnsiNoBestFit(L"Café ポス", codePage, utf8), bytes) << codePage;
    // A lone surrogate is no text UTF-8 can carry.
    EXPECT_FALSE(norvale::ToAnsiExact(std::wstring(L"P\xD800s"), codePage, utf8)) << codePage;
  }
  const std::optional<std::string> seven = norvale::ToAnsiExact(L"Café ポス", CP_UTF7, utf8);
  ASSERT_TRUE(seven);
  EXPECT_EQ(norvale::FromAnsi(*seven, CP_UTF7), L"Café ポス");
}

}  // namespace
