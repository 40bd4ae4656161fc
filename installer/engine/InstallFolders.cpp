#include "InstallFolders.h"

#include <windows.h>
#include <sddl.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "DeleteGuard.h"
#include "FileActs.h"
#include "FolderAccess.h"
#include "GuardedRemovals.h"
#include "InstallTree.h"
#include "Paths.h"
#include "System.h"
#include "Text.h"
#include "UninstallRegistration.h"

namespace norvale {

const wchar_t kFolderAccessComment[] = L";フォルダのアクセス許可=";
const wchar_t kFolderAccessWarning[] = L";★フォルダのアクセス許可=";

namespace {

constexpr wchar_t kCrLf[] = L"\r\n";
// A folder on the way: passed through, its list read and perhaps closed.
constexpr ACCESS_MASK kWayAccess = FILE_TRAVERSE | READ_CONTROL | WRITE_DAC;
// The install folder and "Uninst": names are made in them, and a folder
// that was there before gets the run's list and owner.
constexpr ACCESS_MASK kHeldAccess = FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_ADD_FILE |
                                    FILE_ADD_SUBDIRECTORY | READ_CONTROL | WRITE_DAC |
                                    WRITE_OWNER;
// Someone may make the name between the run's look and its own make, or a
// link in the name's place may be gone after its removal.
constexpr int kAttempts = 3;
// Links an administrator set, followed one inside another's target.
constexpr int kLinkDepth = 8;

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return L"?";
  std::wstring result = text;
  LocalFree(text);
  return result;
}

// The account as an administrator who mends the folder finds it:
// "PC\clerk (S-1-5-21-...)", the SID alone when it names no account here.
std::wstring AccountText(PSID sid) {
  const std::wstring sidText = SidText(sid);
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  DWORD nameSize = 256, domainSize = 256;
  SID_NAME_USE use = SidTypeUnknown;
  if (!sid || !LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
    return sidText;
  }
  const std::wstring account = domain[0] ? std::wstring(domain) + L"\\" + name : name;
  return account + L" (" + sidText + L")";
}

// The way from the drive's root to the install folder is walked one part at
// a time, each part made or made sure of before the next is opened.
class FolderPreparation final : public IPathSteps {
 public:
  explicit FolderPreparation(InstallRun& run)
      : run_(run), s_(run.state), access_(*run.state.seams.windows.folderAccess) {}

  PreparedFolders Run();
  // A folder on the way: made with the list below the one above, or closed
  // to renames.
  StepResult<HeldEntry> Step(const HeldEntry& parent, const std::wstring& name,
                              bool last) override;

 private:
  struct Opened {
    FileHandle handle;
    std::wstring path;
    bool made = false;
    // Judged already, as the target of a link on the way.
    bool judged = false;
  };
  // A folder this run made, or took, closed to everyone but the
  // administrators for as long as it is empty (a user who may write into an
  // empty folder may make it a junction), and the list it gets once what
  // it must hold is in it.
  struct Closed {
    FileHandle handle;
    std::wstring path;
    FolderAccessList final;
  };
  // The folder name inside parent, opened without following a link (or
  // through one only administrators may change, on the way); when missing,
  // made closed, to get makeWith once it holds what it must (none: made
  // with what parent passes down). Nothing when it is not there to be used:
  // cannotMake_ tells a folder that could not be made, which the run goes
  // on without, from one the run refused (the user was told).
  std::optional<Opened> OpenOrMake(HANDLE parent, const std::wstring& parentPath,
                                   const std::wstring& name, bool held,
                                   const std::optional<FolderAccessList>& makeWith,
                                   bool bornClosed = true);
  // The link `name` of the way, followed when only administrators may
  // change it; refused otherwise.
  std::optional<Opened> ThroughLink(HANDLE parent, const std::wstring& parentPath,
                                    const std::wstring& name);
  // Where such a link leads, judged as the way to it is: from the drive's
  // root down on that side too, the volume's lists included.
  std::optional<Opened> JudgeLinkTarget(Opened target, const std::wstring& linkPath);
  // A folder on the way that was there: closed to renames when the
  // machine's administrators own it; refused (the user told who owns it)
  // when another account does. False when refused.
  bool CloseOnTheWay(const Opened& folder);
  // No handle opened before the run's list was written still holds the
  // right to rename or delete the folder (a handle keeps what it was
  // granted): opening it with DELETE, sharing only reading and writing,
  // fails while one does.
  bool NoOtherHoldsDelete(const Opened& folder);
  // An owner only the machine's administrators stand behind: elevated, not
  // the account's own (its unelevated programs act as that owner).
  bool TrustedOwner(PSID owner) const {
    return IsTrustedOwner(owner, elevated_ ? nullptr : Account());
  }
  // A folder that was there where the install folder goes: the run's own
  // once it has the run's list (and owner), never when another account owns
  // it.
  bool MakeTheRunsOwn(const Opened& folder, const std::optional<FolderAccessList>& list);
  bool PrepareInstallFolder(const Opened& parent, const std::wstring& name);
  // A new "Uninst", holding nothing the run did not put there: an earlier
  // one goes first, with what it holds (or steps aside when it cannot go),
  // its uninstaller carried over only from a folder administrators alone
  // could change.
  bool PrepareUninst(InstallTree& tree);
  std::optional<std::string> EarlierUninstaller(InstallTree& tree);
  bool SetAside(InstallTree& tree);
  // Once the install folder holds "Uninst" and "TEMP", every folder made
  // closed gets its list, and the install folder must still be no link.
  bool OpenToUsers(InstallTree& tree);
  // Every folder the run closed gets its list, whatever became of the run;
  // one that cannot is told and recorded as closed.
  void OpenClosedFolders();
  void KeepClosed(const Opened& folder, const std::optional<FolderAccessList>& final);
  // Why the path cannot be guarded by lists at all; empty when it can.
  std::wstring Unguardable(const HeldEntry& root);
  void ByPath(const std::wstring& app, bool guardUninst);

