// Bitness, version, drives, guarded deletes and installed products.
#include <gtest/gtest.h>

#include "FileSystem.h"
#include "SetupInfoTestSupport.h"
#include "SystemServices.h"

using namespace norvale;
using namespace setupinfo_testing;

TEST(SystemServices, BitnessAndVersionComeFromTheFacts) {
  TestMachine machine(Machine::Windows7x86);
  EXPECT_FALSE(IsWow64(*machine.windows));
  machine.windows->wow64.reset();  // a Windows without the function
  EXPECT_FALSE(IsWow64(*machine.windows));
  machine.Become(Machine::Windows11x64);
  EXPECT_TRUE(IsWow64(*machine.windows));

  OSVERSIONINFOEXW record{};
  ASSERT_TRUE(GetOsVersionInfo(*machine.windows, record));
  EXPECT_EQ(record.dwBuildNumber, 22631u);
  EXPECT_EQ(record.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
  EXPECT_EQ(record.szCSDVersion[0], L' ');  // blank-padded service pack text
  machine.windows->versionFails = true;
  record.dwBuildNumber = 7;
  EXPECT_FALSE(GetOsVersionInfo(*machine.windows, record));
  EXPECT_EQ(record.dwBuildNumber, 7u);
}

TEST(SystemServices, DriveListsAndLetters) {
  FakeDrives drives;
  drives.roots = {"C:\\", " ", "D:\\"};
  std::vector<std::wstring> roots;
  EXPECT_EQ(GetDriveList(drives, roots), 2);
  EXPECT_EQ(roots, (std::vector<std::wstring>{L"", L"C:\\", L"D:\\"}));
  drives.roots = {};
  EXPECT_EQ(GetDriveList(drives, roots), 0);
  EXPECT_EQ(roots.size(), 1u);

  EXPECT_EQ(GetDriveLetter(L"D:\\x"), L"D");
  EXPECT_EQ(GetDriveLetter(L":\\x"), L"");
  EXPECT_EQ(GetDriveLetter(L"x\\y"), L"");
  EXPECT_EQ(GetDriveLetter(L"  "), L"");
}

TEST(SystemServices, DeleteFolderWithItsContents) {
  testing_support::TempDir dir(L"del");
  const std::wstring app = dir / L"App";
  CreateDirectoryW(app.c_str(), nullptr);
  CreateDirectoryW((app + L"\\sub").c_str(), nullptr);
  testing_support::WriteFileBytes(app + L"\\sub\\a.txt", "x");
  SetFileAttributesW((app + L"\\sub\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(vbDeleteFolder(app + L"\\"));
  EXPECT_FALSE(FolderExists(app));
  EXPECT_TRUE(vbDeleteFolder(L"  "));
  EXPECT_FALSE(vbDeleteFolder(app));  // gone already
}

TEST(SystemServices, DeletesNeverReachProtectedFolders) {
  std::wstring err;
  for (const wchar_t* path : {L"C:\\", L"C:\\Windows", L"C:\\Program Files", L"C:\\Users"}) {
    EXPECT_FALSE(vbDeleteFolder(path)) << path;
    EXPECT_TRUE(FolderExists(path)) << path;
  }
  EXPECT_FALSE(vbDeleteFile(L"C:\\Windows\\*.*", err));
  EXPECT_FALSE(err.empty());
  EXPECT_TRUE(FileExists(L"C:\\Windows\\win.ini"));
}

TEST(SystemServices, DeleteFile) {
  testing_support::TempDir dir(L"delf");
  std::wstring err = L"old";
  EXPECT_TRUE(vbDeleteFile(L"", err));
  EXPECT_EQ(err, L"");
  EXPECT_FALSE(vbDeleteFile(dir / L"missing.ini", err));
  EXPECT_FALSE(err.empty());
  testing_support::WriteFileBytes(dir / L"a.tmp", "1");
  testing_support::WriteFileBytes(dir / L"b.tmp", "2");
  testing_support::WriteFileBytes(dir / L"keep.txt", "3");
  SetFileAttributesW((dir / L"b.tmp").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_TRUE(vbDeleteFile(dir / L"*.tmp", err)) << err;
  EXPECT_FALSE(FileExists(dir / L"a.tmp"));
  EXPECT_FALSE(FileExists(dir / L"b.tmp"));
  EXPECT_TRUE(FileExists(dir / L"keep.txt"));
}

// A path longer than the plain file calls take fails like any other
// refused one; the process lives on. The folders on the way exist, so a
// path call would walk the whole length.
TEST(SystemServices, OverlongPathsFailAndThePathCallsNeverSeeThem) {
  testing_support::TempDir dir(L"long");
  std::wstring deep = dir.Path();
  for (wchar_t letter : {L'A', L'B', L'C', L'D'}) {
    deep += L"\\" + std::wstring(200, letter);
    CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr);
  }
  const std::wstring paths[] = {
      deep + L"\\" + std::wstring(1028 - deep.size() - 5, L'f') + L".lnk",
      dir.Path() + L"\\" + std::wstring(3039 - dir.Path().size() - 5, L'A') + L".lnk",
      dir.Path() + L"\\" + std::wstring(1100, L'p'),
  };
  for (const std::wstring& path : paths) {
    std::wstring err;
    EXPECT_FALSE(vbDeleteFile(path, err)) << path.size();
    EXPECT_FALSE(err.empty()) << path.size();
    EXPECT_FALSE(vbDeleteFile(path + L"\\*.*", err)) << path.size();
    EXPECT_FALSE(vbDeleteFolder(path)) << path.size();
    EXPECT_FALSE(vbDeleteFolder(path + L"\\")) << path.size();
  }
}

// A pattern the guard accepts may list a file it refuses (here one whose
// whole path is too long for the plain file calls): that file is left as it
// was, its read-only mark included.
TEST(SystemServices, AFileTheGuardRefusesKeepsItsReadOnlyMark) {
  testing_support::TempDir dir(L"mark");
  const std::wstring pattern = dir.Path() + L"\\*.txt";
  const std::wstring name = std::wstring(262 - dir.Path().size(), L'r') + L".txt";
  const std::wstring file = L"\\\\?\\" + dir.Path() + L"\\" + name;
  const HANDLE made = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_READONLY, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  CloseHandle(made);
  std::wstring err;
  EXPECT_FALSE(vbDeleteFile(pattern, err));
  EXPECT_EQ(GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY,
            DWORD{FILE_ATTRIBUTE_READONLY});
  SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(file.c_str());
}

TEST(SystemServices, ProductsAndRuntimeAliases) {
  TestMachine machine;
  InstallerState state(machine.Seams());
  EXPECT_FALSE(IsProductInstalled(state, L"  "));
  EXPECT_FALSE(IsProductInstalled(state, L"VC_2012_x86"));
  {
    // Only the IA64 SP1 code of 2008 is there: the x64 group counts it.
    ScopedUninstallEntry entry(L"{5827ECE1-AEB0-328E-B813-6FC68622C1F9}", L"", std::nullopt);
    EXPECT_TRUE(IsProductInstalled(state, L"vc_2008_x64"));
    EXPECT_TRUE(IsProductInstalled(state, L"VC_2008_SP1_REDIST_IA64"));
    EXPECT_FALSE(IsProductInstalled(state, L"VC_2008_x86"));
    EXPECT_FALSE(IsProductInstalled(state, L"VC_2008_REDIST_X64"));
  }
  const std::wstring appId = L"{7E57AB1E-1111-4000-8000-00000000E11D}";
  ScopedUninstallEntry entry(appId, L"D:\\Shop", L"D:\\Shop\\Dekant00.exe");
  EXPECT_TRUE(IsProductInstalled(state, appId));
  EXPECT_FALSE(IsProductInstalled(state, L" " + appId));  // asked unchanged
  state.AppId = appId;
  state.Is64BitWindows = -1;
  EXPECT_EQ(GetInstalledAppPath(state), L"D:\\Shop");
  EXPECT_EQ(GetUninstallString(state), L"D:\\Shop\\Dekant00.exe");
  state.AppId = L"{7E57AB1E-2222-4000-8000-00000000E11D}";
  EXPECT_EQ(GetInstalledAppPath(state), L"");
  // A path with blanks is registered in quotes; the reader gives the path.
  const std::wstring quotedId = L"{7E57AB1E-3333-4000-8000-00000000E11D}";
  ScopedUninstallEntry quoted(quotedId, L"D:\\My Shop", L"\"D:\\My Shop\\Uninst\\Dekant00.exe\"");
  state.AppId = quotedId;
  EXPECT_EQ(GetUninstallString(state), L"D:\\My Shop\\Uninst\\Dekant00.exe");
}
