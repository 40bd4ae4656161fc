// The install path as an elevated run leaves it: which list each folder from
// the drive down got and when, what a folder on the way that was there gets,
// and that an install folder or "Uninst" that is not the run's own is never
// written into. Wine neither keeps nor enforces lists and calls every folder
// the running account's, so the lists are read as they were handed over and
// the owners are answered as Windows would (RecordingFolderAccess.h); links
// are made on the host (tests/support/make-host-links.sh).
#include <windows.h>

#include <algorithm>

#include "EngineRunFixture.h"
#include "FileSystem.h"
#include "FolderAccess.h"
#include "Handles.h"
#include "InstallFolders.h"
#include "InstallSequence.h"
#include "Paths.h"
#include "SetupLog.h"
#include "UninstallRegistration.h"
#include "Text.h"

namespace testing_support {
namespace {

using Names = std::set<std::wstring>;

// The drive root of Windows 10, owned by Administrators: every signed-in
// user may make folders in it, and Modify reaches every one made there.
const wchar_t kPassesModifyDown[] =
    L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)"
    L"(A;OICIIO;SDGXGWGR;;;AU)(A;;LC;;;AU)";
// A folder an earlier elevated run made below it, as it inherits there.
const wchar_t kMadeBelowTheDrive[] =
    L"O:BAD:AI(A;ID;0x1301bf;;;AU)(A;OICIIOID;SDGXGWGR;;;AU)(A;OICIID;FA;;;BA)"
    L"(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)";
// One a signed-in user made there.
const wchar_t kMadeByAUser[] =
    L"O:S-1-5-21-1-2-3-1111D:AI(A;OICI;FA;;;S-1-5-21-1-2-3-1111)(A;OICIID;FA;;;BA)"
    L"(A;OICIID;FA;;;SY)(A;OICIID;0x1200a9;;;BU)";

const wchar_t kNotSetWarning[] = L"【警告】アクセス許可を設定できませんでした！";
const wchar_t kRefused[] = L"インストールを続行できません！";

class InstallFoldersTest : public PackageServerTest {
 protected:
  void SetUp() override {
    PackageServerTest::SetUp();
    // The run makes the install folder and, here, the folder above it.
    above_ = *app_ / L"Norvale";
    Use(above_ + L"\\Norvale POS");
  }
  void Use(const std::wstring& app) {
    RemoveDirectoryW((appDir_ + L"\\TEMP").c_str());
    RemoveDirectoryW(appDir_.c_str());
    appDir_ = app;
    State().InputItems[1].value = app;
    AddDownload(L"/pkg/files/readme.txt", L"{app}");
  }
  // Lists answered as Windows would: `folder`'s as given, every other one
  // as the drive root's.
  void Answer(const std::wstring& folder, const std::wstring& sddl) {
    folderAccess_->lists =
        [folder, sddl](const std::wstring& path) -> std::optional<norvale::FolderAccessList> {
      return ListFromSddl(norvale::SamePath(path, folder) ? sddl : kPassesModifyDown);
    };
  }
  const RecordingFolderAccess::Use* Created(const std::wstring& folder) const {
    const auto found = std::find_if(folderAccess_->created.begin(), folderAccess_->created.end(),
                                    [&](const auto& use) { return use.folder == folder; });
    return found == folderAccess_->created.end() ? nullptr : &*found;
  }
  bool AppliedTo(const std::wstring& folder) const {
    return std::any_of(folderAccess_->applied.begin(), folderAccess_->applied.end(),
                       [&](const auto& use) { return use.folder == folder; });
  }
  bool Recorded(const std::wstring& start) const {
    return std::any_of(log_.begin(), log_.end(),
                       [&](const std::wstring& line) { return line.rfind(start, 0) == 0; });
  }
  std::vector<std::wstring> Inside(const std::wstring& folder) const {
    std::vector<std::wstring> names;
    for (const norvale::FoundFile& file : norvale::ListFiles(folder + L"\\*", true)) {
      names.push_back(file.name);
    }
    WIN32_FIND_DATAW data{};
    const HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = data.cFileName;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..") {
          names.push_back(name + L"\\");
        }
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::wstring above_;
};

// No moment with the drive's rights: each folder the run makes from the
// drive down is born closed to everyone but the administrators in the call
// that makes it (a user who may write into an empty folder may make it a
// junction), and gets its list once the install folder holds "Uninst" and
// "TEMP". Nobody but the administrators may take the install folder away,
// while users keep doing inside it what the drive lets them do.
TEST_F(InstallFoldersTest, EveryFolderTheRunMakesIsBornClosedAndOpenedOnceItHoldsWhatItMust) {
  folderAccess_->lists = [](const std::wstring&) -> std::optional<norvale::FolderAccessList> {
    return ListFromSddl(kPassesModifyDown);
  };
  std::vector<bool> heldWhatItMust;
  folderAccess_->onApply = [&] {
    heldWhatItMust.push_back(norvale::FolderExists(appDir_ + L"\\Uninst") &&
                             norvale::FolderExists(appDir_ + L"\\TEMP"));
  };
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  const auto* above = Created(above_);
  const auto* app = Created(appDir_);
  const auto* uninst = Created(appDir_ + L"\\Uninst");
  ASSERT_TRUE(above && app && uninst);
  EXPECT_LT(above, app);
  EXPECT_LT(app, uninst);
  for (const auto* made : {above, app}) {
    EXPECT_EQ(Read(made->list).owner, L"Administrators");
    EXPECT_EQ(MayChangeTheList(made->list), (Names{L"Administrators", L"SYSTEM"}));
    EXPECT_EQ(RightsOf(made->list, L"Users"), 0u);
    EXPECT_EQ(RightsOf(made->list, L"Authenticated Users"), 0u);
  }
  auto applied = [&](const std::wstring& folder) -> const norvale::FolderAccessList* {
    for (const auto& use : folderAccess_->applied) {
      if (use.folder == folder) return &use.list;
    }
    return nullptr;
  };
  const auto* aboveList = applied(above_);
  const auto* appList = applied(appDir_);
  ASSERT_TRUE(aboveList && appList);
  EXPECT_EQ(heldWhatItMust, (std::vector<bool>{true, true}));
  const auto drive = ListFromSddl(kPassesModifyDown);
  for (const auto& [list, parent] : {std::pair{aboveList, &drive}, std::pair{appList, aboveList}}) {
    EXPECT_EQ(Read(*list).owner, L"Administrators");
    EXPECT_EQ(MayDeleteOrRename(*list, *parent), (Names{L"Administrators", L"SYSTEM"}));
    EXPECT_EQ(MayChangeTheList(*list), (Names{L"Administrators", L"SYSTEM"}));
  }
  const auto inside = norvale::InheritedByNewFolder(*appList, nullptr);
  ASSERT_TRUE(inside);
  EXPECT_TRUE(RightsOf(*inside, L"Authenticated Users") & DELETE) << "users keep their files";
  EXPECT_EQ(State().FoldersMadeAbove, (std::vector<std::wstring>{above_}));
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\readme.txt"), Served(L"pkg/files/readme.txt"));

  // The record names each folder from the drive down to "Uninst" and the
  // list it got, the way the demo's report reads them.
  EXPECT_TRUE(Recorded(std::wstring(norvale::kFolderAccessComment) + above_ + L"|作成|" +
                       aboveList->Text()));
  EXPECT_TRUE(Recorded(std::wstring(norvale::kFolderAccessComment) + appDir_ + L"|作成|" +
                       appList->Text()));
  EXPECT_TRUE(Recorded(std::wstring(norvale::kUninstallerFolderAccessComment) +
                       uninst->list.Text()));
}

// A folder on the way that an earlier run made: the machine's
// administrators own it, so it is closed to renames like a new one, through
// the folder opened without a link, its other entries and owner kept.
TEST_F(InstallFoldersTest, AFolderOnTheWayThatAdministratorsOwnIsClosedToRenames) {
  ASSERT_TRUE(CreateDirectoryW(above_.c_str(), nullptr));
  Answer(above_, kMadeBelowTheDrive);
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  ASSERT_GE(folderAccess_->applied.size(), 1u);
  const auto& closed = folderAccess_->applied[0];
  EXPECT_EQ(closed.folder, above_);
  EXPECT_EQ(closed.list.Owner(), nullptr) << "the owner stays";
  const auto drive = ListFromSddl(kPassesModifyDown);
  EXPECT_EQ(MayDeleteOrRename(closed.list, drive), (Names{L"Administrators", L"SYSTEM"}));
  EXPECT_EQ(RightsOf(closed.list, L"Users"), RightsOf(ListFromSddl(kMadeBelowTheDrive), L"Users"));
  EXPECT_TRUE(State().FoldersMadeAbove.empty());
  EXPECT_EQ(box_->Count(kNotSetWarning) + box_->Count(kRefused), 0);
  EXPECT_TRUE(Recorded(std::wstring(norvale::kFolderAccessComment) + above_ + L"|変更|O:BA"));
}

// A folder the run would take over, on the way or as the install folder,
// that others could move away with the install folder in it is not used:
// the user is told which folder (and who owns it, for an administrator to
// mend), and nothing is written. Another account, or the running account
// unelevated (from Explorer, say), owns it: as its owner it may give itself
// the right to rename it whatever list the elevated run sets. Or a program
// holds it with DELETE from before the run's list (a handle keeps what it
// was granted; an earlier version made it by name): Wine keeps sharing as
// Windows does, so the run's own open with DELETE that shares only reading
// and writing fails. A program that holds it for listing, or the run's own
// current folder, holds no such right.
TEST_F(InstallFoldersTest, AFolderOthersCouldMoveAwayIsRefused) {
  const std::wstring account = testing_support::SidText(folderAccess_->account.data());
  const std::wstring ownList =
      L"O:" + account + L"D:AI(A;OICI;FA;;;" + account + L")(A;OICIID;FA;;;BA)";
  constexpr DWORD kNotHeld = 0, kCurrent = ~0u, kDelete = DELETE | FILE_READ_ATTRIBUTES;
  struct Case {
    const char* what;
    bool installFolder;
    std::wstring sddl;
    DWORD heldWith;
    bool refused;
    std::wstring owner;  // named in the box
  };
  const Case cases[] = {
      {"on the way, another account's", false, kMadeByAUser, kNotHeld, true, L"S-1-5-21-1-2-3-1111"},
      {"on the way, the account's unelevated", false, ownList, kNotHeld, true, account},
      {"the install folder, the account's unelevated", true, ownList, kNotHeld, true, account},
      {"the install folder, held with DELETE", true, kMadeBelowTheDrive, kDelete, true, L""},
      {"on the way, held with DELETE", false, kMadeBelowTheDrive, kDelete, true, L""},
      {"the install folder, held for listing", true, kMadeBelowTheDrive, FILE_LIST_DIRECTORY, false,
       L""},
      {"on the way, the run's current folder", false, kMadeBelowTheDrive, kCurrent, false, L""},
  };
  std::vector<wchar_t> current(32768);
  ASSERT_GT(GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()), 0u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    NewServedRun(Windows10x64());
    Use(above_ + L"\\Norvale POS");
    const std::wstring folder = c.installFolder ? appDir_ : above_;
    ASSERT_EQ(State().objPublicFunc.MakeDir(folder), 0);
    Answer(folder, c.sddl);
    {
      const bool opens = c.heldWith != kNotHeld && c.heldWith != kCurrent;
      const norvale::FileHandle held(
          opens ? CreateFileW(folder.c_str(), c.heldWith,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)
                : INVALID_HANDLE_VALUE);
      ASSERT_EQ(static_cast<bool>(held), opens);
      if (c.heldWith == kCurrent) ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
      EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
      SetCurrentDirectoryW(current.data());
    }
    EXPECT_EQ(State().InstallAborted, c.refused ? -1 : 0);
    ASSERT_EQ(box_->Count(kRefused), c.refused ? 1 : 0);
    if (c.refused) {
      const std::wstring& text = box_->First(kRefused)->text;
      EXPECT_NE(text.find(folder), std::wstring::npos) << norvale::ToAnsi(text);
      EXPECT_NE(text.find(c.owner), std::wstring::npos) << norvale::ToAnsi(text);
      EXPECT_TRUE(log_.empty());
    }
    EXPECT_EQ(norvale::FileExists(appDir_ + L"\\readme.txt"), !c.refused);
    EXPECT_EQ(AppliedTo(folder), c.heldWith != kNotHeld);
    State().installTree.reset();
    RemoveTree(above_);
  }
}

