#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "ServicesTestSupport.h"
#include "TempDir.h"
#include "Text.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Folder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}

class ShellFilesTest : public ::testing::Test {
 protected:
  ShellFilesTest() : previous_(CurrentDirectory()) {}
  ~ShellFilesTest() override { SetCurrentDirectoryW(previous_.c_str()); }

  ServicesUnderTest services_;
  clsWinCommon win_{services_.Seams(), services_.Windows()};
  TempDir dir_{L"shell"};
  std::wstring previous_;
};

TEST_F(ShellFilesTest, PathTexts) {
  struct Case {
    const wchar_t *path, *folder, *file;
  };
  for (const Case& c : {Case{L"C:\\a\\b\\c\\d.txt", L"C:\\a\\b\\c", L"d.txt"},
                        Case{L"C:\\a\\b\\c\\d", L"C:\\a\\b\\c", L"d"},
                        Case{L" LongFolderName\\x\\y.txt ", L"LongFolderName\\x", L"y.txt"},
                        Case{L"  name.txt ", L"", L"name.txt"},
                        Case{L"C:\\", L"C:", L""}}) {
    EXPECT_EQ(c.folder, win_.GetFilePath(c.path)) << c.path;
    EXPECT_EQ(c.file, win_.GetFileID(c.path)) << c.path;
  }
  EXPECT_EQ(L"C", win_.GetDriveFormPath(L"C:\\"));
  EXPECT_EQ(L"C", win_.GetDriveFormPath(L"\\\\?\\C:\\x"));
  EXPECT_EQ(L"", win_.GetDriveFormPath(L":x"));
  EXPECT_EQ(L"", win_.GetDriveFormPath(L"   "));
  EXPECT_EQ(L"", win_.GetDriveFormPath(L"no drive"));
}

TEST_F(ShellFilesTest, CopiesAndDeletesThroughTheShell) {
  WriteFileBytes(dir_ / L"a.txt", "a");
  WriteFileBytes(dir_ / L"b.txt", "b");
  CreateDirectoryW((dir_ / L"to").c_str(), nullptr);
  const FILEOP_FLAGS quiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
  // Several names, separated by NUL characters.
  EXPECT_TRUE(win_.FileCopy(nullptr, dir_ / L"a.txt" + L'\0' + dir_ / L"b.txt", dir_ / L"to",
                            FO_COPY, quiet));
  EXPECT_EQ("a", ReadFileBytes(dir_ / L"to\\a.txt"));
  EXPECT_EQ("b", ReadFileBytes(dir_ / L"to\\b.txt"));
  EXPECT_FALSE(win_.FileCopy(nullptr, L"", dir_ / L"to", FO_COPY, quiet));
  EXPECT_FALSE(win_.FileCopy(nullptr, dir_ / L"a.txt", dir_ / L"to"));
  // Without a target nothing lands in the current directory.
  EXPECT_FALSE(win_.FileCopy(nullptr, dir_ / L"a.txt", L"", FO_COPY, quiet));
  EXPECT_EQ(1u, services_.shellFiles->operations.size());

  EXPECT_TRUE(win_.FileCopy(nullptr, dir_ / L"to\\a.txt", L"", FO_DELETE, quiet));
  EXPECT_FALSE(Exists(dir_ / L"to\\a.txt"));

  // Deleted at once, without questions.
  win_.FileDelete(nullptr, dir_ / L"a.txt" + L'\0' + dir_ / L"to\\*.txt", 1);
  EXPECT_FALSE(Exists(dir_ / L"a.txt"));
  EXPECT_FALSE(Exists(dir_ / L"to\\b.txt"));
  EXPECT_EQ(FOF_SILENT | FOF_NOCONFIRMATION, services_.shellFiles->operations.back().flags);
  // To the recycle bin, and with the shell's questions.
  win_.FileDelete(nullptr, dir_ / L"b.txt", 0);
  EXPECT_EQ(FOF_ALLOWUNDO | FOF_SILENT | FOF_NOCONFIRMATION,
            services_.shellFiles->operations.back().flags);
  win_.FileDelete(nullptr, dir_ / L"b.txt", 0, true);
  EXPECT_EQ(FOF_ALLOWUNDO, services_.shellFiles->operations.back().flags);
  EXPECT_EQ(UINT(FO_DELETE), services_.shellFiles->operations.back().function);
  EXPECT_EQ(dir_ / L"b.txt", services_.shellFiles->operations.back().from);
}

