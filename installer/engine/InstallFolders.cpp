#include "InstallFolders.h"

#include <windows.h>
#include <sddl.h>

#include <optional>

#include "DeleteGuard.h"
#include "FolderAccess.h"
#include "FileActs.h"
#include "InstallTree.h"
#include "Paths.h"
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
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (!sid || !ConvertSidToStringSidW(sid, &text)) return L"?";
  std::wstring result = text;
  LocalFree(text);
  return result;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
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
  StepResult<HeldFolder> Step(const HeldFolder& parent, const std::wstring& name,
                              bool last) override;

 private:
  struct Opened {
    FileHandle handle;
    std::wstring path;
    bool made = false;
  };
  // The folder name inside parent, opened without following a link; when
  // missing, made with makeWith (none: what parent passes down). Nothing
  // when it cannot be used (the user was told).
  std::optional<Opened> OpenOrMake(HANDLE parent, const std::wstring& parentPath,
                                   const std::wstring& name, bool held,
                                   const std::optional<FolderAccessList>& makeWith);
  // A folder on the way that was there: closed to renames when the
  // machine's administrators own it, else the record and the user are told.
  void CloseOnTheWay(const Opened& folder);
  // A folder that was there where the install folder or "Uninst" goes: the
  // run's own once it has the run's list (and owner), never when another
  // account owns it.
  bool MakeTheRunsOwn(const Opened& folder, const std::optional<FolderAccessList>& list);
  bool PrepareInstallFolder(const Opened& parent, const std::wstring& name);
  bool PrepareUninst(InstallTree& tree);
  void ByPath(const std::wstring& app);

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
  void TellForeignOwner(const std::wstring& path, PSID owner);
  bool Refuse(const std::wstring& path, const std::wstring& reason);

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
  std::vector<std::wstring> madeAbove_;
};

void FolderPreparation::TellNotSet(const std::wstring& path, DWORD error) {
  Line(kFolderAccessWarning, path, L"設定できませんでした(" + std::to_wstring(error) + L")", L"");
  run_.Ask(L"フォルダ[" + path + L"]のアクセス許可を設定できませんでした！(" +
               std::to_wstring(error) + L")" + kCrLf +
               L"（他のユーザーがこのフォルダを移動又は削除できる可能性があります）",
           L"【警告】アクセス許可を設定できませんでした！", MB_OK | MB_ICONEXCLAMATION);
}

void FolderPreparation::TellForeignOwner(const std::wstring& path, PSID owner) {
  run_.Ask(L"フォルダ[" + path + L"]は他のアカウント（" + SidText(owner) +
               L"）が所有しています。" + kCrLf +
               L"このアカウントはインストール先をフォルダごと移動できるため、" + kCrLf +
               L"アンインストールの登録が別のプログラムを指す可能性があります。" + kCrLf + kCrLf +
               L"（管理者が作成したフォルダへのインストールをお勧めします）",
           L"【警告】インストール先フォルダの所有者", MB_OK | MB_ICONEXCLAMATION);
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

std::optional<FolderPreparation::Opened> FolderPreparation::OpenOrMake(
    HANDLE parent, const std::wstring& parentPath, const std::wstring& name, bool held,
    const std::optional<FolderAccessList>& makeWith) {
  const std::wstring path = JoinPath(parentPath, name);
  // Unelevated, nobody may hand a folder to itself: the owner stays.
  const ACCESS_MASK rights = held ? (elevated_ ? kHeldAccess : kHeldAccess & ~WRITE_OWNER)
                                  : kWayAccess;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    Opened opened;
    StepResult<HeldFolder> found =
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
    const DWORD error = found.Error().code;
    if (IsMissing(error)) {
      opened.handle = access_.CreateFolderIn(parent, path, makeWith ? &*makeWith : nullptr);
      if (!opened.handle) {
        if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
        Refuse(path, L"フォルダを作成できませんでした(" + std::to_wstring(GetLastError()) + L")");
        return std::nullopt;
      }
      opened.path = FinalPathOfHandle(opened.handle.Get());
      if (opened.path.empty()) opened.path = path;
      opened.made = true;
      return opened;
    }
    if (error == kErrorLinkOnTheWay && held) {
      // A link in the install folder's or "Uninst"'s place is taken away as
      // itself, never what it leads to, and the folder made anew. Only a
      // link or an empty folder can go so: a full folder put under the name
      // meanwhile stays whole.
      std::wstring why;
      if (RemoveGuardedFolder(path, &why)) continue;
      Refuse(path, L"リンクに置き換えられていて、そのリンクを削除できませんでした");
      return std::nullopt;
    }
    if (error == kErrorLinkOnTheWay) {
      Refuse(path, L"リンク（ジャンクション）を経由するパスにはインストールできません");
    } else if (error == ERROR_DIRECTORY) {
      Refuse(path, L"同じ名前のファイルが存在します");
    } else {
      Refuse(path, L"フォルダを開けませんでした(" + std::to_wstring(error) + L")");
    }
    return std::nullopt;
  }
  Refuse(path, L"フォルダの作成中に他のプログラムが同じ名前を使用しました");
  return std::nullopt;
}