// A list that cannot be set is told, not only recorded. The install folder
// the run made then stays closed to all but the administrators: the box
// says so, and the record names it as closed.
TEST_F(InstallFoldersTest, AListThatCannotBeSetIsTold) {
  ASSERT_TRUE(CreateDirectoryW(above_.c_str(), nullptr));
  Answer(above_, kMadeBelowTheDrive);
  folderAccess_->applyError = ERROR_ACCESS_DENIED;
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  ASSERT_EQ(box_->Count(kNotSetWarning), 2);
  EXPECT_NE(box_->asked[0].text.find(above_), std::wstring::npos);
  EXPECT_TRUE(Recorded(std::wstring(norvale::kFolderAccessWarning) + above_ +
                       L"|設定できませんでした(5)|"));
  const std::wstring& closed = box_->asked[1].text;
  EXPECT_NE(closed.find(appDir_), std::wstring::npos);
  EXPECT_NE(closed.find(L"管理者以外のユーザーが使用できないまま"), std::wstring::npos)
      << norvale::ToAnsi(closed);
  EXPECT_EQ(closed.find(L"移動又は削除"), std::wstring::npos) << norvale::ToAnsi(closed);
  EXPECT_TRUE(Recorded(std::wstring(norvale::kFolderAccessWarning) + appDir_ + L"|閉じたまま(5)|"));
}

