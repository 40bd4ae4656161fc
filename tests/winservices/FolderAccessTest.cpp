// The access lists of the folders an elevated run trusts: who may change
// them, who may only read, and that the parent's entries stay out. Wine 8
// keeps no folder's list and counts every process as elevated, so the lists
// are read as built (RecordingFolderAccess.h) and the elevation is the
// test's choice; what Wine can show (a handle that is no directory, a name
// taken) is tried for real.
#include <windows.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <map>
#include <set>

#include "FolderAccess.h"
#include "Handles.h"
#include "Paths.h"
#include "RecordingFolderAccess.h"
#include "StepWhy.h"
#include "TempDir.h"

using testing_support::WhyOf;
#include "Text.h"

namespace {

using norvale::BuildFolderAccessList;
using norvale::FolderAccessListForThisRun;
using norvale::GuardedFolder;
using testing_support::Read;
using testing_support::RecordingFolderAccess;
using Names = std::vector<std::wstring>;
using NameSet = std::set<std::wstring>;

// Lists as Windows 10 gives them (icacls /save, as SDDL): the drive root,
// and Program Files, owned by TrustedInstaller.
const wchar_t kDriveRoot[] =
    L"O:SYG:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
    L"(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
const wchar_t kTrustedInstaller[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const std::wstring kProgramFiles =
    std::wstring(L"O:") + kTrustedInstaller + L"D:PAI(A;;FA;;;" + kTrustedInstaller +
    L")(A;CIIO;GA;;;" + kTrustedInstaller +
    L")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;SY)(A;;0x1301bf;;;BA)(A;OICIIO;GA;;;BA)"
    L"(A;;0x1200a9;;;BU)(A;OICIIO;GXGR;;;BU)(A;OICIIO;GA;;;CO)(A;;0x1200a9;;;AC)"
    L"(A;OICIIO;GXGR;;;AC)";

norvale::FolderAccessList FromSddl(const std::wstring& sddl) {
  return testing_support::ListFromSddl(sddl);
}

PSID Sid(const std::vector<BYTE>& bytes) { return const_cast<BYTE*>(bytes.data()); }

using testing_support::MayChangeTheList;
using testing_support::MayDeleteOrRename;
using testing_support::RightsOf;

constexpr DWORD kModify = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;

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

// A file the installer writes itself (a logon command file runs at every
// user's logon) is kept as "Uninst" is, as a file: its own entries only,
// none passed down, none of the folder's let in. Unelevated it keeps what
// the folder passes down.
TEST(FolderAccess, AGeneratedFileIsTheAdministratorsOwnAndEveryUsersToRun) {
  RecordingFolderAccess access;
  const auto list = FolderAccessListForThisRun(access, GuardedFolder::kGeneratedFile);
  ASSERT_TRUE(list);
  EXPECT_EQ(list->Text(), L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)");
  access.elevated = false;
  EXPECT_FALSE(FolderAccessListForThisRun(access, GuardedFolder::kGeneratedFile));
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
  EXPECT_EQ(WhyOf(access.ApplyToFolder(folder, *list)), L"");

  const std::wstring file = temp.Path() + L"\\file";
  {
    norvale::FileHandle made(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(made);
  }
  const norvale::StepDone onFile = access.ApplyToFolder(file, *list);
  ASSERT_FALSE(onFile);
  EXPECT_EQ(onFile.Error().code, static_cast<DWORD>(ERROR_DIRECTORY));
  EXPECT_FALSE(access.ApplyToFolder(temp.Path() + L"\\missing", *list));

  // A link in the folder's place is refused; the host makes one for the
  // uninstaller's tests (tests/uninstaller/make-link-fixture.sh).
  const std::wstring link = L"C:\\norvale-uninst-links\\Pos\\folderlink";
  const DWORD attributes = GetFileAttributesW(link.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    EXPECT_FALSE(access.ApplyToFolder(link, *list));
  }
}

// A folder's list is written on that folder alone: SetSecurityInfo would
// walk everything below it and rewrite what inherits there (another
// product's tree below C:\Apps, a user's own files). Wine rewrites nothing
// below in either case, so the write is seen through the folder access's
// writer: one write, on the folder's own handle, protected, with the owner.
TEST(FolderAccess, AListIsWrittenOnTheFolderItselfAlone) {
  testing_support::TempDir temp(L"own list");
  const std::wstring folder = temp.Path() + L"\\Apps";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\Other product").c_str(), nullptr));
  const auto list = BuildFolderAccessList(GuardedFolder::kUninstallerFolder, true, nullptr);
  ASSERT_TRUE(list);
  struct Write {
    std::wstring object;
    SECURITY_INFORMATION what;
    bool isProtected;
  };
  std::vector<Write> writes;
  norvale::SystemFolderAccess access(
      [&](HANDLE object, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR descriptor) -> DWORD {
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        GetSecurityDescriptorControl(descriptor, &control, &revision);
        writes.push_back({norvale::FinalPathOfHandle(object), what,
                          (control & SE_DACL_PROTECTED) != 0});
        return ERROR_SUCCESS;
      });
  const norvale::FileHandle handle(CreateFileW(
      folder.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  ASSERT_TRUE(handle);
  EXPECT_TRUE(access.ApplyToOpenFolder(handle.Get(), folder, *list));
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_TRUE(norvale::SamePath(writes[0].object, norvale::FinalPathOfHandle(handle.Get())));
  EXPECT_EQ(writes[0].what, static_cast<SECURITY_INFORMATION>(
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                PROTECTED_DACL_SECURITY_INFORMATION));
  EXPECT_TRUE(writes[0].isProtected);
}

// Who stands behind a link on the way, and whether a drive root lets other
// accounts take away what it holds. The running account's own grant on the
// root (Wine shows every folder so) is its lists' to deal with, not another
// account's.
TEST(FolderAccess, LinksAndRootsAreJudgedByWhoMayChangeThem) {
  const std::vector<BYTE> account = testing_support::UserAccountSid();
  PSID own = const_cast<BYTE*>(account.data());
  const std::wstring me = testing_support::SidText(own);
  struct Case {
    std::wstring sddl;
    bool onlyTrusted, othersDelete;
  };
  const Case cases[] = {
      {L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)", true, false},
      {L"O:BAD:P(A;;FA;;;BA)(A;;0x1301bf;;;AU)", false, false},  // Modify: no child deletes
      {L"O:BAD:P(A;;FA;;;BA)(A;OICIIO;FA;;;AU)", true, false},    // reaches only what lies below
      {L"O:BAD:(A;OICI;FA;;;WD)", false, true},
      {L"O:" + me + L"D:(A;OICI;FA;;;" + me + L")", false, false},
  };
  for (const Case& c : cases) {
    const auto list = testing_support::ListFromSddl(c.sddl);
    EXPECT_EQ(norvale::OnlyTrustedMayChange(list, true, own), c.onlyTrusted)
        << norvale::ToAnsi(c.sddl);
    EXPECT_EQ(norvale::OthersMayDeleteWhatItHolds(list, true, own), c.othersDelete)
        << norvale::ToAnsi(c.sddl);
  }
  // Unelevated, the running account's own link is its own to trust.
  const auto mine = testing_support::ListFromSddl(L"O:" + me + L"D:P(A;;FA;;;" + me + L")");
  EXPECT_TRUE(norvale::OnlyTrustedMayChange(mine, false, own));
}

// Every part of the way is the folder its parent lists, not only the last:
// a link further up (made on the host, tests/support/make-host-links.sh)
// would give the list to a folder elsewhere, which Wine opens as if it lay
// where the link does.
TEST(FolderAccess, NoPartOfTheWayToAListedFolderMayBeALink) {
  const auto list = BuildFolderAccessList(GuardedFolder::kUninstallerFolder, true, nullptr);
  ASSERT_TRUE(list);
  norvale::SystemFolderAccess access;
  const std::wstring root = L"C:\\norvale-fa-links";
  ASSERT_NE(GetFileAttributesW((root + L"\\linked").c_str()), INVALID_FILE_ATTRIBUTES)
      << "the host's links are missing";
  EXPECT_FALSE(access.ApplyToFolder(root + L"\\linked\\sub", *list));
  EXPECT_FALSE(access.ApplyToFolder(root + L"\\linked", *list));
  EXPECT_EQ(WhyOf(access.ApplyToFolder(root + L"\\outside\\sub", *list)), L"");
  // An 8.3 alias names the folder itself, not a link.
  wchar_t shortName[MAX_PATH] = {};
  if (GetShortPathNameW((root + L"\\outside\\sub").c_str(), shortName, MAX_PATH) > 0) {
    EXPECT_EQ(WhyOf(access.ApplyToFolder(shortName, *list)), L"");
  }
}

// The install folder made below the drive root: on Windows a new folder
// there gives every signed-in user Modify, so any of them could rename it
// and put a folder of their own in its place. Made by the run, only
// Administrators and SYSTEM may delete or rename it or change its list,
// while inside it users keep exactly what the drive gives them today.
TEST(FolderAccess, AnInstallFolderBelowTheDriveRootIsClosedToRenamesOnly) {
  const auto root = FromSddl(kDriveRoot);
  const auto today = norvale::InheritedByNewFolder(root, Sid(testing_support::UserAccountSid()));
  ASSERT_TRUE(today);
  EXPECT_EQ(MayDeleteOrRename(*today, root),
            (NameSet{L"Administrators", L"SYSTEM", L"Authenticated Users"}));

  const auto app = norvale::InstallPathFolderList(root, true, nullptr);
  ASSERT_TRUE(app);
  const auto reading = Read(*app);
  EXPECT_EQ(reading.owner, L"Administrators");
  EXPECT_TRUE(reading.isProtected) << "the drive's Modify would come back";
  EXPECT_EQ(MayDeleteOrRename(*app, root), (NameSet{L"Administrators", L"SYSTEM"}));
  EXPECT_EQ(MayChangeTheList(*app), (NameSet{L"Administrators", L"SYSTEM"}));
  // In the folder itself users still add, write and list.
  EXPECT_EQ(RightsOf(*app, L"Authenticated Users"), kModify & ~DELETE);
  EXPECT_EQ(RightsOf(*app, L"Users"), RightsOf(*today, L"Users"));

  // What reaches a new folder and a new file inside is what reaches them
  // today: Modify, deleting and renaming included.
  for (const auto* parent : {&*today, &*app}) {
    const auto inside = norvale::InheritedByNewFolder(*parent, Sid(testing_support::UserAccountSid()));
    ASSERT_TRUE(inside);
    EXPECT_EQ(RightsOf(*inside, L"Authenticated Users"), kModify);
    EXPECT_EQ(RightsOf(*inside, L"Users"), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
    EXPECT_EQ(MayDeleteOrRename(*inside, *parent),
              (NameSet{L"Administrators", L"SYSTEM", L"Authenticated Users"}));
  }

  // A folder made on the way (C:\Norvale for C:\Norvale\POS) is closed the
  // same way, and so is the install folder below it.
  const auto below = norvale::InstallPathFolderList(*app, true, nullptr);
  ASSERT_TRUE(below);
  EXPECT_EQ(MayDeleteOrRename(*below, *app), (NameSet{L"Administrators", L"SYSTEM"}));
  EXPECT_EQ(RightsOf(*below, L"Authenticated Users"), kModify & ~DELETE);
}

// Below Program Files users could never rename anything: they still cannot,
// and may read and run what the folder holds as before.
TEST(FolderAccess, AnInstallFolderInProgramFilesKeepsWhatUsersMayDoThere) {
  const auto programFiles = FromSddl(kProgramFiles);
  const auto administrators = BuildFolderAccessList(GuardedFolder::kPrivateFolder, true, nullptr);
  ASSERT_TRUE(administrators);
  const auto today = norvale::InheritedByNewFolder(programFiles, administrators->Owner());
  ASSERT_TRUE(today);
  const auto app = norvale::InstallPathFolderList(programFiles, true, nullptr);
  ASSERT_TRUE(app);
  // TrustedInstaller may empty Program Files itself, as it may today.
  EXPECT_EQ(MayDeleteOrRename(*app, programFiles),
            (NameSet{L"Administrators", L"SYSTEM", L"TrustedInstaller"}));
  EXPECT_EQ(RightsOf(*app, L"Users"), RightsOf(*today, L"Users"));
  EXPECT_EQ(RightsOf(*app, L"Users"), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
  const auto inside = norvale::InheritedByNewFolder(*app, administrators->Owner());
  ASSERT_TRUE(inside);
  EXPECT_EQ(RightsOf(*inside, L"Users"), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE);
  // CREATOR OWNER is read as the new folder's owner.
  EXPECT_EQ(RightsOf(*today, L"Administrators"), static_cast<DWORD>(FILE_ALL_ACCESS));
}

// Unelevated, the running account is the owner and keeps what it has; no
// other user may take the folder away.
TEST(FolderAccess, AnUnelevatedInstallFolderBelongsToItsAccount) {
  const std::vector<BYTE> user = testing_support::UserAccountSid();
  const std::wstring userName = testing_support::SidText(Sid(user));
  const auto root = FromSddl(kDriveRoot);
  const auto app = norvale::InstallPathFolderList(root, false, Sid(user));
  ASSERT_TRUE(app);
  EXPECT_EQ(Read(*app).owner, userName);
  // CREATOR OWNER of the drive root has no entry: only what the drive gives.
  EXPECT_EQ(MayDeleteOrRename(*app, root), (NameSet{L"Administrators", L"SYSTEM"}));
  EXPECT_EQ(RightsOf(*app, L"Authenticated Users"), kModify & ~DELETE);
  EXPECT_FALSE(norvale::InstallPathFolderList(root, false, nullptr));
}

// A folder on the way that an earlier install made keeps every entry and
// its owner; only the rights to take it away go. Where nobody else has
// them, nothing is to change.
TEST(FolderAccess, AnExistingFolderIsClosedWithItsOtherEntriesUntouched) {
  const auto madeEarlier = FromSddl(
      L"O:BAD:AI(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)(A;OICIID;FA;;;BA)"
      L"(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)(A;OICI;FA;;;S-1-5-21-1-2-3-1111)");
  const auto closed = norvale::ClosedToRenames(madeEarlier, true, nullptr);
  ASSERT_TRUE(closed);
  EXPECT_EQ(closed->Owner(), nullptr) << "the owner stays as it is";
  EXPECT_TRUE(Read(*closed).isProtected);
  EXPECT_EQ(MayDeleteOrRename(*closed, FromSddl(kDriveRoot)),
            (NameSet{L"Administrators", L"SYSTEM"}));
  EXPECT_EQ(RightsOf(*closed, L"Authenticated Users"), kModify & ~DELETE);
  EXPECT_EQ(RightsOf(*closed, L"S-1-5-21-1-2-3-1111"),
            static_cast<DWORD>(FILE_ALL_ACCESS) & ~(DELETE | WRITE_DAC | WRITE_OWNER |
                                                    FILE_DELETE_CHILD));
  const auto inside = norvale::InheritedByNewFolder(*closed, nullptr);
  ASSERT_TRUE(inside);
  EXPECT_EQ(RightsOf(*inside, L"Authenticated Users"), kModify);
  EXPECT_EQ(RightsOf(*inside, L"S-1-5-21-1-2-3-1111"), static_cast<DWORD>(FILE_ALL_ACCESS));

  EXPECT_FALSE(norvale::ClosedToRenames(FromSddl(kProgramFiles), true, nullptr));
}

// Only the machine's administrators stand behind these owners.
TEST(FolderAccess, TrustedOwnersAreTheMachinesOwnAndTheRunningAccount) {
  const std::vector<BYTE> user = testing_support::UserAccountSid();
  EXPECT_TRUE(norvale::IsTrustedOwner(FromSddl(kProgramFiles).Owner(), nullptr));
  EXPECT_TRUE(norvale::IsTrustedOwner(FromSddl(kDriveRoot).Owner(), nullptr));
  EXPECT_TRUE(norvale::IsTrustedOwner(FromSddl(L"O:BAD:").Owner(), nullptr));
  EXPECT_FALSE(norvale::IsTrustedOwner(Sid(user), nullptr));
  EXPECT_TRUE(norvale::IsTrustedOwner(Sid(user), Sid(user)));
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
