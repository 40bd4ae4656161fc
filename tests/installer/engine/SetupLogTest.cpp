#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "Handles.h"
#include "SetupLog.h"

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

TEST(LogNumberTest, PadsToTheGivenDigitsOnly) {
  EXPECT_EQ(L"01", LogNumber(1, 2));
  EXPECT_EQ(L"100", LogNumber(100, 2));
  EXPECT_EQ(L"001", LogNumber(1, 3));
  EXPECT_EQ(L"000", LogNumber(0, 3));
}

}  // namespace
