#include <windows.h>

#include <memory>

#include <gtest/gtest.h>

#include "SavedRegValue.h"
#include "WinServicesTestSupport.h"
#include "Text.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

// The machine's Fonts key. The tests, like the shipped programs, are 32-bit
// processes and open it through their own view; on 64-bit Windows that key
// is one of those both views share.
const std::wstring kFonts = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// Font values of the test's own, in the system's fonts key. Their names share
// a unique prefix and are added in the order they sort in, so the listing
// meets them in that order.
class FontsTest : public ::testing::Test {
 protected:
  void AddFont(const std::wstring& suffix, const std::wstring& data, DWORD type = REG_SZ) {
    const std::wstring name = tag_ + suffix;
    added_.push_back(std::make_unique<ScopedRegValue>(HKEY_LOCAL_MACHINE, kFonts, name));
    WriteRaw(HKEY_LOCAL_MACHINE, kFonts, name, type, data.c_str(),
             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)), 0);
  }
  std::wstring File(const std::wstring& name) const { return tag_ + name; }

  const std::wstring tag_ = UniqueName(L"font");
  std::vector<std::unique_ptr<ScopedRegValue>> added_;
  clsWinCommon win_;
};

TEST_F(FontsTest, FindsCountsAndNamesByFileName) {
  AddFont(L" A Sample Sans (TrueType)", File(L"-sample.ttf"));
  AddFont(L" B Sample Sans Bold", File(L"-SAMPLE.TTF"));
  AddFont(L" C Path", L"C:\\windows\\Fonts\\" + File(L"-path.ttf"));
  AddFont(L" D Expand", File(L"-expand.ttf"), REG_EXPAND_SZ);

  int32_t count = -1;
  EXPECT_TRUE(win_.REG_IsFontInstalled(File(L"-Sample.ttf"), &count));
  EXPECT_EQ(2, count);
  EXPECT_EQ(tag_ + L" A Sample Sans", win_.REG_GetFontNameByFileId(File(L"-sample.ttf")));
  // Only the whole data counts: a path is not its file name.
  EXPECT_FALSE(win_.REG_IsFontInstalled(File(L"-path.ttf"), &count));
  EXPECT_EQ(0, count);
  EXPECT_TRUE(win_.REG_IsFontInstalled(L"C:\\windows\\Fonts\\" + File(L"-path.ttf")));
  EXPECT_EQ(tag_ + L" C Path",
            win_.REG_GetFontNameByFileId(L"c:\\WINDOWS\\fonts\\" + File(L"-path.ttf")));
  // Only text values take part.
  EXPECT_FALSE(win_.REG_IsFontInstalled(File(L"-expand.ttf")));
  EXPECT_EQ(L"", win_.REG_GetFontNameByFileId(File(L"-expand.ttf")));
  EXPECT_FALSE(win_.REG_DelFontNameByFileId(File(L"-expand.ttf")));

  count = 5;
  EXPECT_FALSE(win_.REG_IsFontInstalled(L"  ", &count));
  EXPECT_EQ(0, count);
  EXPECT_EQ(L"", win_.REG_GetFontNameByFileId(L""));
  EXPECT_FALSE(win_.REG_DelFontNameByFileId(L" "));
}

// A registration is a font file's, named as the file system names files:
// another width or kana type is another font, whose registration stays.
TEST_F(FontsTest, FileNamesOfOtherWidthOrKanaAreOtherFonts) {
  AddFont(L" A Wide", File(L"-ｗｉｄｅ.ttf"));
  AddFont(L" B Kana", File(L"-ポス.ttf"));
  for (const std::wstring& other : {File(L"-wide.ttf"), File(L"-ぽす.ttf"), File(L"-ﾎﾟｽ.ttf")}) {
    EXPECT_FALSE(win_.REG_IsFontInstalled(other));
    EXPECT_EQ(L"", win_.REG_GetFontNameByFileId(other));
    EXPECT_FALSE(win_.REG_DelFontNameByFileId(other));
  }
  EXPECT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, kFonts, tag_ + L" A Wide", 0));
  EXPECT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, kFonts, tag_ + L" B Kana", 0));
  EXPECT_TRUE(win_.REG_IsFontInstalled(File(L"-ＷＩＤＥ.TTF")));
}