// An install folder that another account made (in the moment after the
// wizard emptied the place, say) is not the run's: nothing is written into
// it, the user is told which folder, and the run ends.
TEST_F(InstallFoldersTest, AnInstallFolderAnotherAccountOwnsIsNeverWrittenInto) {
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_), 0);
  WriteFileBytes(appDir_ + L"\\user.txt", "mine");
  Answer(appDir_, kMadeByAUser);
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, -1);
  EXPECT_EQ(window_->finalRun, 0);
  EXPECT_FALSE(State().installTree);
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(Inside(appDir_), (std::vector<std::wstring>{L"user.txt"}));
  ASSERT_EQ(box_->Count(kRefused), 1);
  EXPECT_NE(box_->First(kRefused)->text.find(appDir_), std::wstring::npos);
  EXPECT_TRUE(folderAccess_->applied.empty());
}

// The same for "Uninst", made by another account between the run's making
// of the install folder and its own.
TEST_F(InstallFoldersTest, AnUninstFolderAnotherAccountMadeMeanwhileStopsTheRun) {
  const std::wstring uninst = appDir_ + L"\\Uninst";
  folderAccess_->onCreate = [&](const std::wstring& path) {
    if (path == uninst) CreateDirectoryW(uninst.c_str(), nullptr);
  };
  Answer(uninst, kMadeByAUser);
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, -1);
  EXPECT_TRUE(Inside(uninst).empty()) << "no record, no uninstaller";
  ASSERT_EQ(box_->Count(kRefused), 1);
  EXPECT_NE(box_->First(kRefused)->text.find(uninst), std::wstring::npos);
  // The install folder was the run's: the roll-back may take it away.
  ASSERT_TRUE(State().installTree);
  EXPECT_TRUE(State().installTree->StillMadeHere(appDir_));
}

