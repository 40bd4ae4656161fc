#include <windows.h>

#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FileSystem.h"
#include "ScriptedMessageBox.h"
#include "System.h"
#include "TempDir.h"
#include "Text.h"
#include "clsPublicFunc.h"

using namespace testing_support;

namespace {

// Every object logs beside the test program; point its log elsewhere by
// checking the log through the program folder.
std::wstring ProgramLog() { return norvale::ProgramFolder() + L"\\QUILLON.log"; }

TEST(PathSplitTest, LocalPaths) {
  clsPublicFunc f;
  EXPECT_EQ(L"C:\\a", f.GetFilePath(L"C:\\a\\b.txt"));
  EXPECT_EQ(L"C:", f.GetFilePath(L"C:\\b.txt"));
  EXPECT_EQ(L"C:\\a", f.GetFilePath(L"C:\\a\\"));
  EXPECT_EQ(L"", f.GetFilePath(L"b.txt"));
  EXPECT_EQ(L"C:\\a", f.GetFilePath(L"  C:\\a\\b.txt  "));
  EXPECT_EQ(L"\\\\srv\\share", f.GetFilePath(L"\\\\srv\\share\\f.ini"));

  EXPECT_EQ(L"c.txt", f.GetFileID(L"C:\\a\\b\\c.txt"));
  EXPECT_EQ(L"c.txt", f.GetFileID(L"c.txt"));
  EXPECT_EQ(L"", f.GetFileID(L"C:\\a\\"));
  EXPECT_EQ(L"", f.GetFileID(L"   "));
  EXPECT_EQ(L"セットアップ.ini", f.GetFileID(L"C:\\日本\\セットアップ.ini"));
}

TEST(PathSplitTest, ServerPaths) {
  clsPublicFunc f;
  EXPECT_EQ(L"file.ini", f.GetFileID_FTP(L"/dir/sub/file.ini"));
  EXPECT_EQ(L"/dir/sub", f.GetFilePath_FTP(L"/dir/sub/file.ini"));
  EXPECT_EQ(L"", f.GetFilePath_FTP(L"/file.ini"));
  EXPECT_EQ(L"file.ini", f.GetFileID_FTP(L"file.ini"));
  EXPECT_EQ(L"", f.GetFilePath_FTP(L"file.ini"));
  // A local separator is no separator on the server.
  EXPECT_EQ(L"a\\b.txt", f.GetFileID_FTP(L"a\\b.txt"));
}

TEST(PathSplitTest, FoldersDrivesAndExtensions) {
  clsPublicFunc f;
  EXPECT_EQ(L"b", f.GetLastFolder(L"C:\\a\\b\\"));
  EXPECT_EQ(L"b", f.GetLastFolder(L"C:\\a\\b\\c.txt"));
  EXPECT_EQ(L"a.1", f.GetLastFolder(L"C:\\a.1\\b"));
  EXPECT_EQ(L"C:", f.GetLastFolder(L"C:\\"));
  EXPECT_EQ(L"share", f.GetLastFolder(L"\\\\srv\\share\\"));

  EXPECT_EQ(L"C:\\a", f.GetDelLastFolder(L"C:\\a\\b"));
  EXPECT_EQ(L"C:\\", f.GetDelLastFolder(L"C:\\a"));
  EXPECT_EQ(L"", f.GetDelLastFolder(L"abc"));

  EXPECT_EQ(L"D", f.GetDriveFormPath(L"D:\\x"));
  EXPECT_EQ(L"", f.GetDriveFormPath(L":x"));
  EXPECT_EQ(L"", f.GetDriveFormPath(L"x"));
  EXPECT_EQ(L"", f.GetDriveFormPath(L"  "));

  EXPECT_EQ(L"zip", f.GetFileExt(L"C:\\dl\\pack.v2.zip"));
  EXPECT_EQ(L"", f.GetFileExt(L"C:\\dir.d\\noext"));
  EXPECT_EQ(L"", f.GetFileExt(L""));
}

TEST(SharedTextTest, ReplacingUpperCasingAndSeparators) {
  // Replacement text that holds what it replaces is not replaced again, and
  // nothing to look for leaves the text alone instead of never ending.
  EXPECT_EQ(L"a%%b%%", norvale::ReplaceAll(L"a%b%", L"%", L"%%"));
  EXPECT_EQ(L"abc", norvale::ReplaceAll(L"abc", L"", L"x"));
  EXPECT_EQ(L"C:\\a\\b", norvale::ReplaceAll(L"C:\\\\a\\\\b", L"\\\\", L"\\"));
  EXPECT_EQ(L"SETUP.INI", norvale::UpperCased(L"setup.ini"));
  EXPECT_EQ(L"", norvale::UpperCased(L""));

  EXPECT_EQ(L"C:\\App", norvale::WithoutTrailingSeparator(L"C:\\App\\"));
  EXPECT_EQ(L"C:\\App", norvale::WithoutTrailingSeparator(L"C:\\App"));
  // "C:" alone would name the drive's current folder.
  EXPECT_EQ(L"C:\\", norvale::WithoutTrailingSeparator(L"C:\\"));
  EXPECT_TRUE(norvale::IsSelfOrParent(L"."));
  EXPECT_TRUE(norvale::IsSelfOrParent(L".."));
  EXPECT_FALSE(norvale::IsSelfOrParent(L"..."));
  EXPECT_FALSE(norvale::IsSelfOrParent(L".nvpart"));
}

// Only a path that names one place whatever the current drive and folder
// are counts: what a relative name would reach depends on where the
// program happens to stand.
TEST(SharedTextTest, FullyQualifiedPaths) {
  for (const wchar_t* path : {L"C:\\Norvale", L"d:\\", L"\\\\server\\share\\pos"}) {
    EXPECT_TRUE(norvale::IsFullyQualifiedPath(path)) << path;
  }
  for (const wchar_t* path : {L"", L"C:", L"C:Norvale", L"Norvale\\POS", L"\\Norvale", L"1:\\x",
                              L"\\\\\\x", L"\\\\?\\C:\\x", L"\\\\.\\PhysicalDrive0", L" C:\\x"}) {
    EXPECT_FALSE(norvale::IsFullyQualifiedPath(path)) << path;
  }
}

TEST(SharedTextTest, SystemErrorTextsEndWithoutALineBreak) {
  const std::wstring text = norvale::SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(L'\n', text.back());
  EXPECT_NE(L'\r', text.back());
  EXPECT_NE(L' ', text.back());
  EXPECT_EQ(L"エラー 987654", norvale::SystemErrorText(987654));
}

TEST(FullPathTest, ResolvesAgainstCurrentDirectoryProgramFolderOrBase) {
  clsPublicFunc f;
  const std::wstring program = norvale::ProgramFolder();
  EXPECT_EQ(L"", f.GetFullPath(L"   "));
  EXPECT_EQ(L"C:\\a\\c", f.GetFullPath(L"C:\\a\\b\\..\\c"));
  EXPECT_EQ(program + L"\\sub", f.GetFullPath(L".\\sub"));
  EXPECT_EQ(f.GetDelLastFolder(program) + L"\\x", f.GetFullPath(L"..\\x"));
  EXPECT_EQ(L"C:\\base\\y", f.GetFullPath(L".\\y", L" C:\\base "));
  EXPECT_EQ(CurrentDirectory() + (CurrentDirectory().back() == L'\\' ? L"" : L"\\") + L"rel",
            f.GetFullPath(L"rel"));
}

class MakeDirTest : public ::testing::Test {
 protected:
  TempDir dir_{L"mkdir"};
  clsPublicFunc f_;
};

TEST_F(MakeDirTest, CreatesEveryMissingLevelAndKeepsTheCurrentDirectory) {
  const std::wstring before = CurrentDirectory();
  std::wstring full = L"junk";
  const std::wstring target = dir_ / L"あ\\い\\う";
  EXPECT_EQ(0, f_.MakeDir(L" " + target + L" ", &full, true));
  EXPECT_EQ(target, full);
  EXPECT_TRUE(f_.FolderCheck(target));
  EXPECT_EQ(before, CurrentDirectory());
  EXPECT_TRUE(RemoveDirectoryW(target.c_str()));

  // Existing folder, trailing separator.
  EXPECT_EQ(0, f_.MakeDir(dir_.Path() + L"\\", &full));
  EXPECT_EQ(dir_.Path() + L"\\", full);

  EXPECT_EQ(0, f_.MakeDir(L"  ", &full));
  EXPECT_EQ(L"", full);
}

TEST_F(MakeDirTest, FailingLevelReturnsItsErrorAndLogsOnlyWhenAsked) {
  WriteFileBytes(dir_ / L"file", "x");
  const std::string logBefore = ReadFileBytes(ProgramLog());
  std::wstring full;
  const int32_t quiet = f_.MakeDir(dir_ / L"file\\sub", &full, false);
  EXPECT_NE(0, quiet);
  EXPECT_EQ(dir_ / L"file\\sub", full);
  EXPECT_EQ(logBefore, ReadFileBytes(ProgramLog()));

  EXPECT_EQ(quiet, f_.MakeDir(dir_ / L"file\\sub", &full, true));
  const std::string logAfter = ReadFileBytes(ProgramLog());
  ASSERT_GT(logAfter.size(), logBefore.size());
  const std::wstring line = norvale::FromAnsi(logAfter.substr(logBefore.size()));
  EXPECT_NE(std::wstring::npos,
            line.find(L" clsPublicFunc:MakeDir [" + dir_ / L"file" + L"]を作成できませんでした。\r\n"))
      << norvale::ToAnsi(line);
}

TEST_F(MakeDirTest, MissingDriveAndNetworkPathsFail) {
  std::wstring full;
  EXPECT_NE(0, f_.MakeDir(L"Q:\\nowhere\\x", &full));
  EXPECT_EQ(L"Q:\\nowhere\\x", full);
  EXPECT_NE(0, f_.MakeDir(L"\\\\nohost\\noshare\\dir", &full));
  EXPECT_EQ(L"\\\\nohost\\noshare\\dir", full);
}

TEST_F(MakeDirTest, FileAndFolderQueries) {
  const std::wstring file = dir_ / L"a.txt";
  WriteFileBytes(file, "abc");
  const std::wstring hidden = dir_ / L"h.txt";
  WriteFileBytes(hidden, "h");
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);