  PSID Account() const {
    return account_.empty() ? nullptr : const_cast<BYTE*>(account_.data());
  }
  std::optional<FolderAccessList> ListBelow() const {
    if (!parentList_) return std::nullopt;
    return InstallPathFolderList(*parentList_, elevated_, Account());
  }

  void Line(const wchar_t* kind, const std::wstring& path, const std::wstring& state,
            const std::wstring& text) {
    prepared_.recordLines.push_back(kind + path + L"|" + state + L"|" + text);
  }
  void TellNotSet(const std::wstring& path, DWORD error);
  bool Refuse(const std::wstring& path, const std::wstring& reason);
  bool RefuseForeignOwner(const std::wstring& path, PSID owner);

  InstallRun& run_;
  InstallerState& s_;
  IFolderAccess& access_;
  PreparedFolders prepared_;
  bool elevated_ = true;
  std::vector<BYTE> account_;
  // The list of the folder above the one being prepared; nothing when it
  // could not be read (a new folder then gets what its parent passes down,
  // and the user is told).
  std::optional<FolderAccessList> parentList_;
  // What a folder is made with until it holds what it must.
  std::optional<FolderAccessList> closedList_;
  std::vector<Closed> closed_;
  std::vector<std::wstring> madeAbove_;
  bool cannotMake_ = false;
  // The install folder as the run names it, where a link lies on the way.
  std::wstring named_;
  // Walking the way to a link's target: every part is there already.
  bool judging_ = false;
  int linkDepth_ = 0;
  // Where a link's target lies on a path lists cannot guard: the root and
  // why, and the run goes by name as on such a drive.
  std::optional<std::pair<std::wstring, std::wstring>> unguarded_;
};

void FolderPreparation::TellNotSet(const std::wstring& path, DWORD error) {
  Line(kFolderAccessWarning, path, L"設定できませんでした(" + std::to_wstring(error) + L")", L"");
  run_.Ask(L"フォルダ[" + path + L"]のアクセス許可を設定できませんでした！(" +
               std::to_wstring(error) + L")" + kCrLf +
               L"（他のユーザーがこのフォルダを移動又は削除できる可能性があります）",
           L"【警告】アクセス許可を設定できませんでした！", MB_OK | MB_ICONEXCLAMATION);
}


bool FolderPreparation::RefuseForeignOwner(const std::wstring& path, PSID owner) {
  // Such an owner may move the whole install folder away and put another
  // uninstaller in its place.
  return Refuse(path, L"他のアカウント " + AccountText(owner) + L" が所有するフォルダです。" +
                          kCrLf + L"管理者が所有者をAdministratorsに変更すると使用できます");
}

bool FolderPreparation::Refuse(const std::wstring& path, const std::wstring& reason) {
  run_.Ask(L"インストール先のフォルダ[" + path + L"]を使用できません！" + kCrLf + L"（" +
               reason + L"）" + kCrLf + kCrLf +
               L"★インストールを中止します、「ＯＫ」ボタンを押して下さい。",
           L"インストールを続行できません！", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL);
  s_.InstallAborted = -1;
  prepared_.refused = true;
  return false;
}

void FolderPreparation::KeepClosed(const Opened& folder,
                                   const std::optional<FolderAccessList>& final) {
  if (!final) return;
  // Its list is written later through a handle of its own.
  StepResult<FileHandle> lists =
      OpenIn(folder.handle.Get(), L"",
             READ_CONTROL | WRITE_DAC | (elevated_ ? WRITE_OWNER : 0), kShareAll,
             EntryType::Folder);
  if (lists) closed_.push_back({std::move(*lists), folder.path, *final});
}

std::optional<FolderPreparation::Opened> FolderPreparation::OpenOrMake(
    HANDLE parent, const std::wstring& parentPath, const std::wstring& name, bool held,
    const std::optional<FolderAccessList>& makeWith, bool bornClosed) {
  const std::wstring path = JoinPath(parentPath, name);
  // Unelevated, nobody may hand a folder to itself: the owner stays.
  const ACCESS_MASK rights = held ? (elevated_ ? kHeldAccess : kHeldAccess & ~WRITE_OWNER)
                                  : kWayAccess;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    Opened opened;
    StepResult<HeldEntry> found =
        OpenListedIn(parent, parentPath, name, rights, kShareAll, EntryType::Folder);
    if (!found && found.Error().code == ERROR_ACCESS_DENIED && !held) {
      // A list that keeps us from changing it can still be read and passed.
      found = OpenListedIn(parent, parentPath, name, FILE_TRAVERSE | READ_CONTROL, kShareAll,
                           EntryType::Folder);
    }
    if (found) {
      opened.handle = std::move(found->handle);
      opened.path = std::move(found->path);
      return opened;
    }
    const StepError& error = found.Error();
    if (error.Missing() && judging_) {
      Refuse(path, L"リンク（ジャンクション）の先のフォルダが見つかりませんでした");
      return std::nullopt;
    }
    if (error.Missing()) {
      // Closed from its first moment when it is to get a list of the run's
      // that lets users write into it.
      const bool closedFirst = makeWith && closedList_ && bornClosed;
      const FolderAccessList* born =
          closedFirst ? &*closedList_ : makeWith ? &*makeWith : nullptr;
      StepResult<FileHandle> made = access_.CreateFolderIn(parent, path, born);
      if (!made) {
        if (made.Error().code == ERROR_ALREADY_EXISTS) continue;
        // Nothing is written into a folder that is not there: the later
        // steps fail on their own, as they always did.
        cannotMake_ = true;
        return std::nullopt;
      }
      opened.handle = std::move(*made);
      opened.path = FinalPathOfHandle(opened.handle.Get());
      if (opened.path.empty()) opened.path = path;
      opened.made = true;
      if (closedFirst) KeepClosed(opened, makeWith);
      return opened;
    }
    if (error.code == kErrorLinkOnTheWay && held) {
      // A link in the install folder's or "Uninst"'s place is taken away as
      // itself, never what it leads to, and the folder made anew. Only a
      // link or an empty folder can go so: a full folder put under the name
      // meanwhile stays whole.
      if (RemoveGuardedFolder(path)) continue;
      Refuse(path, L"リンクに置き換えられていて、そのリンクを削除できませんでした");
      return std::nullopt;
    }
    if (error.code == kErrorLinkOnTheWay) return ThroughLink(parent, parentPath, name);
    if (error.code == ERROR_DIRECTORY) {
      // A file in the folder's place: the folder cannot be made.
      cannotMake_ = true;
      return std::nullopt;
    }
    Refuse(path, L"フォルダを開けませんでした(" + std::to_wstring(error.code) + L")");
    return std::nullopt;
  }
  Refuse(path, L"フォルダの作成中に他のプログラムが同じ名前を使用しました");
  return std::nullopt;
}