// What the install folder's handle shows once a user made the folder a
// junction (possible while it is empty and they may write into it), or
// renamed it away: Wine makes no junction and keeps the name a handle was
// opened by, so this answers as Windows does from the moment `turned` is set.
class TurnedInstallFolder final : public norvale::IFinalPaths {
 public:
  TurnedInstallFolder(std::wstring folder, bool renamed)
      : folder_(std::move(folder)), renamed_(renamed) {}
  std::wstring FinalPathOf(const std::wstring& path, bool followLast) const override {
    return system_.FinalPathOf(path, followLast);
  }
  bool FactsOf(HANDLE handle, norvale::HandleFacts& facts) const override {
    if (!system_.FactsOf(handle, facts)) return false;
    if (turned && norvale::SamePath(facts.lies, folder_)) {
      if (renamed_) {
        facts.lies = folder_ + L".old";
      } else {
        facts.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
      }
    }
    return true;
  }
  bool turned = false;

 private:
  std::wstring folder_;
  bool renamed_;
  norvale::SystemFinalPaths system_;
};

// The install folder turned into a junction (or renamed away) before it
// held "Uninst" and "TEMP", at the last moment it could be: the run writes
// nothing more by the folder's name (no download, no record), tells the
// user which folder, and ends.
TEST_F(InstallFoldersTest, AnInstallFolderThatBecameALinkIsNeverWrittenThrough) {
  for (const bool renamed : {false, true}) {
    SCOPED_TRACE(renamed ? "renamed away" : "made a junction");
    NewServedRun(Windows10x64());
    Use(above_ + L"\\Norvale POS");
    auto turned = std::make_shared<TurnedInstallFolder>(appDir_, renamed);
    State().seams.finalPaths = turned;
    folderAccess_->onApply = [&] {
      if (norvale::SamePath(folderAccess_->applied.back().folder, appDir_)) turned->turned = true;
    };
    EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
    EXPECT_EQ(State().InstallAborted, -1);
    ASSERT_TRUE(turned->turned) << "the install folder got its list";
    ASSERT_EQ(box_->Count(kRefused), 1);
    const std::wstring told = box_->First(kRefused)->text;
    EXPECT_NE(told.find(appDir_), std::wstring::npos) << norvale::ToAnsi(told);
    EXPECT_NE(told.find(L"リンク（ジャンクション）に変えられました"), std::wstring::npos)
        << norvale::ToAnsi(told);
    EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\readme.txt"));
    EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\Uninst\\Setup.log"));
    folderAccess_->onApply = nullptr;
    State().installTree.reset();
    RemoveTree(above_);
  }
}

