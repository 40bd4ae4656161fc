#include <windows.h>

#include <gtest/gtest.h>

#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

const std::wstring kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::wstring kClasses = L"SOFTWARE\\Classes\\";
const std::wstring kLayers =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";

std::wstring TextIn(const std::wstring& path, const std::wstring& name, REGSAM view) {
  auto value = ReadRaw(HKEY_LOCAL_MACHINE, path, name, view);
  return value && value->type == REG_SZ ? value->Text() : L"<none>";
}

class UninstallEntryTest : public ::testing::Test {
 protected:
  bool Register(clsWinCommon& win, int32_t size = 0) {
    return win.REG_UninstApRegst(id_, L"ノルヴェール POS", L"ノルヴェール POS 2.1", L"C:\\Norvale",
                                 L"ノルヴェール POS", L"2024/05/06 07:08", L"Norvale",
                                 L"C:\\Norvale\\Uninst\\Dekant00.exe",
                                 L"C:\\Norvale\\Uninst\\Dekant00.exe /S", size);
  }

  const std::wstring id_ = L"{" + UniqueName(L"app") + L"}";
  const std::wstring path_ = kUninstall + id_;
  ScopedRegKey key_{HKEY_LOCAL_MACHINE, path_};
};

TEST_F(UninstallEntryTest, RegisterFindUnregisterInThe64BitView) {
  clsWinCommon win;
  ASSERT_TRUE(Register(win, 2048));
  // On 64-bit Windows the entry belongs to the 64-bit view only.
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path_, kView64));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path_, kView32));
  EXPECT_EQ(L"ノルヴェール POS", TextIn(path_, L"DisplayName", kView64));
  EXPECT_EQ(L"ノルヴェール POS 2.1", TextIn(path_, L"DisplayVersion", kView64));
  EXPECT_EQ(L"C:\\Norvale", TextIn(path_, L"AppPath", kView64));
  EXPECT_EQ(L"C:\\Norvale", TextIn(path_, L"InstallLocation", kView64));
  EXPECT_EQ(L"ノルヴェール POS", TextIn(path_, L"IconGroup", kView64));
  EXPECT_EQ(L"2024/05/06 07:08", TextIn(path_, L"InstallDate", kView64));
  EXPECT_EQ(L"Norvale", TextIn(path_, L"Publisher", kView64));
  EXPECT_EQ(L"C:\\Norvale\\Uninst\\Dekant00.exe", TextIn(path_, L"UninstallString", kView64));
  EXPECT_EQ(L"C:\\Norvale\\Uninst\\Dekant00.exe /S",
            TextIn(path_, L"QuietUninstallString", kView64));
  EXPECT_EQ(1u, ReadRaw(HKEY_LOCAL_MACHINE, path_, L"NoModify", kView64)->Dword());
  EXPECT_EQ(1u, ReadRaw(HKEY_LOCAL_MACHINE, path_, L"NoRepair", kView64)->Dword());
  EXPECT_EQ(2048u, ReadRaw(HKEY_LOCAL_MACHINE, path_, L"EstimatedSize", kView64)->Dword());
  const RegExeResult outside = RegExeQuery(path_, L"UninstallString", 64);
  EXPECT_EQ(0u, outside.exitCode);
  EXPECT_NE(std::wstring::npos, outside.output.find(L"Dekant00.exe")) << outside.output;
  EXPECT_NE(0u, RegExeQuery(path_, L"UninstallString", 32).exitCode);

  // What the installer's start-up reads back.
  EXPECT_TRUE(win.REG_IsApInstalled(id_));
  EXPECT_EQ(norvale::RegVariant(std::wstring(L"C:\\Norvale")),
            win.GetReg64Value(HKEY_LOCAL_MACHINE, path_, L"AppPath", std::wstring()));

  EXPECT_TRUE(win.REG_UninstApUnRegst(id_));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path_, kView64));
  EXPECT_FALSE(win.REG_IsApInstalled(id_));
  // Nothing left to delete.
  EXPECT_FALSE(win.REG_UninstApUnRegst(id_));
}

