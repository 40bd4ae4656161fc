#include <windows.h>

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "ScriptedMessageBox.h"
#include "System.h"
#include "TempDir.h"
#include "Text.h"
#include "clsPublicFunc.h"

using namespace testing_support;

namespace {

constexpr int64_t kDay = 86400;

class CopyingTest : public ::testing::Test {
 protected:
  CopyingTest()
      : box_(std::make_shared<norvale::ScriptedMessageBox>()),
        f_(norvale::Seams{box_, std::make_shared<norvale::SystemClock>(),
                          std::make_shared<norvale::SystemMessagePump>()}) {
    CreateDirectoryW(src_.c_str(), nullptr);
  }

  // What the object logged during the test.
  std::wstring NewLog() {
    return norvale::FromAnsi(ReadFileBytes(LogPath()).substr(logStart_));
  }
  static std::wstring LogPath() { return norvale::ProgramFolder() + L"\\QUILLON.log"; }

  TempDir dir_{L"copy"};
  std::wstring src_ = dir_ / L"元";
  std::shared_ptr<norvale::ScriptedMessageBox> box_;
  clsPublicFunc f_;
  size_t logStart_ = ReadFileBytes(LogPath()).size();
};

TEST_F(CopyingTest, DirCopyCopiesEveryFileButNoFolderAndLogsEach) {
  WriteFileBytes(src_ + L"\\a.txt", "a");
  WriteFileBytes(src_ + L"\\隠し.dat", "h");
  WriteFileBytes(src_ + L"\\ro.txt", "r");
  SetFileAttributesW((src_ + L"\\隠し.dat").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((src_ + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  CreateDirectoryW((src_ + L"\\sub").c_str(), nullptr);
  const std::wstring dst = dir_ / L"先\\深い";

  EXPECT_TRUE(f_.DirCopy(src_, dst));
  EXPECT_EQ("a", ReadFileBytes(dst + L"\\a.txt"));
  EXPECT_EQ("h", ReadFileBytes(dst + L"\\隠し.dat"));
  EXPECT_EQ("r", ReadFileBytes(dst + L"\\ro.txt"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dst + L"\\sub").c_str()));
  const std::wstring log = NewLog();
  EXPECT_NE(std::wstring::npos, log.find(L"clsPublic.DirCopy:'" + src_ + L"'→'" + dst + L"':\r\n"));
  EXPECT_NE(std::wstring::npos, log.find(L"clsPublic.DirCopy:隠し.datをCOPYしました。"));
  EXPECT_TRUE(box_->Asked().empty());
  for (auto n : {L"\\a.txt", L"\\隠し.dat", L"\\ro.txt"}) SetFileAttributesW((dst + n).c_str(), 0);
  SetFileAttributesW((src_ + L"\\ro.txt").c_str(), 0);
}

TEST_F(CopyingTest, DirCopyRefusesMissingSourceAndReportsUncreatableTarget) {
  EXPECT_FALSE(f_.DirCopy(dir_ / L"none", dir_ / L"dst"));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir_ / L"dst").c_str()));
  EXPECT_FALSE(f_.DirCopy(src_, L"  "));

  WriteFileBytes(dir_ / L"blocker", "x");
  EXPECT_FALSE(f_.DirCopy(src_, dir_ / L"blocker\\dst"));
  ASSERT_EQ(1u, box_->Asked().size());
  EXPECT_EQ(L"フォルダを作成できませんでした！", box_->Asked()[0].title);
  EXPECT_EQ(0, box_->Asked()[0].text.find(L"複写先のフォルダを作成できませんでした！\r\n"));
  EXPECT_EQ(static_cast<unsigned>(MB_SYSTEMMODAL | MB_ICONSTOP | MB_OK), box_->Asked()[0].style);

  // The quiet twin asks nothing.
  EXPECT_EQ(-1, f_.DIR_COPY(src_, dir_ / L"blocker\\dst"));
  EXPECT_EQ(1u, box_->Asked().size());
  EXPECT_NE(std::wstring::npos, NewLog().find(L"DIR_COPY [" + dir_ / L"blocker\\dst" + L"]を作成できませんでした"));
}