TEST_F(ShellFilesTest, DeletesOfProtectedPlacesAreRefusedAndLogged) {
  ClearErrorLog();
  WriteFileBytes(dir_ / L"keep.txt", "keep");
  const std::wstring windows = Folder(CSIDL_WINDOWS);
  // One refused name stops the whole list.
  win_.FileDelete(nullptr, dir_ / L"keep.txt" + L'\0' + windows, 1);
  win_.FileDelete(nullptr, L"C:\\*", 1);
  win_.FileDelete(nullptr, L"keep.txt", 1);
  EXPECT_FALSE(win_.FileCopy(nullptr, Folder(CSIDL_PROGRAM_FILES), L"", FO_DELETE));
  // Moving or renaming a protected folder away deletes it where it was.
  EXPECT_FALSE(win_.FileCopy(nullptr, Folder(CSIDL_FONTS), dir_ / L"to", FO_MOVE));
  EXPECT_FALSE(win_.FileCopy(nullptr, dir_ / L"keep.txt" + L'\0' + Folder(CSIDL_PROFILE),
                             dir_ / L"to", FO_MOVE));
  EXPECT_FALSE(win_.FileCopy(nullptr, Folder(CSIDL_SYSTEM), dir_ / L"renamed", FO_RENAME));
  EXPECT_TRUE(services_.shellFiles->operations.empty());
  EXPECT_TRUE(win_.FileCopy(nullptr, dir_ / L"keep.txt", dir_ / L"kept.txt", FO_RENAME));
  EXPECT_EQ(1u, services_.shellFiles->operations.size());
  EXPECT_EQ("keep", ReadFileBytes(dir_ / L"kept.txt"));
  for (const std::wstring& path :
       {std::wstring(L"C:\\"), std::wstring(L"C:"), windows, Folder(CSIDL_SYSTEM),
        Folder(CSIDL_PROGRAM_FILES), Folder(CSIDL_COMMON_APPDATA), Folder(CSIDL_PROFILE),
        Folder(CSIDL_FONTS), Folder(CSIDL_COMMON_PROGRAMS), dir_.Path() + L"\\..",
        std::wstring(L"relative\\folder"), dir_ / L"*", std::wstring(L"\\\\?\\C:\\x"),
        std::wstring(L"\\\\server\\share")}) {
    EXPECT_FALSE(win_.DeleteFolder(path)) << norvale::ToAnsi(path);
  }
  EXPECT_TRUE(Exists(windows + L"\\system32"));
  const std::wstring log = ErrorLogText();
  EXPECT_NE(std::wstring::npos, log.find(L"FileDelete:"));
  EXPECT_NE(std::wstring::npos, log.find(L"FileCopy:"));
  EXPECT_NE(std::wstring::npos, log.find(L"DeleteFolder:"));
  EXPECT_NE(std::wstring::npos, log.find(windows));
}

TEST_F(ShellFilesTest, DeleteFolderRemovesATreeFromItsDrivesRoot) {
  EXPECT_TRUE(win_.DeleteFolder(L"   "));
  EXPECT_FALSE(win_.DeleteFolder(dir_ / L"missing"));

  const std::wstring tree = dir_ / L"製品";
  CreateDirectoryW(tree.c_str(), nullptr);
  CreateDirectoryW((tree + L"\\sub").c_str(), nullptr);
  WriteFileBytes(tree + L"\\sub\\ro.txt", "x");
  SetFileAttributesW((tree + L"\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetCurrentDirectoryW((tree + L"\\sub").c_str());
  EXPECT_TRUE(win_.DeleteFolder(tree));
  EXPECT_FALSE(Exists(tree));
  EXPECT_EQ(dir_.Path().substr(0, 3), CurrentDirectory());

  // A trailing separator names the same folder.
  CreateDirectoryW(tree.c_str(), nullptr);
  WriteFileBytes(tree + L"\\a.txt", "a");
  EXPECT_TRUE(win_.DeleteFolder(tree + L"\\"));
  EXPECT_FALSE(Exists(tree));
  // A file is no folder.
  WriteFileBytes(dir_ / L"file", "f");
  EXPECT_FALSE(win_.DeleteFolder(dir_ / L"file"));
  EXPECT_TRUE(Exists(dir_ / L"file"));
}

TEST_F(ShellFilesTest, MakeDirCreatesEveryMissingLevel) {
  const std::wstring deep = dir_ / L"a\\b\\c";
  EXPECT_EQ(0, win_.MakeDir(deep));
  EXPECT_TRUE(Exists(deep));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, win_.MakeDir(deep));
}

TEST_F(ShellFilesTest, DisplayNames) {
  WriteFileBytes(dir_ / L"表示.txt", "x");
  EXPECT_EQ(0u, win_.GetFileDisplayName(dir_ / L"表示.txt").find(L"表示"));
  EXPECT_EQ(L"", win_.GetFileDisplayName(dir_ / L"missing.txt"));
}

}  // namespace