// A link where the install folder goes, or on the way to it that users may
// change: on Windows the run removes a junction in the install folder's
// place as itself and makes the folder anew; Wine follows a link made on
// the host and cannot take it away as itself, so there the run stops. A
// link on the way that a user may point elsewhere stops the run. Either way
// nothing reaches the folder the link leads to.
TEST_F(InstallFoldersTest, ALinkOnTheInstallPathIsNeverWrittenThrough) {
  const std::wstring links = L"C:\\norvale-tree-links";
  ASSERT_TRUE(norvale::FolderExists(links + L"\\outside")) << "the host's links are missing";
  const std::vector<std::wstring> before = Inside(links + L"\\outside");
  for (const std::wstring& app : {links + L"\\linked", links + L"\\linked\\Norvale POS"}) {
    NewServedRun(Windows10x64());
    Use(app);
    Answer(links + L"\\linked", kMadeByAUser);
    EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
    EXPECT_EQ(State().InstallAborted, -1) << norvale::ToAnsi(app);
    EXPECT_EQ(box_->Count(kRefused), 1);
    EXPECT_EQ(Inside(links + L"\\outside"), before);
    EXPECT_FALSE(State().installTree);
  }
}

// A junction or a mounted volume on the way that only the administrators
// may change leads where an administrator set it: the run goes through it,
// as installers always did, and says so in the record.
TEST_F(InstallFoldersTest, ALinkOnTheWayOnlyAdministratorsMayChangeIsFollowed) {
  const std::wstring links = L"C:\\norvale-tree-links";
  ASSERT_TRUE(norvale::FolderExists(links + L"\\outside")) << "the host's links are missing";
  const std::wstring app = links + L"\\linked\\Norvale POS";
  Use(app);
  Answer(links + L"\\linked", L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)");
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_EQ(box_->Count(kRefused), 0);
  EXPECT_EQ(ReadFileBytes(links + L"\\outside\\Norvale POS\\readme.txt"),
            Served(L"pkg/files/readme.txt"));
  EXPECT_TRUE(Recorded(std::wstring(norvale::kFolderAccessComment) + links + L"\\linked|リンク("));
  ASSERT_TRUE(State().installTree);
  EXPECT_TRUE(State().installTree->StillMadeHere(app));
  State().installTree.reset();
  RemoveTree(links + L"\\outside\\Norvale POS");
}

