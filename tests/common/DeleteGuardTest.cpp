#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <map>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "DeleteGuard.h"
#include "StepWhy.h"
#include "TempDir.h"
#include "Text.h"

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

std::wstring KnownFolderOf(const KNOWNFOLDERID& id, HANDLE token = nullptr) {
  PWSTR raw = nullptr;
  const HRESULT hr = SHGetKnownFolderPath(id, KF_FLAG_DONT_VERIFY, token, &raw);
  std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> path(raw, &CoTaskMemFree);
  return SUCCEEDED(hr) && path ? std::wstring(path.get()) : std::wstring();
}

std::wstring TempFolder() {
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring path(temp, n);
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

std::wstring ComputerName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
  GetComputerNameW(name, &n);
  return std::wstring(name, n);
}

// Paths that an attacker or a broken setup record might hand the uninstaller,
// each of which reaches something no product owns.
TEST(DeleteGuardTest, RefusesEveryHostilePathOfTheTable) {
  const std::wstring windows = Folder(CSIDL_WINDOWS);
  const std::wstring profile = Folder(CSIDL_PROFILE);
  const std::wstring users = profile.substr(0, profile.rfind(L'\\'));
  const std::wstring drive = windows.substr(0, 2);
  const HANDLE defaultUser = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
  std::vector<std::wstring> table = {
      // Profiles: the folder holding them, other users', the default one.
      users, users + L"\\", users + L"\\Default", users + L"\\Public", users + L"\\another",
      users + L"\\All Users", users + L"\\another\\", drive + L"\\Documents and Settings",
      drive + L"\\Documents and Settings\\another",
      // Known folders that no CSIDL names.
      KnownFolderOf(FOLDERID_Downloads), KnownFolderOf(FOLDERID_SavedGames),
      KnownFolderOf(FOLDERID_Contacts), KnownFolderOf(FOLDERID_Links),
      KnownFolderOf(FOLDERID_SavedSearches), KnownFolderOf(FOLDERID_LocalAppDataLow),
      KnownFolderOf(FOLDERID_ProgramFilesCommon), KnownFolderOf(FOLDERID_ProgramFilesCommonX86),
      KnownFolderOf(FOLDERID_Desktop, defaultUser), KnownFolderOf(FOLDERID_Documents, defaultUser),
      // Inside the Windows folder: folders at any depth, files but fonts.
      windows + L"\\System32\\drivers", windows + L"\\WinSxS", windows + L"\\Temp",
      windows + L"\\Temp\\product", windows + L"\\Fonts\\sub", windows + L"\\win.ini",
      windows + L"\\System32\\kernel32.dll", windows + L"\\Fonts\\readme.txt",
      windows + L"\\Fonts\\sub\\x.ttf", windows + L"\\System32\\x.ttf",
      windows + L"\\FNTCACHE.DAT", windows + L"\\System32\\drivers\\FNTCACHE.DAT",
      // This machine under a network name, and administrative shares.
      L"\\\\server\\C$\\Norvale", L"\\\\server\\ADMIN$\\x", L"\\\\localhost\\share\\x",
      L"\\\\LOCALHOST\\share\\x", L"\\\\127.0.0.1\\share\\x", L"\\\\127.1.2.3\\share\\x",
      L"\\\\[::1]\\share\\x", L"\\\\::1\\share\\x", L"\\\\" + ComputerName() + L"\\share\\x",
      // Streams and the file system's own wildcards.
      windows + L"::$INDEX_ALLOCATION", drive + L"\\Norvale\\a.txt:stream",
      drive + L"\\Norvale::$DATA", drive + L"\\Norv<le", drive + L"\\Norvale\\a>",
      drive + L"\\Norvale\\\"x", L"\\??\\C:\\Norvale"};
  for (const std::wstring& path : table) {
    ASSERT_FALSE(path.empty());
    EXPECT_FALSE(MayDelete(path)) << "allowed: [" << Narrow(path) << "]";
  }
  for (const std::wstring& pattern :
       {drive + L"\\Norvale\\<.log", drive + L"\\Norvale\\a\">.log",
        windows + L"\\Fonts\\*.ttf", windows + L"\\System32\\drivers\\*.sys",
        users + L"\\another\\*.*", users + L"\\*", std::wstring(L"\\\\server\\C$\\x\\*.log")}) {
    EXPECT_FALSE(MayDelete(pattern, DeleteKind::PatternInFolder))
        << "allowed: [" << Narrow(pattern) << "]";
  }
}

