// The access lists of the folders an elevated run trusts: who may change
// them, who may only read, and that the parent's entries stay out. Wine 8
// keeps no folder's list and counts every process as elevated, so the lists
// are read as built (RecordingFolderAccess.h) and the elevation is the
// test's choice; what Wine can show (a handle that is no directory, a name
// taken) is tried for real.
#include <gtest/gtest.h>

#include "FolderAccess.h"
#include "Handles.h"
#include "RecordingFolderAccess.h"
#include "TempDir.h"
#include "Text.h"

namespace {

using norvale::BuildFolderAccessList;
using norvale::FolderAccessListForThisRun;
using norvale::GuardedFolder;
using testing_support::Read;
using testing_support::RecordingFolderAccess;
using Names = std::vector<std::wstring>;

TEST(FolderAccess, TheUninstallerFolderIsKeptAsProgramFiles) {
  const auto list = BuildFolderAccessList(GuardedFolder::kUninstallerFolder, true, nullptr);
  ASSERT_TRUE(list);
  const auto reading = Read(*list);
  EXPECT_EQ(reading.owner, L"Administrators");
  EXPECT_TRUE(reading.isProtected) << "the parent's entries would let its users in";
  EXPECT_TRUE(reading.everyEntryInherits);
  EXPECT_TRUE(reading.onlyAllowEntries);
  EXPECT_EQ(reading.writers, (Names{L"Administrators", L"SYSTEM"}));
  EXPECT_EQ(reading.readers, (Names{L"Users"}));
}

// Elevated, the user's own account is left out: its unelevated programs are
// what the folder is kept from. Unelevated, the account is all there is.
TEST(FolderAccess, APrivateFolderBelongsToTheRunnersSide) {
  const std::vector<BYTE> user = testing_support::UserAccountSid();
  PSID userSid = const_cast<BYTE*>(user.data());
  const std::wstring userName = testing_support::SidText(userSid);

  const auto elevated = BuildFolderAccessList(GuardedFolder::kPrivateFolder, true, userSid);
  ASSERT_TRUE(elevated);
  const auto asAdministrator = Read(*elevated);
  EXPECT_EQ(asAdministrator.owner, L"Administrators");
  EXPECT_TRUE(asAdministrator.isProtected);
  EXPECT_EQ(asAdministrator.writers, (Names{L"Administrators", L"SYSTEM"}));
  EXPECT_TRUE(asAdministrator.readers.empty());

  const auto unelevated = BuildFolderAccessList(GuardedFolder::kPrivateFolder, false, userSid);
  ASSERT_TRUE(unelevated);
  const auto asUser = Read(*unelevated);
  EXPECT_EQ(asUser.owner, userName);
  EXPECT_TRUE(asUser.isProtected);
  EXPECT_EQ(asUser.writers, (Names{L"Administrators", L"SYSTEM", userName}));
  EXPECT_TRUE(asUser.readers.empty());

  EXPECT_FALSE(BuildFolderAccessList(GuardedFolder::kPrivateFolder, false, nullptr));
}

// What a run asks for: an unelevated install leaves "Uninst" as it
// inherits; the private folder follows who runs.
TEST(FolderAccess, TheListForThisRunFollowsTheElevation) {
  RecordingFolderAccess access;
  access.elevated = false;
  EXPECT_FALSE(FolderAccessListForThisRun(access, GuardedFolder::kUninstallerFolder));
  const auto mine = FolderAccessListForThisRun(access, GuardedFolder::kPrivateFolder);
  ASSERT_TRUE(mine);
  EXPECT_EQ(Read(*mine).owner,
            testing_support::SidText(const_cast<BYTE*>(access.account.data())));
  access.account.clear();
  EXPECT_FALSE(FolderAccessListForThisRun(access, GuardedFolder::kPrivateFolder));

  access.elevated = true;
  const auto uninst = FolderAccessListForThisRun(access, GuardedFolder::kUninstallerFolder);
  ASSERT_TRUE(uninst);
  EXPECT_EQ(Read(*uninst).writers, (Names{L"Administrators", L"SYSTEM"}));
}

// The install record keeps the list as SDDL, which the demo's report reads.
TEST(FolderAccess, TheListReadsAsSddl) {
  const auto list = BuildFolderAccessList(GuardedFolder::kUninstallerFolder, true, nullptr);
  ASSERT_TRUE(list);
  const std::wstring text = list->Text();
  EXPECT_EQ(text.rfind(L"O:BAD:P", 0), 0u) << norvale::ToAnsi(text);
  EXPECT_NE(text.find(L"(A;OICI;FA;;;BA)"), std::wstring::npos) << norvale::ToAnsi(text);
  EXPECT_NE(text.find(L"(A;OICI;FA;;;SY)"), std::wstring::npos) << norvale::ToAnsi(text);
  EXPECT_NE(text.find(L";;;BU)"), std::wstring::npos) << norvale::ToAnsi(text);
}

// The list goes to what the opened handle holds: a file that took the
// folder's name, or nothing at all, is refused.
TEST(FolderAccess, OnlyAFolderItselfTakesTheList) {
  testing_support::TempDir temp(L"fa");
  const auto list = BuildFolderAccessList(GuardedFolder::kUninstallerFolder, true, nullptr);
  ASSERT_TRUE(list);
  norvale::SystemFolderAccess access;
  const std::wstring folder = temp.Path() + L"\\Uninst";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  EXPECT_TRUE(access.ApplyToFolder(folder, *list)) << GetLastError();

  const std::wstring file = temp.Path() + L"\\file";
  {
    norvale::FileHandle made(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(made);
  }
  EXPECT_FALSE(access.ApplyToFolder(file, *list));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(access.ApplyToFolder(temp.Path() + L"\\missing", *list));

  // A link in the folder's place is refused; the host makes one for the
  // uninstaller's tests (tests/uninstaller/make-link-fixture.sh).
  const std::wstring link = L"C:\\norvale-uninst-links\\Pos\\folderlink";
  const DWORD attributes = GetFileAttributesW(link.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    EXPECT_FALSE(access.ApplyToFolder(link, *list));
  }
}

// A new folder is made with its list in the same call, never over a name
// that someone else took first.
TEST(FolderAccess, CreatingNeverTakesOverAnExistingName) {
  testing_support::TempDir temp(L"fa");
  RecordingFolderAccess recorder;
  const auto list = FolderAccessListForThisRun(recorder, GuardedFolder::kPrivateFolder);
  ASSERT_TRUE(list);
  norvale::SystemFolderAccess access;
  const std::wstring folder = temp.Path() + L"\\own";
  EXPECT_TRUE(access.CreateFolder(folder, *list));
  EXPECT_NE(GetFileAttributesW(folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_FALSE(access.CreateFolder(folder, *list));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

}  // namespace