TEST_F(UninstallEntryTest, RegisteringAgainOverwritesAndKeepsOtherValues) {
  clsWinCommon win;
  ASSERT_TRUE(Register(win, 10));
  WriteText(HKEY_LOCAL_MACHINE, path_, L"Comments", L"kept", kView64);
  WriteText(HKEY_LOCAL_MACHINE, path_, L"DisplayName", L"old", kView64);
  // Without a size, the earlier size is not touched.
  ASSERT_TRUE(Register(win));
  EXPECT_EQ(L"ノルヴェール POS", TextIn(path_, L"DisplayName", kView64));
  EXPECT_EQ(L"kept", TextIn(path_, L"Comments", kView64));
  EXPECT_EQ(10u, ReadRaw(HKEY_LOCAL_MACHINE, path_, L"EstimatedSize", kView64)->Dword());
}

TEST_F(UninstallEntryTest, SizeIsWrittenOnlyWhenPositive) {
  clsWinCommon win;
  for (int32_t size : {0, -1}) {
    ASSERT_TRUE(Register(win, size));
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, path_, L"EstimatedSize", kView64)) << size;
  }
}

TEST_F(UninstallEntryTest, BlankRequiredTextsWriteNothing) {
  clsWinCommon win;
  EXPECT_FALSE(win.REG_UninstApRegst(id_, L"App", L"", L"C:\\A", L"", L"", L"", L"  ", L""));
  EXPECT_FALSE(win.REG_UninstApRegst(id_, L" ", L"", L"C:\\A", L"", L"", L"", L"u", L""));
  EXPECT_FALSE(win.REG_UninstApRegst(id_, L"App", L"", L"", L"", L"", L"", L"u", L""));
  EXPECT_FALSE(win.REG_UninstApRegst(L"  ", L"App", L"", L"C:\\A", L"", L"", L"", L"u", L""));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path_, kView64));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path_, kView32));
  EXPECT_FALSE(win.REG_IsApInstalled(L" "));
  EXPECT_FALSE(win.REG_UninstApUnRegst(L""));
}

TEST_F(UninstallEntryTest, On32BitWindowsTheProgramsOwnViewIsUsed) {
  auto windows = std::make_shared<FakeWindows>();
  windows->wow64 = false;
  clsWinCommon win(norvale::Seams::System(), WithWindows(windows));
  ASSERT_TRUE(Register(win));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path_, kOwnView));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path_, kOtherView));
  // Found in either view.
  EXPECT_TRUE(clsWinCommon().REG_IsApInstalled(id_));
  EXPECT_TRUE(win.REG_UninstApUnRegst(id_));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path_, kOwnView));
}

TEST_F(UninstallEntryTest, WithoutAdministratorRightsTheEntryIsSeenAndNotReportedRemoved) {
  clsWinCommon admin;
  ASSERT_TRUE(Register(admin));
  clsWinCommon user(norvale::Seams::System(), WithoutAdministratorRights());
  EXPECT_TRUE(user.REG_IsApInstalled(id_));
  EXPECT_EQ(norvale::RegVariant(std::wstring(L"C:\\Norvale")),
            user.GetReg64Value(HKEY_LOCAL_MACHINE, path_, L"AppPath", std::wstring()));
  EXPECT_FALSE(user.REG_UninstApUnRegst(id_));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path_, kView64));
  EXPECT_FALSE(Register(user));
}

class FileAssociationTest : public ::testing::Test {
 protected:
  const std::wstring id_ = UniqueName(L"Doc");
  const std::wstring ext_ = L"." + UniqueName(L"ext");
  ScopedRegKey idKey_{HKEY_LOCAL_MACHINE, kClasses + id_};
  ScopedRegKey extKey_{HKEY_LOCAL_MACHINE, kClasses + ext_};
  clsWinCommon win_;
};