void FolderPreparation::CloseOnTheWay(const Opened& folder) {
  const std::optional<FolderAccessList> list = access_.ReadList(folder.handle.Get(), folder.path);
  parentList_ = list;
  if (!list) {
    TellNotSet(folder.path, GetLastError());
    return;
  }
  PSID owner = list->Owner();
  // Elevated, a folder the account made unelevated is its unelevated
  // programs' to give themselves any right on: as good as another's. (The
  // install folder itself is handed to the administrators when the run
  // takes it; a folder on the way keeps its owner.)
  if (!IsTrustedOwner(owner, elevated_ ? nullptr : Account())) {
    Line(kFolderAccessWarning, folder.path, L"他のアカウントが所有", list->Text());
    TellForeignOwner(folder.path, owner);
    return;
  }
  const std::optional<FolderAccessList> closed = ClosedToRenames(*list, elevated_, Account());
  if (!closed) {
    Line(kFolderAccessComment, folder.path, L"既存", list->Text());
    return;
  }
  if (!access_.ApplyToOpenFolder(folder.handle.Get(), folder.path, *closed)) {
    TellNotSet(folder.path, GetLastError());
    return;
  }
  const std::optional<FolderAccessList> described = WithOwner(*closed, owner);
  Line(kFolderAccessComment, folder.path, L"変更", described ? described->Text() : closed->Text());
  // A folder made below it inherits from the closed list.
  parentList_ = closed;
}

bool FolderPreparation::MakeTheRunsOwn(const Opened& folder,
                                       const std::optional<FolderAccessList>& list) {
  const std::optional<FolderAccessList> current =
      access_.ReadList(folder.handle.Get(), folder.path);
  if (!current || !IsTrustedOwner(current->Owner(), Account())) {
    return Refuse(folder.path, current ? L"他のアカウントが所有するフォルダです（所有者 " +
                                             SidText(current->Owner()) + L"）"
                                       : L"フォルダの所有者を確認できませんでした");
  }
  if (!list) return true;
  const std::optional<FolderAccessList> applied = elevated_ ? list : DaclOnly(*list);
  if (!applied || !access_.ApplyToOpenFolder(folder.handle.Get(), folder.path, *applied)) {
    return Refuse(folder.path, L"アクセス許可を設定できませんでした(" +
                                   std::to_wstring(GetLastError()) + L")");
  }
  return true;
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
  auto tree = std::make_shared<InstallTree>(std::move(app->handle), app->path, app->made);
  s_.installTree = tree;
  if (!PrepareUninst(*tree)) return false;
  std::wstring why;
  if (!MakeFolderInTree(*tree, JoinPath(tree->RootPath(), L"TEMP"), &why)) {
    return Refuse(JoinPath(tree->RootPath(), L"TEMP"), why);
  }
  return true;
}