std::optional<FolderPreparation::Opened> FolderPreparation::ThroughLink(
    HANDLE parent, const std::wstring& parentPath, const std::wstring& name) {
  const std::wstring path = JoinPath(parentPath, name);
  // The link's own list: who may point it elsewhere, or take it away. Held
  // without sharing deletes until it is followed, so that no other link
  // takes its name between the judging and the following.
  const StepResult<FileHandle> link = OpenIn(parent, name, READ_CONTROL,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, EntryType::Any);
  const std::optional<FolderAccessList> list =
      link ? access_.ReadList(link->Get(), path) : std::nullopt;
  if (!list || !OnlyTrustedMayChange(*list, elevated_, Account())) {
    Refuse(path, L"他のユーザーが変更できるリンク（ジャンクション）を経由するパスにはインストールできません");
    return std::nullopt;
  }
  StepResult<FileHandle> through =
      OpenThroughLinkIn(parent, name, kWayAccess, kShareAll, EntryType::Folder);
  if (!through && through.Error().code == ERROR_ACCESS_DENIED) {
    through = OpenThroughLinkIn(parent, name, FILE_TRAVERSE | READ_CONTROL, kShareAll,
                                EntryType::Folder);
  }
  const std::wstring leadsTo = through ? FinalPathOfHandle(through->Get()) : L"";
  if (!through || leadsTo.empty()) {
    Refuse(path, L"リンク（ジャンクション）の先を開けませんでした");
    return std::nullopt;
  }
  Line(kFolderAccessComment, path, L"リンク(" + leadsTo + L")", list->Text());
  Opened opened;
  opened.handle = std::move(*through);
  opened.path = leadsTo;
  return JudgeLinkTarget(std::move(opened), path);
}