TEST_F(FileAssociationTest, CreateAndDeleteTheWholeAssociation) {
  ASSERT_TRUE(win_.REG_CreateApLink(id_, ext_, L"ノルヴェール 伝票", L"C:\\App\\App.exe"));
  // The classes key is shared by both views, as on 64-bit Windows.
  for (REGSAM view : {kOwnView, kIs32BitProgram ? kView64 : kOwnView}) {
    EXPECT_EQ(L"ノルヴェール 伝票", TextIn(kClasses + id_, L"", view));
    EXPECT_EQ(L"\"C:\\App\\App.exe\" \"%1\"",
              TextIn(kClasses + id_ + L"\\shell\\open\\command", L"", view));
    EXPECT_EQ(id_, TextIn(kClasses + ext_, L"", view));
  }
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ext_, 0));
  // Making it again over the existing keys succeeds.
  EXPECT_TRUE(win_.REG_CreateApLink(id_, ext_, L"ノルヴェール 伝票", L"C:\\App\\App.exe"));

  EXPECT_TRUE(win_.REG_DeleteApLink(id_, ext_));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + id_, 0));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + ext_, 0));
}

TEST_F(FileAssociationTest, BlankArgumentsMakeNothing) {
  EXPECT_FALSE(win_.REG_CreateApLink(id_, ext_, L"", L"C:\\App\\App.exe"));
  EXPECT_FALSE(win_.REG_CreateApLink(id_, L" ", L"Doc", L"C:\\App\\App.exe"));
  EXPECT_FALSE(win_.REG_CreateApLink(id_, ext_, L"Doc", L"  "));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + id_, 0));
  EXPECT_FALSE(win_.REG_DeleteApLink(L"", ext_));
}

TEST_F(FileAssociationTest, AnAssociationNeverMadeCannotBeDeleted) {
  EXPECT_FALSE(win_.REG_DeleteApLink(id_, ext_));
}

TEST_F(FileAssociationTest, AnExtensionTakenOverByAnotherProgramStays) {
  ASSERT_TRUE(win_.REG_CreateApLink(id_, ext_, L"Doc", L"C:\\App\\App.exe"));
  WriteText(HKEY_LOCAL_MACHINE, kClasses + ext_, L"", L"Other.Document", 0);
  EXPECT_TRUE(win_.REG_DeleteApLink(id_, ext_));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + id_, 0));
  EXPECT_EQ(L"Other.Document", TextIn(kClasses + ext_, L"", 0));
}

TEST_F(FileAssociationTest, KeysThatGainedSubkeysElsewhereStay) {
  ASSERT_TRUE(win_.REG_CreateApLink(id_, ext_, L"Doc", L"C:\\App\\App.exe"));
  WriteText(HKEY_LOCAL_MACHINE, kClasses + id_ + L"\\shell\\print\\command", L"", L"p", 0);
  EXPECT_FALSE(win_.REG_DeleteApLink(id_, ext_));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + id_ + L"\\shell\\open", 0));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + id_ + L"\\shell\\print\\command", 0));
  // The extension still named this id, so it went.
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + ext_, 0));
}

TEST_F(FileAssociationTest, WithoutAdministratorRightsNothingIsDeletedAndTheResultSaysSo) {
  ASSERT_TRUE(win_.REG_CreateApLink(id_, ext_, L"Doc", L"C:\\App\\App.exe"));
  clsWinCommon user(norvale::Seams::System(), WithoutAdministratorRights());
  EXPECT_FALSE(user.REG_DeleteApLink(id_, ext_));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + id_ + L"\\shell\\open\\command", 0));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + ext_, 0));
  EXPECT_FALSE(user.REG_CreateApLink(id_ + L"2", ext_, L"Doc", L"C:\\App\\App.exe"));
}

