#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "DeleteGuard.h"
#include "TempDir.h"

using namespace testing_support;
using norvale::DeleteKind;
using norvale::MayDelete;

namespace {

std::wstring Folder(int csidl) {
  wchar_t buffer[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer);
  return buffer;
}

TEST(DeleteGuardTest, RefusesPathsThatAreNotPlainAndAbsolute) {
  for (const wchar_t* path :
       {L"", L"   ", L"relative\\dir", L"dir", L".", L"..\\x", L"C:", L"C:dir", L"C:\\",
        L"C:/", L"c:\\.", L"C:\\a\\..\\..", L"\\\\?\\C:\\temp\\x", L"\\\\.\\PhysicalDrive0",
        L"\\\\server", L"\\\\server\\share", L"\\\\server\\share\\", L"C:\\temp\\*",
        L"C:\\*\\x", L"C:\\te?p\\x"}) {
    EXPECT_FALSE(MayDelete(path)) << "allowed: [" << std::string(path, path + wcslen(path)) << "]";
  }
  EXPECT_TRUE(MayDelete(L"\\\\server\\share\\dir"));
  EXPECT_TRUE(MayDelete(L"C:\\Norvale\\TEMP\\*.zip", DeleteKind::PatternInFolder));
  EXPECT_FALSE(MayDelete(L"C:\\*\\a.zip", DeleteKind::PatternInFolder));
  EXPECT_FALSE(MayDelete(L"C:\\*.zip", DeleteKind::PatternInFolder));
}

TEST(DeleteGuardTest, RefusesWindowsAndProfileFoldersAndTheirAncestors) {
  for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_SYSTEMX86, CSIDL_PROGRAM_FILES,
                    CSIDL_PROGRAM_FILESX86, CSIDL_COMMON_APPDATA, CSIDL_PROFILE, CSIDL_FONTS,
                    CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_PROGRAMS, CSIDL_STARTUP,
                    CSIDL_APPDATA, CSIDL_PERSONAL}) {
    const std::wstring folder = Folder(csidl);
    ASSERT_FALSE(folder.empty()) << csidl;
    EXPECT_FALSE(MayDelete(folder)) << csidl;
    EXPECT_FALSE(MayDelete(folder + L"\\")) << csidl;
    EXPECT_FALSE(MayDelete(folder + L"\\sub\\..")) << csidl;
  }
  const std::wstring profile = Folder(CSIDL_PROFILE);
  EXPECT_FALSE(MayDelete(profile.substr(0, profile.rfind(L'\\'))));  // C:\users
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_FALSE(MayDelete(temp));
  // What a product owns below them is its own.
  EXPECT_TRUE(MayDelete(Folder(CSIDL_PROGRAM_FILESX86) + L"\\Norvale"));
  EXPECT_TRUE(MayDelete(Folder(CSIDL_COMMON_PROGRAMS) + L"\\Norvale POS"));
  EXPECT_TRUE(MayDelete(Folder(CSIDL_FONTS) + L"\\norvale.ttf"));
}

std::wstring ShortForm(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

// "C:" alone names the drive's current directory; a pattern in the root is
// a pattern in the root wherever the current directory is.
TEST(DeleteGuardTest, APatternInTheDriveRootIsRefusedFromAnyCurrentDirectory) {
  TempDir dir(L"current");
  const std::wstring previous = CurrentDirectory();
  SetCurrentDirectoryW(dir.Path().c_str());
  const std::wstring root = dir.Path().substr(0, 3);
  EXPECT_FALSE(MayDelete(root + L"*", DeleteKind::PatternInFolder));
  EXPECT_FALSE(MayDelete(root + L"*.zip", DeleteKind::PatternInFolder));
  EXPECT_TRUE(MayDelete(dir.Path() + L"\\*.zip", DeleteKind::PatternInFolder));
  SetCurrentDirectoryW(previous.c_str());
}

// A short (8.3) name reaches the same folder as its long name.
TEST(DeleteGuardTest, RefusesProtectedFoldersByTheirShortNames) {
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_COMMON_APPDATA,
                    CSIDL_COMMON_PROGRAMS}) {
    const std::wstring folder = Folder(csidl);
    const std::wstring shortName = ShortForm(folder);
    EXPECT_FALSE(MayDelete(shortName)) << csidl;
    EXPECT_FALSE(MayDelete(shortName + L"\\..")) << csidl;
  }
  TempDir dir(L"short name");
  const std::wstring mine = dir / L"Norvale Program Data";
  CreateDirectoryW(mine.c_str(), nullptr);
  EXPECT_TRUE(MayDelete(ShortForm(mine)));
}

TEST(DeleteTreeTest, DeletesAFolderWithReadOnlyFilesButNeverEntersALink) {
  TempDir dir(L"tree");
  const std::wstring victim = dir / L"keep";
  CreateDirectoryW(victim.c_str(), nullptr);
  WriteFileBytes(victim + L"\\precious.txt", "mine");

  const std::wstring tree = dir / L"製品";
  CreateDirectoryW(tree.c_str(), nullptr);
  CreateDirectoryW((tree + L"\\sub").c_str(), nullptr);
  WriteFileBytes(tree + L"\\sub\\ro.txt", "x");
  SetFileAttributesW((tree + L"\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesW((tree + L"\\sub").c_str(), FILE_ATTRIBUTE_READONLY);
  // A directory link into the folder we must keep. Wine 8 reports success
  // without making one, so the link part only bites where links exist.
  CreateSymbolicLinkW((tree + L"\\link").c_str(), victim.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  const DWORD linkAttributes = GetFileAttributesW((tree + L"\\link").c_str());
  const bool linked = linkAttributes != INVALID_FILE_ATTRIBUTES &&
                      (linkAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;

  std::wstring why;
  EXPECT_TRUE(norvale::DeleteTree(tree, &why)) << std::string(why.begin(), why.end());
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(tree.c_str()));
  EXPECT_EQ("mine", ReadFileBytes(victim + L"\\precious.txt")) << "linked=" << linked;

  EXPECT_FALSE(norvale::DeleteTree(tree, &why));
  EXPECT_EQ(L"no such folder", why);
  EXPECT_FALSE(norvale::DeleteTree(L"C:\\", &why));
  EXPECT_EQ(L"drive root", why);
}

}  // namespace