std::optional<FolderPreparation::Opened> FolderPreparation::JudgeLinkTarget(
    Opened target, const std::wstring& linkPath) {
  if (linkDepth_ >= kLinkDepth) {
    Refuse(linkPath, L"リンク（ジャンクション）の先に更にリンクが多すぎます");
    return std::nullopt;
  }
  // A mounted volume without a drive letter has no root to judge from.
  StepResult<HeldEntry> root = target.path.size() >= 3 && IsDriveAbsolute(target.path)
                                    ? OpenDriveRoot(target.path, FILE_TRAVERSE | READ_CONTROL)
                                    : StepResult<HeldEntry>(
                                          StepError::Of(ERROR_BAD_PATHNAME, target.path));
  if (!root) {
    Refuse(linkPath, L"リンク（ジャンクション）の先のドライブを開けませんでした(" +
                         std::to_wstring(root.Error().code) + L")");
    return std::nullopt;
  }
  parentList_ = access_.ReadList(root->handle.Get(), root->path);
  if (std::wstring why = Unguardable(*root); !why.empty()) {
    unguarded_.emplace(root->path, std::move(why));
    return std::nullopt;
  }
  if (parentList_) Line(kFolderAccessComment, root->path, L"既存", parentList_->Text());
  // A volume mounted there is its own root.
  std::wstring parts = target.path.substr(3);
  while (!parts.empty() && parts.back() == L'\\') parts.pop_back();
  const bool wasJudging = std::exchange(judging_, true);
  ++linkDepth_;
  StepResult<HeldEntry> reached = WalkDown(std::move(*root), parts, *this);
  --linkDepth_;
  judging_ = wasJudging;
  if (!reached) return std::nullopt;
  const std::optional<FileIdentity> identity = IdentityOf(reached->handle.Get());
  if (!identity || identity != IdentityOf(target.handle.Get())) {
    Refuse(linkPath, L"リンク（ジャンクション）の先が確認中に変わりました");
    return std::nullopt;
  }
  Opened opened;
  opened.handle = std::move(reached->handle);
  opened.path = std::move(reached->path);
  opened.judged = true;
  return opened;
}

bool FolderPreparation::CloseOnTheWay(const Opened& folder) {
  const std::optional<FolderAccessList> list = access_.ReadList(folder.handle.Get(), folder.path);
  parentList_ = list;
  if (!list) {
    TellNotSet(folder.path, GetLastError());
    return true;
  }
  PSID owner = list->Owner();
  // Another account, or elevated the account's unelevated self, may give
  // itself any right on the folder whatever list the run sets, and move
  // the install folder away with it. (The install folder itself is handed
  // to the administrators when the run takes it; a folder on the way keeps
  // its owner.)
  if (!TrustedOwner(owner)) return RefuseForeignOwner(folder.path, owner);
  const std::optional<FolderAccessList> closed = ClosedToRenames(*list, elevated_, Account());
  if (!closed) {
    Line(kFolderAccessComment, folder.path, L"既存", list->Text());
    return true;
  }
  if (const StepDone applied = access_.ApplyToOpenFolder(folder.handle.Get(), folder.path, *closed);
      !applied) {
    TellNotSet(folder.path, applied.Error().code);
    return true;
  }
  if (!NoOtherHoldsDelete(folder)) return false;
  const std::optional<FolderAccessList> described = WithOwner(*closed, owner);
  Line(kFolderAccessComment, folder.path, L"変更", described ? described->Text() : closed->Text());
  // A folder made below it inherits from the closed list.
  parentList_ = closed;
  return true;
}