bool FolderPreparation::PrepareUninst(InstallTree& tree) {
  // "Uninst" keeps what it had in every earlier round: the list of Program
  // Files when elevated, else what the install folder passes down.
  const std::optional<FolderAccessList> list =
      FolderAccessListForThisRun(access_, GuardedFolder::kUninstallerFolder);
  const std::wstring path = JoinPath(tree.RootPath(), L"Uninst");
  if (elevated_ && !list) return Refuse(path, L"アクセス許可を作成できませんでした");
  std::optional<Opened> uninst = OpenOrMake(tree.Root(), tree.RootPath(), L"Uninst", true, list);
  if (!uninst) return false;
  if (!uninst->made && !MakeTheRunsOwn(*uninst, list)) return false;
  if (uninst->made) tree.NoteMade(uninst->path, uninst->handle.Get());
  prepared_.recordLines.push_back(
      std::wstring(kUninstallerFolderAccessComment) +
      (list ? list->Text() : std::wstring(L"継承(管理者権限なしのインストール)")));
  return true;
}

void FolderPreparation::ByPath(const std::wstring& app) {
  // A share's folders are the server's to guard: made by name, as always.
  SkipOnFailure([&] { s_.objPublicFunc.MakeDir(app, nullptr, true); });
  SkipOnFailure([&] { s_.objPublicFunc.MakeDir(app + L"\\Uninst", nullptr, true); });
  std::wstring comment;
  SkipOnFailure([&] { comment = ProtectUninstallerFolder(run_, app + L"\\Uninst"); });
  if (!comment.empty()) prepared_.recordLines.push_back(comment);
  SkipOnFailure([&] { s_.objPublicFunc.MakeDir(app + L"\\TEMP", nullptr, true); });
}

PreparedFolders FolderPreparation::Run() {
  const std::wstring app = run_.InstallFolder();
  s_.installTree.reset();
  s_.FoldersMadeAbove.clear();
  elevated_ = access_.IsElevated();
  account_ = access_.Account();

  const std::wstring full = FullPath(Trim(app));
  if (full.size() <= 3 || !IsDriveAbsolute(full)) {
    ByPath(app);
    return prepared_;
  }
  const std::optional<std::wstring> below = ListedPartsBelowRoot(full);
  StepResult<HeldFolder> root = OpenDriveRoot(full, FILE_TRAVERSE | READ_CONTROL);
  if (!below || !root) {
    const std::wstring rootPath = full.substr(0, 3);
    Refuse(rootPath, L"ドライブを開けませんでした(" +
                         std::to_wstring(root ? ERROR_BAD_PATHNAME : root.Error().code) + L")");
    return prepared_;
  }
  parentList_ = access_.ReadList(root->handle.Get(), root->path);
  if (parentList_) Line(kFolderAccessComment, root->path, L"既存", parentList_->Text());

  // The install folder's own part is prepared apart from the way to it (a
  // part ending in a blank or a dot keeps a separator after it).
  std::wstring parts = *below;
  while (!parts.empty() && parts.back() == L'\\') parts.pop_back();
  const size_t lastSeparator = parts.find_last_of(L'\\');
  const std::wstring way =
      lastSeparator == std::wstring::npos ? L"" : parts.substr(0, lastSeparator);
  const std::wstring name =
      lastSeparator == std::wstring::npos ? parts : parts.substr(lastSeparator + 1);
  if (!name.empty()) {
    StepResult<HeldFolder> parent = WalkDown(std::move(*root), way, *this);
    if (parent) {
      Opened opened;
      opened.handle = std::move(parent->handle);
      opened.path = std::move(parent->path);
      PrepareInstallFolder(opened, name);
    }
  }
  s_.FoldersMadeAbove = madeAbove_;
  return prepared_;
}

StepResult<HeldFolder> FolderPreparation::Step(const HeldFolder& parent, const std::wstring& name,
                                               bool) {
  const std::optional<FolderAccessList> list = ListBelow();
  std::optional<Opened> folder =
      OpenOrMake(parent.handle.Get(), parent.path, name, false, list);
  // The user was told why.
  if (!folder) return StepError::Refusal(ERROR_ACCESS_DENIED, JoinPath(parent.path, name));
  if (folder->made) {
    madeAbove_.insert(madeAbove_.begin(), folder->path);
    if (list) {
      Line(kFolderAccessComment, folder->path, L"作成", list->Text());
    } else {
      TellNotSet(folder->path, ERROR_INVALID_SECURITY_DESCR);
    }
    parentList_ = list ? list : access_.ReadList(folder->handle.Get(), folder->path);
  } else {
    CloseOnTheWay(*folder);
  }
  return HeldFolder{std::move(folder->handle), std::move(folder->path)};
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
