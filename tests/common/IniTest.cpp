#include <windows.h>

#include <gtest/gtest.h>

#include "System.h"
#include "TempDir.h"
#include "Text.h"
#include "clsIni.h"

using namespace testing_support;

namespace {

class IniTest : public ::testing::Test {
 protected:
  IniTest() {
    ini_.iniDir(dir_.Path());
    ini_.IniFileID(L"Setup.ini");
  }
  std::wstring File() { return dir_ / L"Setup.ini"; }

  TempDir dir_{L"ini"};
  clsIni ini_;
};

TEST(IniGuardTest, NoFileNameMeansNoReadsAndNoWrites) {
  TempDir dir(L"iniguard");
  const std::wstring file = dir / L"x.ini";
  WriteFileBytes(file, "[s]\r\nk=v\r\n");
  clsIni ini;
  EXPECT_EQ(L"", ini.IniFilePath());
  EXPECT_EQ(norvale::ProgramFolder(), ini.iniDir());
  EXPECT_EQ(L"", ini.GetINIValue(L"s", L"k", L"def", file));
  EXPECT_EQ(-1, ini.SetIniIValue(L"s", L"k2", L"v", dir / L"new.ini"));
  EXPECT_EQ(-1, ini.DeleteKey(L"s", L"k", file));
  EXPECT_EQ(-1, ini.DeleteSection(L"s", file));
  // Neither the key nor the section went.
  EXPECT_EQ("[s]\r\nk=v\r\n", ReadFileBytes(file));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir / L"new.ini").c_str()));
  // The section listing has no guard.
  EXPECT_TRUE(ini.GetINISectionNames(file).IsArray());
}

TEST(IniGuardTest, FilePathFollowsFolderAndName) {
  clsIni ini;
  ini.IniFileID(L"Start.ini");
  EXPECT_EQ(norvale::ProgramFolder() + L"\\Start.ini", ini.IniFilePath());
  ini.iniDir(L"");
  EXPECT_EQ(L"Start.ini", ini.IniFilePath());
  clsIni other;
  other.iniDir(L"C:\\x");
  EXPECT_EQ(L"C:\\x\\", other.IniFilePath());
}

TEST_F(IniTest, ReadsDefaultsAndShiftJisValues) {
  WriteFileBytes(File(), norvale::ToAnsi(L"[Setup]\r\nAppName=  ノルヴェール POS  \r\n"
                                         L"AppId=\"{231EFB6B}\"\r\n[ショートカット]\r\nGroup=販売\r\n"));
  EXPECT_EQ(L"ノルヴェール POS", ini_.GetINIValue(L"Setup", L"AppName"));
  EXPECT_EQ(L"ノルヴェール POS", ini_.GetINIValue(L"setup", L"APPNAME"));
  EXPECT_EQ(L"{231EFB6B}", ini_.GetINIValue(L"Setup", L"AppId"));
  EXPECT_EQ(L"販売", ini_.GetINIValue(L"ショートカット", L"Group"));
  EXPECT_EQ(L"既定", ini_.GetINIValue(L"Setup", L"Missing", L"既定"));
  EXPECT_EQ(L"", ini_.GetINIValue(L"Setup", L"Missing"));
  EXPECT_EQ(L"", ini_.GetINIValue(L"NoSection", L"AppName"));
}

TEST_F(IniTest, LongValuesAreCutAt1023Bytes) {
  std::string value(2000, 'a');
  WriteFileBytes(File(), "[s]\r\nk=" + value + "\r\n");
  EXPECT_EQ(std::wstring(1023, L'a'), ini_.GetINIValue(L"s", L"k"));

  // Shift-JIS counts bytes: 700 two-byte characters are 1400 bytes.
  std::wstring wide(700, L'漢');
  WriteFileBytes(File(), "[s]\r\nk=" + norvale::ToAnsi(wide) + "\r\n");
  const std::wstring got = ini_.GetINIValue(L"s", L"k");
  EXPECT_LE(norvale::AnsiByteLength(got), 1023);
  EXPECT_GE(got.size(), 510u);
  EXPECT_EQ(std::wstring(got.size(), L'漢'), got);
}

TEST_F(IniTest, WritesDeletesAndRoundTripsThroughCp932) {
  EXPECT_NE(0, ini_.SetIniIValue(L"server", L"ip", L"127.0.0.1"));
  EXPECT_NE(0, ini_.SetIniIValue(L"server", L"path", L"/配布/レジ"));
  EXPECT_NE(0, ini_.SetIniIValue(L"other", L"x", L"1"));
  const std::string bytes = ReadFileBytes(File());
  EXPECT_NE(std::string::npos, bytes.find(norvale::ToAnsi(L"path=/配布/レジ")));
  EXPECT_EQ(L"/配布/レジ", ini_.GetINIValue(L"server", L"path"));

  EXPECT_NE(0, ini_.DeleteKey(L"server", L"ip"));
  EXPECT_EQ(L"gone", ini_.GetINIValue(L"server", L"ip", L"gone"));
  EXPECT_EQ(L"/配布/レジ", ini_.GetINIValue(L"server", L"path"));
  EXPECT_NE(0, ini_.DeleteSection(L"server"));
  EXPECT_FALSE(ini_.IsSectionExistence(L"server"));
  EXPECT_TRUE(ini_.IsSectionExistence(L"OTHER"));

  // Into a folder that does not exist: not written.
  EXPECT_EQ(0, ini_.SetIniIValue(L"s", L"k", L"v", dir_ / L"missing\\a.ini"));
}

TEST_F(IniTest, SectionNamesInFileOrder) {
  WriteFileBytes(File(), "[server]\r\nip=1\r\n[Setup]\r\nAppName=x\r\n");
  const IniSectionNames names = ini_.GetINISectionNames(File());
  ASSERT_TRUE(names.IsArray());
  EXPECT_EQ((std::vector<std::wstring>{L"server", L"Setup"}), names.names);
  EXPECT_TRUE(ini_.IsSectionExistence(L"SETUP"));
  EXPECT_FALSE(ini_.IsSectionExistence(L"  "));
  EXPECT_FALSE(ini_.IsSectionExistence(L"Download"));

  WriteFileBytes(File(), "");
  EXPECT_EQ(IniSectionNames::Kind::Null, ini_.GetINISectionNames(File()).kind);
  EXPECT_EQ(IniSectionNames::Kind::Null, ini_.GetINISectionNames(dir_ / L"missing.ini").kind);
  ini_.IniFileID(L"missing.ini");
  EXPECT_FALSE(ini_.IsSectionExistence(L"server"));
}

TEST_F(IniTest, JapaneseFileAndFolderNames) {
  clsIni ini;
  ini.iniDir(dir_ / L"設定フォルダ");
  ini.IniFileID(L"開始.ini");
  EXPECT_EQ(0, ini.MakeDir(ini.iniDir()));
  EXPECT_NE(0, ini.SetIniIValue(L"サーバー", L"ユーザー", L"山田"));
  EXPECT_EQ(L"山田", ini.GetINIValue(L"サーバー", L"ユーザー"));
  EXPECT_TRUE(ini.IsSectionExistence(L"サーバー"));
  EXPECT_EQ(norvale::ToAnsi(L"[サーバー]\r\nユーザー=山田\r\n"),
            ReadFileBytes(dir_ / L"設定フォルダ\\開始.ini"));
}

}  // namespace