bool FolderPreparation::NoOtherHoldsDelete(const Opened& folder) {
  const auto alone = [&] {
    return OpenIn(folder.handle.Get(), L"", DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  EntryType::Folder);
  };
  StepResult<FileHandle> asked = alone();
  if (!asked && asked.Error().code == ERROR_SHARING_VIOLATION) {
    // This program's own current folder is held sharing no deletes, as
    // every process's is, and holds no DELETE: it steps out meanwhile.
    const FileHandle current(CreateFileW(L".", FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    const std::optional<FileIdentity> here = current ? IdentityOf(current.Get()) : std::nullopt;
    std::vector<wchar_t> saved(32768);
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(saved.size()), saved.data());
    if (here && here == IdentityOf(folder.handle.Get()) && length > 0 && length < saved.size() &&
        SetCurrentDirectoryW(SystemFolder().c_str())) {
      asked = alone();
      SetCurrentDirectoryW(saved.data());
    }
  }
  if (asked) return true;
  if (asked.Error().code == ERROR_SHARING_VIOLATION) {
    return Refuse(folder.path, L"他のプログラムがこのフォルダを移動又は削除できる状態で開いています" +
                                   std::wstring(kCrLf) + L"（そのプログラムを終了してから実行して下さい）");
  }
  return Refuse(folder.path, L"フォルダを移動又は削除できるのがこのインストールだけか確認できませんでした(" +
                                 std::to_wstring(asked.Error().code) + L")");
}

bool FolderPreparation::MakeTheRunsOwn(const Opened& folder,
                                       const std::optional<FolderAccessList>& list) {
  const std::optional<FolderAccessList> current =
      access_.ReadList(folder.handle.Get(), folder.path);
  if (!current) return Refuse(folder.path, L"フォルダの所有者を確認できませんでした");
  if (!TrustedOwner(current->Owner())) return RefuseForeignOwner(folder.path, current->Owner());
  if (!list) return true;
  // Taken closed, as a new one is born, until it holds what it must.
  const std::optional<FolderAccessList>& first = closedList_ ? closedList_ : list;
  const std::optional<FolderAccessList> applied = elevated_ ? first : DaclOnly(*first);
  const StepDone set = applied ? access_.ApplyToOpenFolder(folder.handle.Get(), folder.path, *applied)
                               : StepDone(StepError::Of(ERROR_INVALID_SECURITY_DESCR, folder.path));
  if (!set) {
    return Refuse(folder.path, L"アクセス許可を設定できませんでした(" +
                                   std::to_wstring(set.Error().code) + L")");
  }
  if (closedList_) KeepClosed(folder, elevated_ ? list : DaclOnly(*list));
  return NoOtherHoldsDelete(folder);
}

bool FolderPreparation::PrepareInstallFolder(const Opened& parent, const std::wstring& name) {
  const std::optional<FolderAccessList> list = ListBelow();
  std::optional<Opened> app = OpenOrMake(parent.handle.Get(), parent.path, name, true, list);
  if (!app) return false;
  if (!app->made && !MakeTheRunsOwn(*app, list)) return false;
  if (list) {
    Line(kFolderAccessComment, app->path, app->made ? L"作成" : L"変更", list->Text());
  } else {
    TellNotSet(app->path, ERROR_INVALID_SECURITY_DESCR);
  }
  auto tree = std::make_shared<InstallTree>(std::move(app->handle), app->path, app->made,
                                            SamePath(named_, app->path) ? L"" : named_);
  s_.installTree = tree;
  if (!PrepareUninst(*tree)) return false;
  // What the run downloads there waits for its use in a folder that, as
  // the install folder was when it was made, only administrators may change.
  if (const StepDone made = MakeFolderInTree(*tree, JoinPath(tree->RootPath(), L"TEMP")); !made) {
    return Refuse(JoinPath(tree->RootPath(), L"TEMP"), made.Error().Why());
  }
  return OpenToUsers(*tree);
}

bool FolderPreparation::PrepareUninst(InstallTree& tree) {
  // "Uninst" keeps what it had in every earlier round: the list of Program
  // Files when elevated, else what the install folder passes down.
  const std::optional<FolderAccessList> list =
      FolderAccessListForThisRun(access_, GuardedFolder::kUninstallerFolder);
  const std::wstring path = JoinPath(tree.RootPath(), L"Uninst");
  if (elevated_ && !list) return Refuse(path, L"アクセス許可を作成できませんでした");
  // An earlier one (an earlier version's, or one a user made) may hold a
  // program or DLL that would run elevated from there, and may let users
  // change it: the uninstaller the Uninstall entry names lies in a folder
  // holding nothing this run did not put there.
  const EntryKind there = KindIn(tree.Root(), L"Uninst");
  std::optional<std::string> earlier;
  if (there == EntryKind::kFolder) {
    earlier = EarlierUninstaller(tree);
    if (const StepDone removed = RemoveListedFolder(tree.Root(), tree.RootPath(), L"Uninst");
        !removed && !SetAside(tree)) {
      return Refuse(path, L"以前のUninstフォルダを削除も移動もできませんでした" +
                              std::wstring(kCrLf) + removed.Error().Text());
    }
  }
  if (there == EntryKind::kFile) {
    if (const StepDone deleted = DeleteGuardedFileIn(tree.Root(), tree.RootPath(), L"Uninst", true);
        !deleted && !SetAside(tree)) {
      return Refuse(path, L"同じ名前のファイルを削除も移動もできませんでした" +
                              std::wstring(kCrLf) + deleted.Error().Text());
    }
  }
  // Born with its own list, under which users only read and run.
  std::optional<Opened> uninst =
      OpenOrMake(tree.Root(), tree.RootPath(), L"Uninst", true, list, false);
  if (!uninst) return cannotMake_ ? Refuse(path, L"フォルダを作成できませんでした") : false;
  if (!uninst->made) return Refuse(path, L"フォルダの作成中に他のプログラムが同じ名前を使用しました");
  tree.NoteMade(uninst->path, uninst->handle.Get());
  prepared_.recordLines.push_back(
      std::wstring(kUninstallerFolderAccessComment) +
      (list ? list->Text() : std::wstring(L"継承(管理者権限なしのインストール)")));
  if (earlier) {
    // Made anew in the new "Uninst", with what that folder passes down; the
    // uninstall step keeps it when it is not older than the installer's.
    const std::wstring carried = JoinPath(uninst->path, kUninstallerFile);
    if (const StepDone written = WriteGeneratedFile(tree, carried, *earlier, nullptr); !written) {
      prepared_.recordLines.push_back(L";★以前のアンインストーラ=" + carried +
                                      L"|引き継げませんでした(" +
                                      std::to_wstring(written.Error().code) + L")|");
    }
  }
  return true;
}

std::optional<std::string> FolderPreparation::EarlierUninstaller(InstallTree& tree) {
  const StepResult<HeldEntry> old =
      OpenListedIn(tree.Root(), tree.RootPath(), L"Uninst", FILE_TRAVERSE | READ_CONTROL,
                   kShareAll, EntryType::Folder);
  if (!old) return std::nullopt;
  const StepResult<FileHandle> file =
      OpenIn(old->handle.Get(), kUninstallerFile, GENERIC_READ, FILE_SHARE_READ, EntryType::File);
  const std::optional<DWORD> attributes = file ? AttributesOf(file->Get()) : std::nullopt;
  if (!attributes || IsLinkAttributes(*attributes)) return std::nullopt;
  const std::wstring path = JoinPath(old->path, kUninstallerFile);
  // A user who could change the folder, or the file, may have put a program
  // of theirs there for the Uninstall entry to start elevated.
  const std::optional<FolderAccessList> folderList = access_.ReadList(old->handle.Get(), old->path);
  const std::optional<FolderAccessList> fileList = access_.ReadList(file->Get(), path);
  const bool onlyAdministrators =
      folderList && fileList && OnlyTrustedMayChange(*folderList, elevated_, Account()) &&
      OnlyTrustedMayChange(*fileList, elevated_, Account());
  LARGE_INTEGER size{};
  constexpr LONGLONG kLargest = 256ll * 1024 * 1024;
  std::string bytes;
  if (onlyAdministrators && GetFileSizeEx(file->Get(), &size) && size.QuadPart <= kLargest) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!ReadFile(file->Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
        got != bytes.size()) {
      bytes.clear();
    }
  }
  const bool carried = onlyAdministrators && !bytes.empty();
  prepared_.recordLines.push_back(std::wstring(carried ? L";" : L";★") + L"以前のアンインストーラ=" +
                                  path + (carried ? L"|引き継ぎ|" : L"|置き換え|") +
                                  (folderList ? folderList->Text() : L""));
  if (!carried) return std::nullopt;
  return bytes;
}

