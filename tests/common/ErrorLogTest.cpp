#include <windows.h>

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ScriptedMessageBox.h"
#include "TempDir.h"
#include "Text.h"
#include "clsError.h"

using namespace testing_support;
using norvale::ScriptedMessageBox;

namespace {

class ErrorLogTest : public ::testing::Test {
 protected:
  ErrorLogTest()
      : clock_(std::make_shared<FakeClock>()),
        box_(std::make_shared<ScriptedMessageBox>()),
        log_(norvale::Seams{box_, clock_, std::make_shared<norvale::SystemMessagePump>()}) {
    clock_->Set(2024, 3, 7, 8, 5, 9);
    log_.LogDir(dir_.Path());
  }

  std::string LogBytes() { return ReadFileBytes(log_.LogFilePath()); }

  TempDir dir_{L"errlog"};
  std::shared_ptr<FakeClock> clock_;
  std::shared_ptr<ScriptedMessageBox> box_;
  clsError log_;
};

TEST_F(ErrorLogTest, LinesCarryStampKindLevelTagAndAreWrittenInShiftJis) {
  EXPECT_EQ(0, log_.ErrLogPut(L"clsPublicFunc:MakeDir [C:\\x]を作成できませんでした。", 1, 1, 0, 0, 0));
  EXPECT_EQ(0, log_.ErrLogPut(L"失敗", 1, 1, 0, 0, 1));
  EXPECT_EQ(0, log_.ErrLogPut(L"日付だけ", 2, 1, 0, 0, 2));
  EXPECT_EQ(0, log_.ErrLogPut(L"時刻", 3, 1, 0, 0, 0));
  EXPECT_EQ(0, log_.ErrLogPut(L"印なし", 4, 1, 0, 0, -1));
  EXPECT_EQ(0, log_.ErrLogPut(L"追跡", 1, 1, 0, 0, 3));  // above the threshold 2
  EXPECT_EQ(0, log_.ErrLogPut(L"一行目\r\n二行目", 0, 1, 0, 0, 0));

  const std::wstring expected =
      L"2024/03/07 08:05:09 clsPublicFunc:MakeDir [C:\\x]を作成できませんでした。\r\n"
      L"2024/03/07 08:05:09 [エラー]失敗\r\n"
      L"2024/03/07 [警告]日付だけ\r\n"
      L"08:05:09 時刻\r\n"
      L"印なし\r\n"
      L"一行目\r\n二行目\r\n";
  EXPECT_EQ(norvale::ToAnsi(expected), LogBytes());
}

TEST_F(ErrorLogTest, SkipRepeatComparesTrimmedAndCaseSensitive) {
  // Nothing written yet: a blank message equals the empty last message.
  log_.ErrLogPut(L"   ", 0, 1, 1, 0, 0);
  log_.ErrLogPut(L"same", 0, 1, 1, 0, 0);
  log_.ErrLogPut(L"  same ", 0, 1, 1, 0, 0);
  log_.ErrLogPut(L"SAME", 0, 1, 1, 0, 0);
  log_.ErrLogPut(L"SAME", 0, 1, 0, 0, 0);  // skip-repeat off
  EXPECT_EQ("same\r\nSAME\r\nSAME\r\n", LogBytes());
}

TEST_F(ErrorLogTest, OpenModeOneStartsTheFileAnew) {
  log_.ErrLogPut(L"old", 0, 1, 0, 0, 0);
  log_.ErrLogPut(L"new", 0, 1, 0, 1, 0);
  EXPECT_EQ("new\r\n", LogBytes());
}

TEST_F(ErrorLogTest, DeepFolderIsCreatedWithoutMovingTheCurrentDirectory) {
  const std::wstring before = CurrentDirectory();
  log_.LogDir(dir_ / L"一\\二\\三");
  EXPECT_EQ(0, log_.ErrLogPut(L"深い", 0, 1, 0, 0, 0));
  EXPECT_EQ(before, CurrentDirectory());
  EXPECT_EQ(norvale::ToAnsi(L"深い\r\n"), ReadFileBytes(dir_ / L"一\\二\\三\\QUILLON.log"));
  // The new folder can be removed at once: nobody stands in it.
  DeleteFileW((dir_ / L"一\\二\\三\\QUILLON.log").c_str());
  EXPECT_TRUE(RemoveDirectoryW((dir_ / L"一\\二\\三").c_str()));
}

TEST_F(ErrorLogTest, UnopenableFileRaisesTheEventAndWritesNothing) {
  log_.ErrLogPut(L"first", 0, 1, 0, 0, 0);
  HANDLE locked = CreateFileW(log_.LogFilePath().c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, locked);
  int raised = 0;
  int32_t code = 0;
  log_.clsErrError = [&](int32_t c, const std::wstring&) { ++raised; code = c; };
  EXPECT_EQ(0, log_.ErrLogPut(L"second", 0, 1, 0, 0, 0));
  log_.EventUse(false);
  EXPECT_EQ(0, log_.ErrLogPut(L"third", 0, 1, 0, 0, 0));
  CloseHandle(locked);
  EXPECT_EQ(1, raised);
  EXPECT_EQ(70, code);
  EXPECT_EQ("first\r\n", LogBytes());
}

TEST_F(ErrorLogTest, FolderThatCannotBeCreatedReturnsItsErrorWithoutEvent) {
  WriteFileBytes(dir_ / L"plainfile", "x");
  log_.LogDir(dir_ / L"plainfile\\sub");
  int raised = 0;
  log_.clsErrError = [&](int32_t, const std::wstring&) { ++raised; };
  EXPECT_NE(0, log_.ErrLogPut(L"lost", 0, 1, 0, 0, 0));
  EXPECT_EQ(0, raised);
}

TEST_F(ErrorLogTest, PathPropertiesFollowDirAndFileName) {
  clsError fresh;
  EXPECT_EQ(L"QUILLON.log", fresh.LogFileID());
  EXPECT_EQ(fresh.LogDir() + L"\\QUILLON.log", fresh.LogFilePath());
  EXPECT_TRUE(fresh.EventUse());
  EXPECT_EQ(2, fresh.LogLevel());
  EXPECT_NE(std::wstring::npos, fresh.EditerPath().find(L"\\notepad.exe"));
  fresh.LogDir(L"");
  fresh.LogFileID(L"other.log");
  EXPECT_EQ(L"other.log", fresh.LogFilePath());
  clsError second;
  second.LogFileID(L"other.log");
  second.LogDir(L"");
  EXPECT_EQ(L"other.log", second.LogFilePath());
}

TEST_F(ErrorLogTest, DispMsgAsksThroughTheSeamWithProgramTitleForEmptyTitle) {
  box_->Answer(IDYES);
  EXPECT_EQ(IDYES, log_.DispMsg(L"本文", L"", MB_YESNO));
  EXPECT_EQ(1, log_.DispMsg(L"本文", L" "));
  ASSERT_EQ(2u, box_->Asked().size());
  EXPECT_EQ(L"common_tests", box_->Asked()[0].title);
  EXPECT_EQ(static_cast<unsigned>(MB_YESNO), box_->Asked()[0].style);
  EXPECT_EQ(L" ", box_->Asked()[1].title);
}

TEST_F(ErrorLogTest, DeleteFileAsksWarnsAndDeletes) {
  log_.ErrLogPut(L"x", 0, 1, 0, 0, 0);
  const std::wstring path = log_.LogFilePath();

  box_->Answer(IDNO);
  EXPECT_EQ(-1, log_.DeleteFile(L"", true));
  EXPECT_EQ(L"ログファイルを削除しますか？\r\n(" + path + L")", box_->Asked().back().text);
  EXPECT_EQ(L"ファイルを削除しますか？", box_->Asked().back().title);
  EXPECT_EQ(0x1144u, box_->Asked().back().style);
  EXPECT_EQ("x\r\n", LogBytes());

  // A box that could not be shown is no Yes.
  box_->Answer(0);
  EXPECT_EQ(-1, log_.DeleteFile(L"", true));
  EXPECT_EQ("x\r\n", LogBytes());

  box_->Answer(IDYES);
  EXPECT_EQ(0, log_.DeleteFile(L"", true));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));

  EXPECT_EQ(-1, log_.DeleteFile(path));
  EXPECT_EQ(L"削除対象ファイルファイルは存在しません。\r\n(" + path + L")", box_->Asked().back().text);
  EXPECT_EQ(L"ファイルは存在しません", box_->Asked().back().title);
  EXPECT_EQ(0x1040u, box_->Asked().back().style);

  // A file held open without sharing cannot be deleted: the box names why.
  const std::wstring held = dir_ / L"held.log";
  WriteFileBytes(held, "y");
  HANDLE h = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  const int32_t result = log_.DeleteFile(held);
  CloseHandle(h);
  EXPECT_GT(result, 0);
  EXPECT_EQ(L"ファイルの削除に失敗しました！", box_->Asked().back().title);
}

}  // namespace