// What an installation owns must stay deletable, or the uninstaller leaves
// it behind.
TEST(DeleteGuardTest, KeepsAllowingWhatAnInstallationOwns) {
  const std::wstring windows = Folder(CSIDL_WINDOWS);
  const std::wstring product = Folder(CSIDL_PROGRAM_FILESX86) + L"\\Norvale\\POS";
  for (const std::wstring& path :
       {product, product + L"\\Uninst", product + L"\\Uninst\\Dekant00.exe",
        TempFolder() + L"\\Norvale", TempFolder() + L"\\Norvale\\setup.zip",
        windows.substr(0, 2) + L"\\Norvale", Folder(CSIDL_COMMON_PROGRAMS) + L"\\Norvale POS",
        Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Norvale POS.lnk",
        Folder(CSIDL_FONTS) + L"\\norvale.ttf", Folder(CSIDL_FONTS) + L"\\NORVALE.FON",
        Folder(CSIDL_SYSTEM) + L"\\FNTCACHE.DAT", Folder(CSIDL_SYSTEMX86) + L"\\FNTCACHE.DAT",
        std::wstring(L"\\\\server\\share\\Norvale")}) {
    EXPECT_TRUE(MayDelete(path)) << "refused: [" << Narrow(path) << "]";
  }
  EXPECT_TRUE(MayDelete(TempFolder() + L"\\Norvale\\*.zip", DeleteKind::PatternInFolder));
  EXPECT_TRUE(MayDelete(product + L"\\*.*", DeleteKind::PatternInFolder));
}

// The font cache is named as "C:\Windows\system32\FNTCACHE.DAT"; a 32-bit
// program on 64-bit Windows reaches SysWOW64 by that name, and the guard
// judges where an existing file really lies.
TEST(DeleteGuardTest, TheFontCacheMayGoWhereverThisProgramFindsIt) {
  const std::wstring cache = Folder(CSIDL_SYSTEM) + L"\\FNTCACHE.DAT";
  if (GetFileAttributesW(cache.c_str()) != INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "the prefix has a font cache of its own";
  }
  {
    const HANDLE file = CreateFileW(cache.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
  }
  EXPECT_TRUE(MayDelete(cache));
  EXPECT_TRUE(norvale::DeleteGuardedFile(cache));
  EXPECT_EQ(GetFileAttributesW(cache.c_str()), INVALID_FILE_ATTRIBUTES);
  // Beside it, only the cache file may go.
  EXPECT_FALSE(MayDelete(Folder(CSIDL_SYSTEMX86) + L"\\kernel32.dll"));
  EXPECT_FALSE(MayDelete(Folder(CSIDL_SYSTEMX86)));
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

  const norvale::StepDone deleted = norvale::DeleteTree(tree);
  EXPECT_TRUE(deleted) << norvale::ToAnsi(testing_support::WhyOf(deleted));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(tree.c_str()));
  EXPECT_EQ("mine", ReadFileBytes(victim + L"\\precious.txt")) << "linked=" << linked;

  EXPECT_EQ(norvale::ReasonText(norvale::Reason::NoSuchFolder),
            testing_support::WhyOf(norvale::DeleteTree(tree)));
  EXPECT_EQ(norvale::ReasonText(norvale::Reason::DriveRoot),
            testing_support::WhyOf(norvale::DeleteTree(L"C:\\")));
}