bool FolderPreparation::SetAside(InstallTree& tree) {
  // What cannot go (a read-only file with a second name, one that cannot be
  // deleted) steps aside under a name nobody had, inside the held install
  // folder, where the uninstaller removes it with the folder.
  const StepResult<FileHandle> old =
      OpenIn(tree.Root(), L"Uninst", DELETE, kShareAll, EntryType::Any);
  const std::wstring aside = UniqueFolderName(L"Uninst.");
  if (!old || aside.empty() || !RenameInto(old->Get(), tree.Root(), aside, false)) return false;
  prepared_.recordLines.push_back(L";★以前のUninst=" + JoinPath(tree.RootPath(), L"Uninst") +
                                  L"|削除できないため移動(" + aside + L")|");
  return true;
}

void FolderPreparation::OpenClosedFolders() {
  for (Closed& folder : closed_) {
    const StepDone opened = access_.ApplyToOpenFolder(folder.handle.Get(), folder.path, folder.final);
    if (opened) continue;
    const DWORD error = opened.Error().code;
    Line(kFolderAccessWarning, folder.path, L"閉じたまま(" + std::to_wstring(error) + L")",
         closedList_ ? closedList_->Text() : L"");
    run_.Ask(L"フォルダ[" + folder.path + L"]のアクセス許可を設定できませんでした！(" +
                 std::to_wstring(error) + L")" + kCrLf +
                 L"（このフォルダは管理者以外のユーザーが使用できないままです）",
             L"【警告】アクセス許可を設定できませんでした！", MB_OK | MB_ICONEXCLAMATION);
  }
  closed_.clear();
}

