#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "Handles.h"
#include "SetupLog.h"
#include "Text.h"
#include "TempDir.h"

using namespace engine_testing;
using namespace norvale;

namespace {

class SetupLogTest : public ::testing::Test {
 protected:
  SetupLogTest() {
    record_.InputItems.resize(2);
    record_.InputItemCount = 1;
    record_.InputItems[1].value = app_;
    CreateDirectoryW(app_.c_str(), nullptr);
    CreateDirectoryW((app_ + L"\\Uninst").c_str(), nullptr);
  }
  std::vector<std::wstring> Lines() { return ReadAnsiLines(app_ + L"\\Uninst\\Setup.log"); }

  testing_support::TempDir dir_{L"log"};
  const std::wstring app_ = dir_ / L"ノルヴァーレ POS";
  SetupRecord record_;
};

TEST_F(SetupLogTest, WritesEveryLineKindInTheAnsiCodePage) {
  EXPECT_EQ(app_ + L"\\Uninst\\Setup.log", SetupLogPath(record_));
  const std::vector<std::wstring> lines = {
      L";Setup処理を開始しました。", L"[Setup]", L"AppDir=" + app_, L"",
      L"★src001=/配布/表計算.zip", L"err001=", L"ShortCut100=C:\\スタート\\ノルヴァーレ.lnk"};
  EXPECT_EQ(0, WriteSetupLog(record_, lines[0], 1));
  for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(0, WriteSetupLog(record_, lines[i], 0));
  EXPECT_EQ(lines, Lines());
  // Shift-JIS on disk, no byte-order mark.
  const std::string bytes = ReadBytes(SetupLogPath(record_));
  EXPECT_EQ(std::string("\x3bSetup\x8f\x88\x97\x9d", 10), bytes.substr(0, 10));
}

TEST_F(SetupLogTest, EveryLineOpensAndClosesTheFile) {
  ASSERT_EQ(0, WriteSetupLog(record_, L";first", 1));
  // Nothing holds the file between lines: it can be opened exclusively and
  // moved away, and the next line starts a file of its own.
  FileHandle exclusive(CreateFileW(SetupLogPath(record_).c_str(), GENERIC_READ | DELETE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_TRUE(exclusive.Valid());
  exclusive.Reset();
  ASSERT_TRUE(MoveFileW(SetupLogPath(record_).c_str(), (app_ + L"\\old.log").c_str()));
  EXPECT_EQ(0, WriteSetupLog(record_, L"second", 0));
  EXPECT_EQ(std::vector<std::wstring>{L"second"}, Lines());

  // Mode 1 starts afresh; a line that cannot be written reports its number.
  EXPECT_EQ(0, WriteSetupLog(record_, L";again", 1));
  EXPECT_EQ(std::vector<std::wstring>{L";again"}, Lines());
  FileHandle locked(CreateFileW(SetupLogPath(record_).c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(locked.Valid());
  EXPECT_NE(0, WriteSetupLog(record_, L"lost", 0));
  locked.Reset();
  EXPECT_EQ(std::vector<std::wstring>{L";again"}, Lines());
}

TEST_F(SetupLogTest, ALineBreakInsideAValueCannotForgeLines) {
  ASSERT_EQ(0, WriteSetupLog(record_, L";start", 1));
  WriteSetupLog(record_, L"dst001=C:\\a\r\nsrc002=C:\\Windows", 0);
  WriteSetupLog(record_, L"ShortCut01=x\ndst002=C:\\", 0);
  WriteSetupLog(record_, L";warning\r\ndst003=C:\\", 0);
  WriteSetupLog(record_, L"ext01_path=C:\\p", 0);
  EXPECT_EQ((std::vector<std::wstring>{L";start", L"dst001=", L"ShortCut01=", L";",
                                       L"ext01_path=C:\\p"}),
            Lines());
}

TEST_F(SetupLogTest, WithoutItsFolderOrInstallFolderNothingIsWritten) {
  RemoveDirectoryW((app_ + L"\\Uninst").c_str());
  EXPECT_NE(0, WriteSetupLog(record_, L";Setup処理を開始しました。", 1));
  EXPECT_FALSE(Exists(app_ + L"\\Uninst"));
  SetupRecord blank;
  blank.InputItems.resize(2);
  EXPECT_NE(0, WriteSetupLog(blank, L";x", 1));
  EXPECT_NE(0, WriteSetupLog(SetupRecord{}, L";x", 1));
}

// The record is read back in the code page it was written in: a key line
// whose value that code page lacks a character of would read as a
// look-alike naming another item ("Café.lnk" as "Cafe.lnk" on 932,
// "Ｐｏｓ" as "Pos" on 1252), so it is left out with a note instead. Wine's
// prefix runs 932; 1252 is handed in as the code page.
TEST_F(SetupLogTest, ANameTheCodePageLacksIsLeftOutNeverALookAlike) {
  struct Case {
    unsigned codePage;
    std::wstring line;
    bool kept;
  };
  const Case cases[] = {
      {932, L"ShortCut01=C:\\Desktop\\Café.lnk", false},
      {932, L"ext01_id=Ｐｏｓ.File", true},
      {932, L"exe01=C:\\ポス\\pos.exe", true},
      {1252, L"ShortCut01=C:\\Desktop\\Café.lnk", true},
      {1252, L"ext01_id=Ｐｏｓ.File", false},
      {1252, L"exe01=C:\\ポス\\pos.exe", false},
  };
  for (const Case& c : cases) {
    const std::string bytes = SetupLogLineBytes(c.line, c.codePage);
    const std::wstring read = FromAnsi(bytes, c.codePage);
    if (c.kept) {
      EXPECT_EQ(c.line, read) << c.codePage;
      continue;
    }
    const std::wstring key = c.line.substr(0, c.line.find(L'='));
    EXPECT_TRUE(StartsWith(read, L";")) << ToAnsi(c.line) << " " << c.codePage;
    EXPECT_NE(read.find(key), std::wstring::npos) << c.codePage;
    // The section readers take any line holding a key and "=".
    EXPECT_EQ(read.find(L'='), std::wstring::npos) << c.codePage;
  }
  // Headers and comments keep "?" where the code page lacks a character.
  EXPECT_EQ("[???????]", SetupLogLineBytes(L"[ショートカット]", 1252));
  EXPECT_EQ(";Caf?", SetupLogLineBytes(L";Café", 932));

  ASSERT_EQ(0, WriteSetupLog(record_, L";start", 1, 1252));
  WriteSetupLog(record_, L"AppName=Ｐｏｓ", 0, 1252);
  WriteSetupLog(record_, L"AppName=Café", 0, 1252);
  const std::string bytes = ReadBytes(SetupLogPath(record_));
  EXPECT_EQ(bytes.find("AppName=Pos"), std::string::npos);
  EXPECT_NE(bytes.find("\r\nAppName=Caf\xE9\r\n"), std::string::npos);
}

// What the record cannot name exactly it names by the 8.3 short form, which
// finds the very item; without one it is left out.
TEST_F(SetupLogTest, AnItemTheCodePageLacksIsRecordedByItsShortName) {
  const std::wstring file = app_ + L"\\Café.lnk";
  testing_support::WriteFileBytes(file, "x");
  const std::optional<std::wstring> recorded = RecordablePath(file, 932);
  ASSERT_TRUE(recorded);
  ASSERT_NE(file, *recorded);
  EXPECT_TRUE(ToAnsiExact(*recorded, 932));
  wchar_t longForm[MAX_PATH] = {};
  ASSERT_NE(0u, GetLongPathNameW(recorded->c_str(), longForm, MAX_PATH));
  EXPECT_EQ(file, longForm);
  // A folder keeps its closing separator.
  const std::wstring folder = dir_ / L"Ｐｏｓ";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::optional<std::wstring> folderRecorded = RecordablePath(folder + L"\\", 1252);
  ASSERT_TRUE(folderRecorded);
  EXPECT_TRUE(folderRecorded->ends_with(L"\\"));
  EXPECT_TRUE(ToAnsiExact(*folderRecorded, 1252));

  // 1252 holds "é" but not the install folder's name.
  const std::wstring plain = dir_ / L"Café.lnk";
  testing_support::WriteFileBytes(plain, "x");
  EXPECT_EQ(plain, RecordablePath(plain, 1252));
  EXPECT_NE(file, RecordablePath(file, 1252));
  EXPECT_FALSE(RecordablePath(app_ + L"\\missing Café.lnk", 932));
  EXPECT_EQ(app_ + L"\\missing Café.lnk", PathForRecord(app_ + L"\\missing Café.lnk", 932));
}

TEST(LogNumberTest, PadsToTheGivenDigitsOnly) {
  EXPECT_EQ(L"01", LogNumber(1, 2));
  EXPECT_EQ(L"100", LogNumber(100, 2));
  EXPECT_EQ(L"001", LogNumber(1, 3));
  EXPECT_EQ(L"000", LogNumber(0, 3));
}

}  // namespace