TEST_F(CopyingTest, DIR_COPYReturnsTheFailedCopysErrorAndCopiesTheRest) {
  EXPECT_EQ(0, f_.DIR_COPY(src_, dir_ / L"empty-target"));
  WriteFileBytes(src_ + L"\\1.txt", "1");
  WriteFileBytes(src_ + L"\\2.txt", "2");
  WriteFileBytes(src_ + L"\\3.txt", "3");
  const std::wstring dst = dir_ / L"dst";
  CreateDirectoryW(dst.c_str(), nullptr);
  WriteFileBytes(dst + L"\\2.txt", "old");
  HANDLE held = CreateFileW((dst + L"\\2.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  const int32_t result = f_.DIR_COPY(src_, dst, L"*.txt");
  CloseHandle(held);
  EXPECT_EQ(70, result);
  EXPECT_EQ("1", ReadFileBytes(dst + L"\\1.txt"));
  EXPECT_EQ("3", ReadFileBytes(dst + L"\\3.txt"));
  EXPECT_EQ("old", ReadFileBytes(dst + L"\\2.txt"));
  EXPECT_NE(std::wstring::npos, NewLog().find(L"DIR_COPY [2.txt]をCOPYできませんでした:[" + src_ +
                                               L"]→[" + dst + L"]:書き込みできません。"));
}

TEST_F(CopyingTest, DelFilesSelectsByPatternAndAge) {
  for (auto n : {L"new.log", L"old.log", L"edge.log", L"old.txt"}) WriteFileBytes(src_ + L"\\" + n, "x");
  AgeFile(src_ + L"\\old.log", 8 * kDay);
  AgeFile(src_ + L"\\old.txt", 8 * kDay);
  AgeFile(src_ + L"\\edge.log", 7 * kDay - 60);  // inside the last seven days: stays
  WriteFileBytes(src_ + L"\\hidden.log", "h");
  AgeFile(src_ + L"\\hidden.log", 30 * kDay);
  SetFileAttributesW((src_ + L"\\hidden.log").c_str(), FILE_ATTRIBUTE_HIDDEN);

  EXPECT_EQ(1, f_.DelFiles(src_ + L"\\*.log", 7));
  EXPECT_FALSE(f_.GetFileSystemType(src_ + L"\\old.log"));
  EXPECT_EQ(1, f_.GetFileSystemType(src_ + L"\\edge.log"));
  EXPECT_EQ(1, f_.GetFileSystemType(src_ + L"\\hidden.log"));

  EXPECT_EQ(2, f_.DelFiles(src_ + L"\\*.log", 0));
  EXPECT_EQ(0, f_.GetFileSystemType(src_ + L"\\new.log"));
  EXPECT_EQ(1, f_.GetFileSystemType(src_ + L"\\old.txt"));
  SetFileAttributesW((src_ + L"\\hidden.log").c_str(), 0);
}

// "*.log" names the current folder's files, never those of the drive's root.
TEST_F(CopyingTest, DelFilesTakesARelativePatternInTheCurrentFolder) {
  WriteFileBytes(src_ + L"\\a.log", "x");
  const std::wstring previous = CurrentDirectory();
  SetCurrentDirectoryW(src_.c_str());
  EXPECT_EQ(1, f_.DelFiles(L"*.log", 0));
  SetCurrentDirectoryW(previous.c_str());
  EXPECT_FALSE(f_.GetFileSystemType(src_ + L"\\a.log"));
  EXPECT_EQ(std::wstring::npos, NewLog().find(L"できませんでした"));
}

TEST_F(CopyingTest, DelFilesCountsSelectedFilesEvenWhenADeletionFails) {
  WriteFileBytes(src_ + L"\\a.tmp", "x");
  WriteFileBytes(src_ + L"\\b.tmp", "x");
  HANDLE held = CreateFileW((src_ + L"\\b.tmp").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(2, f_.DelFiles(src_ + L"\\*.tmp", 0));
  CloseHandle(held);
  EXPECT_NE(std::wstring::npos, NewLog().find(L"[" + src_ + L"\\b.tmp]を削除できませんでした！"));
  EXPECT_EQ(0, f_.GetFileSystemType(src_ + L"\\a.tmp"));
}

TEST_F(CopyingTest, DelFilesFormPathTakesTheAbsoluteDaysAndLogsEachDeletion) {
  WriteFileBytes(src_ + L"\\old.bak", "x");
  WriteFileBytes(src_ + L"\\new.bak", "x");
  AgeFile(src_ + L"\\old.bak", 4 * kDay);
  EXPECT_EQ(1, f_.DelFilesFormPath(src_, L" *.bak ", -3));
  EXPECT_NE(std::wstring::npos, NewLog().find(L"[" + src_ + L"\\old.bak]を削除しました！"));
  EXPECT_EQ(1, f_.GetFileSystemType(src_ + L"\\new.bak"));
  EXPECT_EQ(0, f_.DelFilesFormPath(dir_ / L"missing", L"", 0));
}

TEST_F(CopyingTest, DirCheckAndFileDeleteRemovesWhatTheDestinationHolds) {
  const std::wstring dst = dir_ / L"dst";
  CreateDirectoryW(dst.c_str(), nullptr);
  WriteFileBytes(src_ + L"\\same.bin", "1234");
  WriteFileBytes(dst + L"\\SAME.BIN", "abcd");
  WriteFileBytes(src_ + L"\\size.bin", "12");
  WriteFileBytes(dst + L"\\size.bin", "123");
  WriteFileBytes(src_ + L"\\only.bin", "1");

  EXPECT_EQ(1, f_.DirCheckAndFileDelete(src_, dst, L"", true));
  EXPECT_EQ(0, f_.GetFileSystemType(src_ + L"\\same.bin"));
  EXPECT_EQ(1, f_.GetFileSystemType(src_ + L"\\size.bin"));
  EXPECT_EQ(1, f_.DirCheckAndFileDelete(src_, dst));
  EXPECT_EQ(0, f_.GetFileSystemType(src_ + L"\\size.bin"));
  EXPECT_EQ(1, f_.GetFileSystemType(src_ + L"\\only.bin"));
  EXPECT_EQ(-1, f_.DirCheckAndFileDelete(L"", dst));
}

TEST_F(CopyingTest, DirCheckAndFileDeleteStopsAtTheFirstFailure) {
  const std::wstring dst = dir_ / L"dst";
  CreateDirectoryW(dst.c_str(), nullptr);
  WriteFileBytes(src_ + L"\\x.bin", "1");
  WriteFileBytes(dst + L"\\x.bin", "1");
  HANDLE held = CreateFileW((src_ + L"\\x.bin").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(-1, f_.DirCheckAndFileDelete(src_, dst));
  CloseHandle(held);
  EXPECT_NE(std::wstring::npos,
            NewLog().find(L"<DirCheckAndFileDelete> [" + src_ + L"\\x.bin]の削除に失敗しました！:"));
}

}  // namespace