bool FolderPreparation::OpenToUsers(InstallTree& tree) {
  OpenClosedFolders();
  // Closed until now, and holding "Uninst" and "TEMP" from now on, the
  // install folder cannot have become a mount point; one that is all the
  // same is not written through.
  HandleFacts facts;
  if (!s_.seams.finalPaths->FactsOf(tree.Root(), facts) || IsLinkAttributes(facts.attributes) ||
      !SamePath(facts.lies, tree.RootPath())) {
    return Refuse(tree.RootPath(), L"リンク（ジャンクション）に変えられました");
  }
  return true;
}

std::wstring FolderPreparation::Unguardable(const HeldEntry& root) {
  if (!access_.KeepsLists(root.handle.Get())) {
    return L"アクセス許可のないボリューム(FAT32・exFAT)です";
  }
  if (parentList_ && OthersMayDeleteWhatItHolds(*parentList_, elevated_, Account())) {
    return L"ドライブのルートで他のユーザーがフォルダを削除できます";
  }
  return L"";
}

void FolderPreparation::ByPath(const std::wstring& app, bool guardUninst) {
  // Made by name, as always: a share's folders are the server's to guard,
  // and where lists guard nothing there is nothing to set.
  SkipOnFailure([&] { s_.objPublicFunc.MakeDir(app, nullptr, true); });
  // An earlier "Uninst" goes with what it holds, as below a guarded path.
  const std::wstring uninst = app + L"\\Uninst";
  SkipOnFailure([&] {
    if (GetFileAttributesW(uninst.c_str()) != INVALID_FILE_ATTRIBUTES) DeleteTree(uninst);
  });
  SkipOnFailure([&] { s_.objPublicFunc.MakeDir(uninst, nullptr, true); });
  if (guardUninst) {
    std::wstring comment;
    SkipOnFailure([&] { comment = ProtectUninstallerFolder(run_, uninst); });
    if (!comment.empty()) prepared_.recordLines.push_back(comment);
  }
  SkipOnFailure([&] { s_.objPublicFunc.MakeDir(app + L"\\TEMP", nullptr, true); });
}