// Where such a link leads is judged as the way to it is, from that drive's
// root down: on a volume that keeps no lists there is nothing to guard, and
// the run says so once and goes by name as on such a drive. Wine has one
// volume, so the second root asked of stands for the link's target's.
TEST_F(InstallFoldersTest, ALinksTargetIsJudgedFromItsOwnDrivesRoot) {
  const std::wstring links = L"C:\\norvale-tree-links";
  ASSERT_TRUE(norvale::FolderExists(links + L"\\outside")) << "the host's links are missing";
  Use(links + L"\\linked\\Norvale POS");
  Answer(links + L"\\linked", L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)");
  int roots = 0;
  folderAccess_->keepsListsOf = [&](HANDLE) { return ++roots == 1; };
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_EQ(roots, 2);
  EXPECT_FALSE(State().installTree);
  EXPECT_TRUE(folderAccess_->created.empty());
  const auto link = std::find_if(log_.begin(), log_.end(), [&](const std::wstring& line) {
    return line.rfind(std::wstring(norvale::kFolderAccessComment) + links + L"\\linked|", 0) == 0;
  });
  ASSERT_NE(link, log_.end());
  EXPECT_TRUE(std::any_of(link, log_.end(), [](const std::wstring& line) {
    return line.rfind(std::wstring(norvale::kFolderAccessWarning) + L"C:\\|保護されません|", 0) == 0;
  }));
  EXPECT_EQ(ReadFileBytes(links + L"\\outside\\Norvale POS\\readme.txt"),
            Served(L"pkg/files/readme.txt"));
  RemoveTree(links + L"\\outside\\Norvale POS");
}

// An "Uninst" that was there (an earlier version's, with a list it let
// users change, or one a user made) goes with whatever it holds: the
// uninstaller the Uninstall entry names lies in a folder holding nothing
// this run did not put there.
TEST_F(InstallFoldersTest, AnEarlierUninstGoesWithWhatItHolds) {
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_ + L"\\Uninst"), 0);
  WriteFileBytes(appDir_ + L"\\Uninst\\VERSION.dll", "planted");
  WriteFileBytes(appDir_ + L"\\Uninst\\Dekant00.exe", "planted");
  WriteFileBytes(appDir_ + L"\\user.txt", "theirs");
  Answer(appDir_, kMadeBelowTheDrive);
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_EQ(box_->Count(kRefused), 0);
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\Uninst\\VERSION.dll"));
  EXPECT_NE(ReadFileBytes(appDir_ + L"\\Uninst\\Dekant00.exe"), "planted");
  EXPECT_TRUE(Created(appDir_ + L"\\Uninst")) << "made anew, with its list";
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\user.txt"), "theirs");
}