class RunAsAdminTest : public ::testing::Test {
 protected:
  const std::wstring program_ = L"C:\\" + UniqueName(L"dir") + L"\\販売.exe";
  // The Layers key belongs to the system; only the test's value is removed.
  ScopedRegValue value_{HKEY_LOCAL_MACHINE, kLayers, program_};
};

TEST_F(RunAsAdminTest, FlagIsSetAndRemovedInBothViews) {
  SKIP_UNLESS_32BIT_PROGRAM();
  clsWinCommon win;
  ASSERT_TRUE(win.REG_4DLayersRegst(program_));
  EXPECT_EQ(L"~ RUNASADMIN", TextIn(kLayers, program_, kView32));
  EXPECT_EQ(L"~ RUNASADMIN", TextIn(kLayers, program_, kView64));
  // Setting it again is no failure.
  EXPECT_TRUE(win.REG_4DLayersRegst(program_));

  ASSERT_TRUE(win.REG_4DLayersUnRegst(program_));
  EXPECT_EQ(L"<none>", TextIn(kLayers, program_, kView32));
  EXPECT_EQ(L"<none>", TextIn(kLayers, program_, kView64));
  EXPECT_FALSE(win.REG_4DLayersUnRegst(program_));
  EXPECT_FALSE(win.REG_4DLayersRegst(L" "));
  EXPECT_FALSE(win.REG_4DLayersUnRegst(L""));
}

TEST_F(RunAsAdminTest, RegExeSeesTheFlagInBothViews) {
  SKIP_UNLESS_32BIT_PROGRAM();
  clsWinCommon win;
  ASSERT_TRUE(win.REG_4DLayersRegst(program_));
  for (int bits : {32, 64}) {
    const RegExeResult outside = RegExeQuery(kLayers, program_, bits);
    EXPECT_EQ(0u, outside.exitCode) << bits;
    EXPECT_NE(std::wstring::npos, outside.output.find(L"RUNASADMIN")) << outside.output;
  }
}

TEST_F(RunAsAdminTest, On32BitWindowsOnlyTheProgramsOwnViewIsWritten) {
  auto windows = std::make_shared<FakeWindows>();
  windows->wow64 = false;
  clsWinCommon win(norvale::Seams::System(), WithWindows(windows));
  ASSERT_TRUE(win.REG_4DLayersRegst(program_));
  EXPECT_EQ(L"~ RUNASADMIN", TextIn(kLayers, program_, kOwnView));
  EXPECT_EQ(L"<none>", TextIn(kLayers, program_, kOtherView));
  EXPECT_TRUE(win.REG_4DLayersUnRegst(program_));
}

TEST_F(RunAsAdminTest, WithoutAdministratorRightsNothingIsSet) {
  clsWinCommon user(norvale::Seams::System(), WithoutAdministratorRights());
  EXPECT_FALSE(user.REG_4DLayersRegst(program_));
  EXPECT_EQ(L"<none>", TextIn(kLayers, program_, kView32));
}

TEST(AutoLogonTest, SwitchOnWritesTextAndSwitchOffDeletesIt) {
  const std::wstring winlogon = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
  if (ReadRaw(HKEY_LOCAL_MACHINE, winlogon, L"AutoAdminLogon", 0)) {
    GTEST_SKIP() << "the prefix has its own automatic logon value";
  }
  ScopedRegValue value(HKEY_LOCAL_MACHINE, winlogon, L"AutoAdminLogon");
  clsWinCommon win;
  EXPECT_FALSE(win.AutoNtLogOn(0));
  ASSERT_TRUE(win.AutoNtLogOn(1));
  EXPECT_EQ(L"1", TextIn(winlogon, L"AutoAdminLogon", 0));
  EXPECT_TRUE(win.AutoNtLogOn(0));
  EXPECT_EQ(L"<none>", TextIn(winlogon, L"AutoAdminLogon", 0));
}

}  // namespace