PreparedFolders FolderPreparation::Run() {
  const std::wstring app = run_.InstallFolder();
  s_.installTree.reset();
  s_.FoldersMadeAbove.clear();
  elevated_ = access_.IsElevated();
  account_ = access_.Account();
  closedList_ = FolderAccessListForThisRun(access_, GuardedFolder::kPrivateFolder);

  const std::wstring full = FullPath(Trim(app));
  if (full.size() <= 3 || !IsDriveAbsolute(full)) {
    ByPath(app, true);
    return prepared_;
  }
  const std::optional<std::wstring> below = ListedPartsBelowRoot(full);
  StepResult<HeldEntry> root = OpenDriveRoot(full, FILE_TRAVERSE | READ_CONTROL);
  if (!below || !root) {
    const std::wstring rootPath = full.substr(0, 3);
    Refuse(rootPath, L"ドライブを開けませんでした(" +
                         std::to_wstring(root ? ERROR_BAD_PATHNAME : root.Error().code) + L")");
    return prepared_;
  }
  parentList_ = access_.ReadList(root->handle.Get(), root->path);
  if (const std::wstring why = Unguardable(*root); !why.empty()) {
    // Said once; the folders go by name, without a box for each.
    Line(kFolderAccessWarning, root->path, L"保護されません", why);
    ByPath(app, false);
    return prepared_;
  }
  if (parentList_) Line(kFolderAccessComment, root->path, L"既存", parentList_->Text());

  // The install folder's own part is prepared apart from the way to it (a
  // part ending in a blank or a dot keeps a separator after it).
  std::wstring parts = *below;
  while (!parts.empty() && parts.back() == L'\\') parts.pop_back();
  named_ = root->path + parts;
  const size_t lastSeparator = parts.find_last_of(L'\\');
  const std::wstring way =
      lastSeparator == std::wstring::npos ? L"" : parts.substr(0, lastSeparator);
  const std::wstring name =
      lastSeparator == std::wstring::npos ? parts : parts.substr(lastSeparator + 1);
  if (!name.empty()) {
    StepResult<HeldEntry> parent = WalkDown(std::move(*root), way, *this);
    if (parent) {
      Opened opened;
      opened.handle = std::move(parent->handle);
      opened.path = std::move(parent->path);
      PrepareInstallFolder(opened, name);
    }
  }
  if (unguarded_ && !prepared_.refused) {
    // A link an administrator set leads where lists guard nothing: the way
    // goes by name from there, as on such a drive.
    Line(kFolderAccessWarning, unguarded_->first, L"保護されません", unguarded_->second);
    OpenClosedFolders();
    ByPath(app, false);
    return prepared_;
  }
  if (cannotMake_ && !prepared_.refused && !s_.installTree) {
    // The run goes on to its steps, which fail on their own, but nothing
    // of it goes below the install folder by name: a user who put a file
    // there may have put a folder of theirs in its place meanwhile.
    s_.installTree = InstallTree::Refusing(named_);
  }
  OpenClosedFolders();
  s_.FoldersMadeAbove = madeAbove_;
  return prepared_;
}

StepResult<HeldEntry> FolderPreparation::Step(const HeldEntry& parent, const std::wstring& name,
                                               bool) {
  const std::optional<FolderAccessList> list = ListBelow();
  std::optional<Opened> folder =
      OpenOrMake(parent.handle.Get(), parent.path, name, false, list);
  // The user was told why, or the run goes on without the folder.
  if (!folder) return StepError::Of(ERROR_CANCELLED, JoinPath(parent.path, name));
  if (folder->judged) return HeldEntry{std::move(folder->handle), std::move(folder->path)};
  if (folder->made) {
    madeAbove_.insert(madeAbove_.begin(), folder->path);
    if (list) {
      Line(kFolderAccessComment, folder->path, L"作成", list->Text());
    } else {
      TellNotSet(folder->path, ERROR_INVALID_SECURITY_DESCR);
    }
    parentList_ = list ? list : access_.ReadList(folder->handle.Get(), folder->path);
  } else if (!CloseOnTheWay(*folder)) {
    return StepError::Of(ERROR_CANCELLED, folder->path);
  }
  return HeldEntry{std::move(folder->handle), std::move(folder->path)};
}

}  // namespace

PreparedFolders PrepareInstallFolders(InstallRun& run) {
  PreparedFolders prepared;
  if (!SkipOnFailure([&] { prepared = FolderPreparation(run).Run(); })) {
    prepared.refused = true;
    run.state.InstallAborted = -1;
  }
  return prepared;
}

}  // namespace norvale