// An earlier uninstaller stays the product's only where its folder (and
// the file) let nobody but the administrators change it: it is carried
// into the new "Uninst", to be kept when it is not older than the
// installer's; one from a folder users could change is not, and the record
// says which.
TEST_F(InstallFoldersTest, AnEarlierUninstallerIsCarriedOnlyFromAFolderOnlyAdministratorsChanged) {
  for (const bool administratorsOnly : {true, false}) {
    SCOPED_TRACE(administratorsOnly ? "administrators only" : "users could change it");
    NewServedRun(Windows10x64());
    Use(above_ + L"\\Norvale POS");
    const std::wstring uninst = appDir_ + L"\\Uninst";
    ASSERT_EQ(State().objPublicFunc.MakeDir(uninst), 0);
    WriteFileBytes(uninst + L"\\Dekant00.exe", "the earlier uninstaller");
    WriteFileBytes(uninst + L"\\VERSION.dll", "planted");
    folderAccess_->lists =
        [&](const std::wstring& path) -> std::optional<norvale::FolderAccessList> {
      if (norvale::SamePath(path, uninst) || norvale::PlaceIsBelow(path, uninst)) {
        return ListFromSddl(administratorsOnly ? kAdministratorsFolder : kMadeBelowTheDrive);
      }
      return ListFromSddl(norvale::SamePath(path, appDir_) ? kMadeBelowTheDrive
                                                           : kPassesModifyDown);
    };
    EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
    EXPECT_EQ(State().InstallAborted, 0);
    EXPECT_TRUE(Created(uninst)) << "made anew, with its list";
    EXPECT_FALSE(norvale::FileExists(uninst + L"\\VERSION.dll"));
    EXPECT_EQ(ReadFileBytes(uninst + L"\\Dekant00.exe") == "the earlier uninstaller",
              administratorsOnly);
    const std::wstring line = std::wstring(administratorsOnly ? L";" : L";★") +
                              L"以前のアンインストーラ=" + uninst + L"\\Dekant00.exe|" +
                              (administratorsOnly ? L"引き継ぎ|" : L"置き換え|");
    EXPECT_TRUE(Recorded(line)) << norvale::ToAnsi(line);
    // The uninstall step kept it: the installer's own is not newer.
    EXPECT_EQ(Recorded(L";以前のアンインストーラを残しました"), administratorsOnly);
    State().installTree.reset();
    RemoveTree(above_);
  }
}