  EXPECT_EQ(1, f_.GetFileSystemType(file));
  EXPECT_EQ(1, f_.GetFileSystemType(hidden));
  EXPECT_EQ(2, f_.GetFileSystemType(dir_.Path()));
  EXPECT_EQ(0, f_.GetFileSystemType(dir_ / L"none"));
  EXPECT_EQ(0, f_.GetFileSystemType(L""));
  EXPECT_TRUE(f_.FolderCheck(dir_.Path()));
  EXPECT_FALSE(f_.FolderCheck(file));
  EXPECT_FALSE(f_.FolderCheck(L" "));

  // In use: another open without sharing blocks ours; a hidden file is no
  // ordinary file, a folder is none either.
  EXPECT_FALSE(f_.IsFileUsing(file));
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(f_.IsFileUsing(file));
  CloseHandle(h);
  HANDLE hh = CreateFileW(hidden.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(f_.IsFileUsing(hidden));
  CloseHandle(hh);
  EXPECT_FALSE(f_.IsFileUsing(dir_.Path()));
  EXPECT_FALSE(f_.IsFileUsing(L""));
}

TEST_F(MakeDirTest, ListsAndChecksNames) {
  for (auto name : {L"a.log", L"B.log", L"c.log", L"d.txt"}) WriteFileBytes(dir_ / name, "x");
  SetFileAttributesW((dir_ / L"c.log").c_str(), FILE_ATTRIBUTE_HIDDEN);
  CreateDirectoryW((dir_ / L"sub.log").c_str(), nullptr);

  std::vector<std::wstring> list{L"keep-1", L"keep-2", L"keep-3", L"keep-4", L"keep-5"};
  EXPECT_EQ(3, f_.GetFileList(list, dir_.Path(), L"*.log"));
  ASSERT_EQ(3u, list.size());
  EXPECT_TRUE(f_.FileCheck(L"A.LOG", list));
  EXPECT_TRUE(f_.FileCheck(L"c.log", list));
  EXPECT_FALSE(f_.FileCheck(L"sub.log", list));
  EXPECT_FALSE(f_.FileCheck(L"  ", list));
  EXPECT_FALSE(f_.FileCheck(L"a.log", {}));

  TempDir empty(L"empty");
  std::vector<std::wstring> untouched{L"x"};
  EXPECT_EQ(0, f_.GetFileList(untouched, empty.Path()));
  EXPECT_EQ(std::vector<std::wstring>{L"x"}, untouched);
  EXPECT_EQ(4, f_.GetFileList(untouched, dir_.Path()));
}

TEST_F(MakeDirTest, SameFileMeansSameSizeAndWriteTime) {
  const std::wstring a = dir_ / L"a", b = dir_ / L"b";
  WriteFileBytes(a, "same");
  WriteFileBytes(b, "same");
  AgeFile(a, 100);
  AgeFile(b, 100);
  EXPECT_TRUE(f_.IsSameFile(a, b));
  AgeFile(b, 200);
  EXPECT_FALSE(f_.IsSameFile(a, b));
  WriteFileBytes(b, "diff!");
  AgeFile(b, 100);
  EXPECT_FALSE(f_.IsSameFile(a, b));
  EXPECT_FALSE(f_.IsSameFile(a, dir_ / L"missing"));
  EXPECT_FALSE(f_.IsSameFile(L"", a));
}

}  // namespace