// The fixture (tests/common/CMakeLists.txt) holds tree\link -> keep, made by
// the host. Deleting the tree never reaches into keep.
TEST(DeleteTreeTest, AHostMadeLinkIsNeverEntered) {
  const std::wstring fixture = L"C:\\norvale-link-fixture";
  const std::wstring link = fixture + L"\\tree\\link";
  const DWORD attributes = GetFileAttributesW(link.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "run through ctest for the link";
  ASSERT_NE(0u, attributes & FILE_ATTRIBUTE_REPARSE_POINT) << "Wine shows no reparse point";
  // What the guard sees through the link is the folder it leads to.
  EXPECT_TRUE(MayDelete(link));
  // Wine 8 cannot remove such a link (RemoveDirectoryW fails on it), so
  // there the delete reports the tree as not removed, with the link the
  // only thing left; what it leads to is never touched.
  // A file link that opens what it leads to (so Wine shows one made on the
  // host) is refused alone and left by the tree delete.
  const std::wstring fileLink = fixture + L"\\filelink";
  const DWORD fileLinkAttributes = GetFileAttributesW(fileLink.c_str());
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, fileLinkAttributes);
  if (!(fileLinkAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    EXPECT_FALSE(MayDelete(fileLink));
    EXPECT_FALSE(norvale::DeleteGuardedFile(fileLink));
  }
  // What stays is a link, and the walk says which.
  const norvale::StepDone deleted = norvale::DeleteTree(fixture + L"\\tree");
  if (!deleted) {
    EXPECT_TRUE(norvale::StartsWith(deleted.Error().path, fixture + L"\\tree\\"))
        << norvale::ToAnsi(deleted.Error().path);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((fixture + L"\\tree\\sub").c_str()));
  }
  EXPECT_EQ("mine", ReadFileBytes(fixture + L"\\keep\\precious.txt"));
}

// A chain of existing folders below `root`, `count` of them with names of
// `part` characters, made through the "\\?\" form; its plain path.
std::wstring DeepFolders(const std::wstring& root, size_t part, int count) {
  std::wstring path = root;
  for (int i = 0; i < count; ++i) {
    path += L"\\" + std::wstring(part, static_cast<wchar_t>(L'A' + i));
    CreateDirectoryW((L"\\\\?\\" + path).c_str(), nullptr);
  }
  return path;
}