// An earlier "Uninst" that cannot go (a read-only file in it has a second
// name elsewhere, whose mark would go with its own) steps aside inside the
// held install folder, and the run goes on with a new one.
TEST_F(InstallFoldersTest, AnEarlierUninstThatCannotGoStepsAside) {
  const std::wstring uninst = appDir_ + L"\\Uninst";
  ASSERT_EQ(State().objPublicFunc.MakeDir(uninst), 0);
  const std::wstring theirs = *outside_ / L"theirs.dll";
  WriteFileBytes(theirs, "theirs");
  ASSERT_TRUE(CreateHardLinkW((uninst + L"\\shared.dll").c_str(), theirs.c_str(), nullptr));
  ASSERT_TRUE(SetFileAttributesW(theirs.c_str(), FILE_ATTRIBUTE_READONLY));
  Answer(appDir_, kMadeBelowTheDrive);
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  EXPECT_EQ(box_->Count(kRefused), 0);
  EXPECT_TRUE(Created(uninst));
  EXPECT_FALSE(norvale::FileExists(uninst + L"\\shared.dll"));
  const auto aside = std::find_if(log_.begin(), log_.end(), [](const std::wstring& line) {
    return line.rfind(L";★以前のUninst=", 0) == 0;
  });
  ASSERT_NE(aside, log_.end());
  const size_t open = aside->find(L"移動(");
  ASSERT_NE(open, std::wstring::npos);
  const std::wstring name = aside->substr(open + 3, aside->find(L')', open) - open - 3);
  EXPECT_EQ(name.rfind(L"Uninst.", 0), 0u) << norvale::ToAnsi(name);
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\" + name + L"\\shared.dll"), "theirs");
  EXPECT_EQ(ReadFileBytes(appDir_ + L"\\readme.txt"), Served(L"pkg/files/readme.txt"));
  SetFileAttributesW(theirs.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Where lists guard nothing, a volume that keeps none (FAT32, exFAT) or a
// drive root that lets users delete what it holds, the record says so once
// and the folders are made by name, as always, without a box for each.
TEST_F(InstallFoldersTest, APathListsCannotGuardIsSaidOnceAndMadeByName) {
  for (const bool fat : {true, false}) {
    NewServedRun(Windows10x64());
    Use(above_ + L"\\Norvale POS");
    if (fat) {
      folderAccess_->keepsLists = false;
    } else {
      folderAccess_->lists = [](const std::wstring&) -> std::optional<norvale::FolderAccessList> {
        return ListFromSddl(L"O:BAD:(A;OICI;FA;;;WD)");
      };
    }
    EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
    EXPECT_EQ(State().InstallAborted, 0);
    EXPECT_TRUE(box_->asked.empty());
    EXPECT_TRUE(folderAccess_->created.empty());
    EXPECT_TRUE(folderAccess_->applied.empty());
    const auto unguarded = std::count_if(log_.begin(), log_.end(), [](const std::wstring& line) {
      return line.rfind(norvale::kFolderAccessWarning, 0) == 0 &&
             line.find(L"|保護されません|") != std::wstring::npos;
    });
    EXPECT_EQ(unguarded, 1);
    EXPECT_EQ(ReadFileBytes(appDir_ + L"\\readme.txt"), Served(L"pkg/files/readme.txt"));
    EXPECT_TRUE(norvale::FolderExists(appDir_ + L"\\Uninst"));
  }
}

// A folder that cannot be made (a file holds its name) does not end the
// run there: the steps that need it fail on their own, as they always did,
// but through a tree that refuses everything below the install folder, so
// that nothing goes there by name whatever takes the name meanwhile.
TEST_F(InstallFoldersTest, AFolderThatCannotBeMadeLeavesTheRunToItsSteps) {
  WriteFileBytes(above_, "a file where a folder goes");
  box_->Answer(L"リトライしますか？", IDNO);
  box_->Answer(L"★処理を中止しますか？", IDYES);
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(box_->Count(kRefused), 0);
  EXPECT_EQ(box_->Count(L"リトライしますか？"), 1);
  ASSERT_TRUE(State().installTree);
  EXPECT_TRUE(State().installTree->Refuses());
  EXPECT_TRUE(State().installTree->Holds(appDir_ + L"\\Uninst\\Setup.log"));
  EXPECT_EQ(ReadFileBytes(above_), "a file where a folder goes");
}

// Folders the run made closed on the way get their lists even when a
// deeper one cannot be made (a file took the install folder's name between
// the run's look and its make): none stays closed to the users unsaid.
TEST_F(InstallFoldersTest, FoldersMadeOnTheWayAreOpenedWhenADeeperOneCannotBeMade) {
  folderAccess_->onCreate = [&](const std::wstring& path) {
    if (norvale::SamePath(path, appDir_)) WriteFileBytes(appDir_, "a file of a user's");
  };
  box_->Answer(L"リトライしますか？", IDNO);
  box_->Answer(L"★処理を中止しますか？", IDYES);
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  ASSERT_TRUE(Created(above_));
  EXPECT_TRUE(AppliedTo(above_));
  ASSERT_TRUE(State().installTree);
  EXPECT_TRUE(State().installTree->Refuses());
  EXPECT_EQ(ReadFileBytes(appDir_), "a file of a user's");
}

// An install folder typed in its 8.3 form names the folders the tree holds
// by their listed names: what the run writes below it goes through the
// tree (the marker is the run's own file, made with its list).
TEST_F(InstallFoldersTest, AnInstallFolderTypedInItsShortFormIsHeldByTheTree) {
  const std::wstring way = *app_ / L"Norvale Long Folder Name";
  ASSERT_TRUE(CreateDirectoryW(way.c_str(), nullptr));
  const std::wstring shortWay = norvale::ShortPathOf(way);
  ASSERT_NE(shortWay.find(L'~'), std::wstring::npos) << norvale::ToAnsi(shortWay);
  Use(shortWay + L"\\Norvale POS");
  EXPECT_EQ(norvale::ExecuteSetup(Run()), 0);
  EXPECT_EQ(State().InstallAborted, 0);
  const auto* made = folderAccess_->FileMadeAt(way + L"\\Norvale POS\\Setup_Start.txt");
  EXPECT_TRUE(made && made->list) << "made through the tree, with the run's list";
  State().installTree.reset();
  RemoveTree(way);
}

}  // namespace
}  // namespace testing_support