TEST_F(FontsTest, RemovalDeletesTheFirstRegistrationOnly) {
  AddFont(L" A Sample Sans (TrueType)", File(L"-sample.ttf"));
  AddFont(L" B Sample Sans Bold", File(L"-sample.ttf"));

  EXPECT_TRUE(win_.REG_DelFontNameByFileId(File(L"-sample.ttf")));
  EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kFonts, tag_ + L" A Sample Sans (TrueType)", 0));
  int32_t count = 0;
  EXPECT_TRUE(win_.REG_IsFontInstalled(File(L"-sample.ttf"), &count));
  EXPECT_EQ(1, count);
  // Without the TrueType mark the name is kept whole.
  EXPECT_EQ(tag_ + L" B Sample Sans Bold", win_.REG_GetFontNameByFileId(File(L"-sample.ttf")));
  EXPECT_TRUE(win_.REG_DelFontNameByFileId(File(L"-sample.ttf")));
  EXPECT_FALSE(win_.REG_IsFontInstalled(File(L"-sample.ttf")));
  EXPECT_FALSE(win_.REG_DelFontNameByFileId(File(L"-sample.ttf")));
}

TEST_F(FontsTest, ALongValueNameDoesNotEndTheSearch) {
  const std::wstring longName = L" 0 " + std::wstring(300, L'x') + L" (TrueType)";
  AddFont(longName, File(L"-long.ttf"));
  AddFont(L" 1 After", File(L"-after.ttf"));

  EXPECT_TRUE(win_.REG_IsFontInstalled(File(L"-after.ttf")));
  EXPECT_EQ(tag_ + L" 1 After", win_.REG_GetFontNameByFileId(File(L"-after.ttf")));
  EXPECT_EQ(tag_ + L" 0 " + std::wstring(300, L'x'),
            win_.REG_GetFontNameByFileId(File(L"-long.ttf")));
  EXPECT_TRUE(win_.REG_DelFontNameByFileId(File(L"-long.ttf")));
  EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kFonts, tag_ + longName, 0));
}

// A record may name Windows' fonts in full-width letters: "ＡＲＩＡＬ.TTF"
// names a file Windows does not have, so no protection covers it, and a
// comparison for readers would hand it the registration of "arial.ttf".
// Windows' own two values are set as Windows has them and put back as they
// were in the prefix when the test ends.
TEST_F(FontsTest, AnotherWidthOrKanaIsAnotherFontsFile) {
  testing_support::SavedRegValue arial(HKEY_LOCAL_MACHINE, kFonts, L"Arial (TrueType)");
  testing_support::SavedRegValue meiryo(HKEY_LOCAL_MACHINE, kFonts,
                                        L"Meiryo & Meiryo UI (TrueType)");
  arial.SetText(L"arial.ttf");
  meiryo.SetText(L"meiryo.ttc");
  AddFont(L" Kana (TrueType)", File(L"-メイリオ.ttc"));

  for (const std::wstring& spelling :
       {std::wstring(L"ＡＲＩＡＬ.TTF"), std::wstring(L"ａｒｉａｌ.ｔｔｆ"), std::wstring(L"ｍｅｉｒｙｏ.ttc"),
        File(L"-めいりお.ttc"), File(L"-ﾒｲﾘｵ.ttc")}) {
    const std::string shown = norvale::ToAnsi(spelling);
    int32_t count = -1;
    EXPECT_FALSE(win_.REG_IsFontInstalled(spelling, &count)) << shown;
    EXPECT_EQ(0, count) << shown;
    EXPECT_EQ(L"", win_.REG_GetFontNameByFileId(spelling)) << shown;
    EXPECT_FALSE(win_.REG_DelFontNameByFileId(spelling)) << shown;
  }
  EXPECT_EQ(L"arial.ttf", arial.Text().value_or(L"<gone>"));
  EXPECT_EQ(L"meiryo.ttc", meiryo.Text().value_or(L"<gone>"));
  // Letter case alone still names the same file.
  EXPECT_TRUE(win_.REG_IsFontInstalled(L"ARIAL.TTF"));
  EXPECT_TRUE(win_.REG_IsFontInstalled(File(L"-メイリオ.TTC")));
}

TEST_F(FontsTest, WithoutAdministratorRightsFontsAreFoundButNotRemoved) {
  AddFont(L" Sample (TrueType)", File(L"-sample.ttf"));
  clsWinCommon user(norvale::Seams::System(), WithoutAdministratorRights());
  EXPECT_TRUE(user.REG_IsFontInstalled(File(L"-sample.ttf")));
  EXPECT_EQ(tag_ + L" Sample", user.REG_GetFontNameByFileId(File(L"-sample.ttf")));
  EXPECT_FALSE(user.REG_DelFontNameByFileId(File(L"-sample.ttf")));
  EXPECT_TRUE(win_.REG_IsFontInstalled(File(L"-sample.ttf")));
}

}  // namespace