bool FolderExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW((L"\\\\?\\" + path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The plain file calls take MAX_PATH - 1 characters, a folder MAX_PATH - 12
// (CreateDirectoryW keeps room for an 8.3 name), and no name is longer than
// 255 characters; a closing separator does not count.
TEST(DeleteGuardTest, PathsBeyondThePlainFileCallsAreRefused) {
  TempDir dir(L"lengths");
  const std::wstring base = dir.Path() + L"\\";
  const auto pathOf = [&](size_t length) {
    return base + std::wstring(length - base.size(), L'a');
  };
  EXPECT_TRUE(MayDelete(pathOf(259)));
  EXPECT_TRUE(MayDelete(pathOf(259) + L"\\"));
  EXPECT_FALSE(MayDelete(pathOf(260)));
  EXPECT_EQ(norvale::DeleteRefusal(pathOf(260)), norvale::ReasonText(norvale::Reason::PathTooLong));
  EXPECT_TRUE(MayDelete(pathOf(257) + L"\\*", DeleteKind::PatternInFolder));
  EXPECT_FALSE(MayDelete(pathOf(258) + L"\\*", DeleteKind::PatternInFolder));
  const std::wstring drive = dir.Path().substr(0, 3);
  EXPECT_TRUE(MayDelete(drive + std::wstring(255, L'p')));
  EXPECT_FALSE(MayDelete(drive + std::wstring(256, L'p')));

  const std::wstring fits = pathOf(248), tooLong = pathOf(249);
  for (const std::wstring& folder : {fits, tooLong}) {
    CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    ASSERT_TRUE(FolderExists(folder));
  }
  EXPECT_EQ(testing_support::WhyOf(norvale::RemoveGuardedFolder(tooLong)),
            norvale::ReasonText(norvale::Reason::PathTooLong));
  EXPECT_EQ(testing_support::WhyOf(norvale::DeleteTree(tooLong + L"\\")),
            norvale::ReasonText(norvale::Reason::PathTooLong));
  EXPECT_TRUE(FolderExists(tooLong));
  EXPECT_TRUE(norvale::RemoveGuardedFolder(fits));
  EXPECT_FALSE(FolderExists(fits));
}

// Some systems' path calls overrun fixed buffers on such paths (Wine's
// GetLongPathNameW kills the process past 1,024 characters): the guard
// refuses them before any call sees them. The folders on the way exist, so
// a call would walk the whole length.
TEST(DeleteGuardTest, OverlongPathsAreRefusedBeforeAnyPathCallSeesThem) {
  TempDir dir(L"overlong");
  const std::wstring deep = DeepFolders(dir.Path(), 200, 4);
  ASSERT_TRUE(FolderExists(deep));
  ASSERT_GE(deep.size() + 1 + 255, 1028u) << "the 1,028 characters have a part over 255";
  const std::wstring paths[] = {
      deep + L"\\" + std::wstring(1028 - deep.size() - 5, L'f') + L".lnk",
      dir.Path() + L"\\" + std::wstring(3039 - dir.Path().size() - 5, L'A') + L".lnk",
      dir.Path() + L"\\" + std::wstring(1100, L'p'),
  };
  ASSERT_EQ(paths[0].size(), 1028u);
  ASSERT_EQ(paths[1].size(), 3039u);
  for (const std::wstring& path : paths) {
    const std::string name = Narrow(path.substr(0, 60)) + "... (" + std::to_string(path.size()) +
                             " characters)";
    EXPECT_FALSE(MayDelete(path)) << name;
    EXPECT_FALSE(MayDelete(path + L"\\*.lnk", DeleteKind::PatternInFolder)) << name;
    const norvale::StepDone deleted = norvale::DeleteGuardedFile(path, true);
    EXPECT_EQ(testing_support::WhyOf(deleted), norvale::ReasonText(norvale::Reason::PathTooLong))
        << name;
    if (!deleted) EXPECT_EQ(deleted.Error().code, static_cast<DWORD>(ERROR_ACCESS_DENIED)) << name;
    EXPECT_EQ(testing_support::WhyOf(norvale::DeleteTree(path)),
              norvale::ReasonText(norvale::Reason::PathTooLong))
        << name;
    EXPECT_EQ(testing_support::WhyOf(norvale::RemoveGuardedFolder(path + L"\\")),
              norvale::ReasonText(norvale::Reason::PathTooLong))
        << name;
    EXPECT_FALSE(norvale::ReplaceGuardedFile(dir / L"new", path)) << name;
  }
  EXPECT_TRUE(FolderExists(deep));
}

// A short path may name folders whose long names add up to more than the
// plain file calls take: it is refused, no call having been handed more.
TEST(DeleteGuardTest, ShortNamesOfVeryDeepFoldersAreRefused) {
  TempDir dir(L"deep short");
  const std::wstring deep = DeepFolders(dir.Path(), 250, 5);
  ASSERT_TRUE(FolderExists(deep));
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW((L"\\\\?\\" + deep).c_str(), buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) GTEST_SKIP() << "this file system has no short names";
  std::wstring shortPath(buffer, n);
  if (shortPath.rfind(L"\\\\?\\", 0) == 0) shortPath = shortPath.substr(4);
  ASSERT_LT(shortPath.size(), 200u);
  EXPECT_EQ(norvale::DeleteRefusal(shortPath), norvale::ReasonText(norvale::Reason::PathTooLong));
  EXPECT_FALSE(norvale::DeleteTree(shortPath));
  EXPECT_TRUE(FolderExists(deep));
  // One short name in an ordinary path is still judged by its long form.
  EXPECT_TRUE(MayDelete(ShortForm(dir.Path()) + L"\\x.txt"));
}

// Ordinary paths spelled with many short names (a product folder and its data
// folders, a temporary file named "~DF12.tmp") are judged by their long form,
// each part expanded by itself.
TEST(DeleteGuardTest, PathsOfManyShortNamesAreJudgedByTheirLongForm) {
  TempDir dir(L"many short");
  std::wstring deep = dir.Path();
  for (const wchar_t* name : {L"Norvale Products", L"Point Of Sale", L"Data Files", L"Backups 2026"}) {
    deep += std::wstring(L"\\") + name;
    CreateDirectoryW(deep.c_str(), nullptr);
  }
  const std::wstring file = deep + L"\\~DF12.tmp";
  WriteFileBytes(file, "x");
  const std::wstring shortFile = ShortForm(file);
  if (shortFile == file) GTEST_SKIP() << "this file system has no short names";
  EXPECT_TRUE(norvale::SamePath(norvale::LongPath(shortFile), file)) << Narrow(shortFile);
  EXPECT_EQ(norvale::DeleteRefusal(shortFile), L"") << Narrow(shortFile);
  EXPECT_TRUE(norvale::DeleteGuardedFile(shortFile));
  EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(norvale::DeleteTree(ShortForm(dir / L"Norvale Products")));
  EXPECT_FALSE(FolderExists(dir / L"Norvale Products"));
}

// Windows answers for junctions as Wine cannot (Wine 8 makes none): this
// answers for one folder as Windows does for a junction to `target`. The
// folder itself opens as where it is listed, and a handle opened on it
// without following it is the link; everything through it lies at the
// target. Files named in opensAt open there instead (file links); every
// other path and handle is asked of the system.
class JunctionAsWindowsShowsIt final : public norvale::IFinalPaths {
 public:
  JunctionAsWindowsShowsIt(std::wstring junction, std::wstring target)
      : junction_(std::move(junction)), target_(std::move(target)) {}
  std::wstring FinalPathOf(const std::wstring& path, bool followLast) const override {
    const auto link = opensAt.find(path);
    if (link != opensAt.end()) return link->second;
    if (norvale::SamePath(path, junction_)) return followLast ? target_ : junction_;
    if (norvale::PathIsBelow(path, junction_)) return target_ + path.substr(junction_.size());
    return norvale::SystemFinalPaths().FinalPathOf(path, followLast);
  }
  bool FactsOf(HANDLE handle, norvale::HandleFacts& facts) const override {
    if (!IFinalPaths::FactsOf(handle, facts)) return false;
    for (const auto& [path, lies] : opensAt) {
      if (norvale::SamePath(facts.lies, path)) facts.lies = lies;
    }
    if (norvale::SamePath(facts.lies, junction_)) {
      facts.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    } else if (norvale::PathIsBelow(facts.lies, junction_)) {
      facts.lies = target_ + facts.lies.substr(junction_.size());
    }
    return true;
  }
  std::map<std::wstring, std::wstring> opensAt;

 private:
  std::wstring junction_, target_;
};

class RecordingEvents final : public norvale::ITreeRemovalEvents {
 public:
  void Done(const std::wstring& path) override { done.push_back(path); }
  std::vector<std::wstring> done;
};

// A product folder moved to another drive and linked back: what lies in it
// lies where the junction leads, so its files may go, while a file link in
// it is still refused and a junction into Windows is judged as Windows. The
// folder itself, a link, is removed as one: what it leads to is not entered
// by a tree delete, and emptying it is refused.
TEST(DeleteGuardJunctionTest, WhatLiesInAJunctionIsJudgedWhereItLeads) {
  TempDir dir(L"junction");
  const std::wstring pos = dir / L"Pos";
  CreateDirectoryW(pos.c_str(), nullptr);
  CreateDirectoryW((pos + L"\\data").c_str(), nullptr);
  for (const wchar_t* name : {L"\\pos.dat", L"\\old.dat", L"\\filelink.txt", L"\\data\\x.dat"}) {
    WriteFileBytes(pos + name, "x");
  }
  JunctionAsWindowsShowsIt moved(pos, L"E:\\Moved\\Pos");
  moved.opensAt[pos + L"\\filelink.txt"] = L"E:\\Elsewhere\\decoy.txt";

  EXPECT_EQ(norvale::DeleteRefusal(pos + L"\\pos.dat", DeleteKind::SinglePath, moved), L"");
  EXPECT_TRUE(norvale::DeleteGuardedFile(pos + L"\\pos.dat", false, moved));
  EXPECT_EQ(GetFileAttributesW((pos + L"\\pos.dat").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(norvale::DeleteRefusal(pos + L"\\filelink.txt", DeleteKind::SinglePath, moved),
            norvale::ReasonText(norvale::Reason::LinkToFileElsewhere));
  EXPECT_FALSE(norvale::DeleteGuardedFile(pos + L"\\filelink.txt", false, moved));
  // Wine cannot remove the stand-in as the link Windows would remove.
  EXPECT_FALSE(norvale::DeleteTree(pos, moved));
  RecordingEvents events;
  const norvale::TreeRemovalResult emptied = norvale::EmptyGuardedFolder(pos, events, moved);
  EXPECT_TRUE(emptied.refused);
  ASSERT_TRUE(emptied.first);
  EXPECT_EQ(emptied.first->reason, norvale::Reason::FolderIsLink);
  EXPECT_TRUE(events.done.empty());
  EXPECT_EQ("x", ReadFileBytes(pos + L"\\old.dat"));
  EXPECT_TRUE(FolderExists(pos + L"\\data"));
  EXPECT_EQ("x", ReadFileBytes(pos + L"\\filelink.txt"));

  const std::wstring sys = dir / L"Sys";
  CreateDirectoryW(sys.c_str(), nullptr);
  WriteFileBytes(sys + L"\\kernel32.dll", "x");
  // Into either system folder: "system32" by the name this program gets for
  // it (a 32-bit program on 64-bit Windows reaches SysWOW64 behind that
  // name), and SysWOW64 named as such.
  for (const int systemFolder : {CSIDL_SYSTEM, CSIDL_SYSTEMX86}) {
    const JunctionAsWindowsShowsIt intoSystem(sys, Folder(systemFolder));
    EXPECT_FALSE(MayDelete(sys + L"\\*.dll", DeleteKind::PatternInFolder, intoSystem))
        << systemFolder;
    EXPECT_FALSE(MayDelete(sys + L"\\kernel32.dll", DeleteKind::SinglePath, intoSystem))
        << systemFolder;
  }
  EXPECT_TRUE(MayDelete(sys + L"\\*.dll", DeleteKind::PatternInFolder));
}

// A file that opens as another name of its folder is a link, even when the
// names differ only in kana type or width: the file system tells them apart.
TEST(DeleteGuardJunctionTest, AFileOpeningAsAnotherKanaIsALink) {
  TempDir dir(L"kana");
  const std::wstring file = dir / L"ぽす.dat";
  WriteFileBytes(file, "x");
  const std::wstring folder = norvale::SystemFinalPaths().FinalPathOf(dir.Path(), true);
  ASSERT_FALSE(folder.empty());
  JunctionAsWindowsShowsIt linked(dir / L"none", L"E:\\none");
  for (const wchar_t* target : {L"\\ポス.dat", L"\\ﾎﾟｽ.dat"}) {
    linked.opensAt[file] = folder + target;
    EXPECT_EQ(norvale::DeleteRefusal(file, DeleteKind::SinglePath, linked),
              norvale::ReasonText(norvale::Reason::LinkToFileElsewhere));
  }
  linked.opensAt[file] = folder + L"\\ぽす.DAT";
  EXPECT_EQ(norvale::DeleteRefusal(file, DeleteKind::SinglePath, linked), L"");
}

}  // namespace
