#include "DeleteMeCmd.h"

#include <objbase.h>

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "FolderAccess.h"
#include "FileActs.h"
#include "GuardedRemovals.h"
#include "Handles.h"
#include "Paths.h"
#include "RemovalGuards.h"
#include "RemovalSteps.h"
#include "SetupText.h"
#include "System.h"
#include "Text.h"

namespace norvale {

const wchar_t kDeleteMeFileName[] = L"DeleteMe.cmd";

namespace {

// Pieces of one line: fixed text may lose a character the code page lacks
// (it is only shown); a path must come through exactly.
struct Piece {
  std::wstring text;
  bool exact;
};
using Line = std::vector<Piece>;

// Text in the code page the interpreter reads, by the one rule every
// command file and record follows (symbolic code pages resolved, UTF-8
// judged by the round trip): a path must read back as itself, shown text
// may lose what the code page lacks.
std::optional<std::string> ToOem(const std::wstring& text, bool exact, UINT codePage,
                                 const ICodePages& pages) {
  if (exact) return ToAnsiExact(text, codePage, pages);
  return ToAnsiNoBestFit(text, codePage, pages);
}

// Inside double quotes the interpreter still expands "%"; every other
// special character is literal there (delayed expansion is switched off).
std::wstring Quoted(const std::wstring& path) {
  return L"\"" + ReplaceAll(path, L"%", L"%%") + L"\"";
}

// For an echo line, where nothing is quoted.
std::wstring Echoed(const std::wstring& path) {
  std::wstring out;
  for (wchar_t c : path) {
    if (c == L'%') {
      out += L"%%";
      continue;
    }
    if (c == L'^' || c == L'&' || c == L'|' || c == L'<' || c == L'>') out += L'^';
    out += c;
  }
  return out;
}

Line Fixed(const std::wstring& text) { return {{text, false}}; }

// A file held for a moment (the product still closing, a virus scan, the
// search indexer) is mostly free again within seconds: what could not go is
// tried again, a second apart, for five seconds.
constexpr int kRetries = 5;
constexpr DWORD kRetryPauseMs = 1000;
// The window answers between the steps of a pause.
constexpr DWORD kPauseStepMs = 100;

void AnswerWindow(IUninstallerWindow& window) {
  SkipOnFailure([&] { window.DoEvents(); });
}

void Pause(IWaits& waits, IUninstallerWindow& window, DWORD milliseconds) {
  for (DWORD waited = 0; waited < milliseconds; waited += kPauseStepMs) {
    waits.Sleep(kPauseStepMs);
    AnswerWindow(window);
  }
}

// A box about what the removal leaves; the silent run asks nothing.
void TellWhatStays(const UninstallerState& state, const std::wstring& text) {
  if (state.IsSilent) return;
  state.services.seams.messageBox->Show(text, L"アンインストール", MB_OK | MB_ICONEXCLAMATION);
}

UINT CommandFileCodePage(const UninstallerState& state) {
  const auto& facts = state.services.windows.windows;
  return facts ? facts->CommandFileCodePage() : GetOEMCP();
}

const ICodePages& CodePagesOf(const UninstallerState& state) {
  const auto& facts = state.services.windows.windows;
  return facts ? facts->CodePages() : SystemCodePages();
}

// The command file's own folder, held from its making for as long as this
// program runs. Made for an end that does not come, it goes again with
// what it holds: the folder is this run's, new and closed to other users.
class CommandFolder {
 public:
  CommandFolder(std::wstring path, FileHandle handle)
      : path_(std::move(path)), handle_(std::move(handle)) {}
  CommandFolder(CommandFolder&& other) noexcept
      : path_(std::move(other.path_)), handle_(std::move(other.handle_)), kept_(other.kept_) {}
  CommandFolder& operator=(CommandFolder&&) = delete;
  ~CommandFolder() {
    if (handle_ && !kept_) SkipOnFailure([&] { RemoveHeldOwnFolder(handle_, path_); });
  }
  const std::wstring& Path() const { return path_; }
  HANDLE Handle() const { return handle_.Get(); }
  // The interpreter runs from it: it stays for the command file to remove.
  void Keep() { kept_ = true; }

 private:
  std::wstring path_;
  FileHandle handle_;
  bool kept_ = false;
};

// A rename made on the way to the end, undone when the end does not come.
class UndoneUnlessKept {
 public:
  explicit UndoneUnlessKept(std::function<void()> undo) : undo_(std::move(undo)) {}
  UndoneUnlessKept(const UndoneUnlessKept&) = delete;
  UndoneUnlessKept& operator=(const UndoneUnlessKept&) = delete;
  ~UndoneUnlessKept() {
    if (undo_) SkipOnFailure(undo_);
  }
  void Keep() { undo_ = nullptr; }

 private:
  std::function<void()> undo_;
};

// What the removal works through: the running program's own file, found
// through the judged folders it lies in (the install folder and "Uninst" in
// it), and the volume it lies on.
struct ProgramPlace {
  std::optional<RemovalRoot> root;
  // "Uninst" as its folder lists it, held for listing.
  FileHandle folder;
  std::wstring folderName, folderLies;
  std::optional<FileIdentity> folderIdentity;
  FileHandle file;
  std::wstring name;
  HandleFacts folderFacts;
  std::wstring volumeName;
};

StepResult<ProgramPlace> FindProgram(const UninstallerState& state,
                                     const std::wstring& installFolder) {
  const IFinalPaths& finalPaths = *state.services.finalPaths;
  const std::wstring program = LongPath(state.ProgramPath);
  const std::wstring folder = LongPath(state.ProgramFolder);
  ProgramPlace place;
  place.name = AfterLast(program, L'\\');
  if (program.empty() || folder.empty() || !SamePath(BeforeLast(program, L'\\'), folder)) {
    return StepError::Of(ERROR_BAD_PATHNAME, Trim(state.ProgramPath));
  }
  place.root.emplace(RemovalRoot::Open(installFolder, RemovalRoot::Kind::Tree, finalPaths));
  if (!*place.root) return *place.root->Refusal();
  if (place.root->IsLink()) {
    return StepError::Refusal(kErrorLinkOnTheWay, installFolder, Reason::FolderIsLink);
  }
  // Renames back into it must be admitted until the end: Windows' open of a
  // rename's target fails beside a handle of ours that holds DELETE.
  if (const StepDone listing = place.root->HoldForListingOnly(); !listing) return listing.Error();
  place.folderName = AfterLast(folder, L'\\');
  StepResult<HeldEntry> uninst =
      OpenListedIn(place.root->Handle(), place.root->Facts().lies, place.folderName,
                   kListingAccess, kRemovalSharing, EntryType::Folder);
  if (!uninst) return uninst.Error();
  if (!finalPaths.FactsOf(uninst->handle.Get(), place.folderFacts)) {
    return StepError::Last(uninst->path);
  }
  place.folderIdentity = IdentityOf(uninst->handle.Get());
  place.folder = std::move(uninst->handle);
  place.folderLies = uninst->path;
  place.volumeName = finalPaths.VolumeNameOf(place.folder.Get());
  // The program's file is held for its rename only: DELETE, and the sharing
  // the system's own image section of it leaves room for.
  StepResult<HeldEntry> file = OpenListedIn(place.folder.Get(), place.folderLies, place.name,
                                            kDeletingAccess, kRemovalSharing, EntryType::File);
  if (!file) return file.Error();
  place.file = std::move(file->handle);
  return place;
}

// Two folders lie on one volume, which the program's file can be renamed
// within: another serial number tells another volume, and so does another
// name where the system names both (cloned disks share serials).
bool OnOneVolume(const HandleFacts& a, const std::wstring& aName, const HandleFacts& b,
                 const std::wstring& bName) {
  if (a.volume != b.volume) return false;
  return aName.empty() || bName.empty() || SameName(aName, bName);
}

// The root of the volume a folder lies on ("D:\\", or a mounted folder).
std::wstring VolumeRootOf(const std::wstring& folder) {
  std::vector<wchar_t> root(folder.size() + 2);
  if (!GetVolumePathNameW(folder.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
    return L"";
  }
  return root.data();
}

// A volume's root takes the command file's folder only where no other
// account may rename what it holds: a folder there that another user renamed
// away, with one of theirs in its place, would give the elevated interpreter
// their lines to read. FAT32 and exFAT keep no lists at all.
StepDone RootKeepsOthersOut(IFolderAccess& access, const std::wstring& root) {
  StepResult<FileHandle> held = OpenByPath(root, READ_CONTROL, kShareAll, EntryType::Folder);
  if (!held) return held.Error();
  if (!access.KeepsLists(held->Get())) {
    return StepError::Refusal(ERROR_ACCESS_DENIED, root, Reason::VolumeKeepsNoLists);
  }
  const std::optional<FolderAccessList> list = access.ReadList(held->Get(), root);
  std::vector<BYTE> account = access.Account();
  if (!list || OthersMayDeleteWhatItHolds(*list, access.IsElevated(),
                                          account.empty() ? nullptr : account.data())) {
    return StepError::Refusal(ERROR_ACCESS_DENIED, root,
                              Reason::OthersMayDeleteInRoot);
  }
  return {};
}

// What the interpreter runs in: an environment of its own and the system
// folder as its current folder. The command file's lines name TIMEOUT, mshta
// and shutdown bare, which the interpreter looks for in its current folder,
// then along PATH with PATHEXT: the caller's would be the account's, which
// its unelevated programs may change (HKCU\Environment).
ProgramSurroundings InterpreterSurroundings(const std::wstring& temp) {
  wchar_t buffer[MAX_PATH + 1] = {};
  const UINT n = GetSystemWindowsDirectoryW(buffer, MAX_PATH + 1);
  const std::wstring windows(buffer, n > 0 && n <= MAX_PATH ? n : 0);
  const std::wstring system = SystemFolder();
  ProgramSurroundings surroundings;
  surroundings.currentFolder = system;
  surroundings.environment = {
      L"ComSpec=" + system + L"\\cmd.exe",
      L"PATH=" + system + L";" + windows + L";" + system + L"\\Wbem",
      L"PATHEXT=.COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH;.MSC",
      L"SystemRoot=" + windows,
      L"TEMP=" + temp,
      L"TMP=" + temp,
      L"windir=" + windows,
  };
  return surroundings;
}

// The names of "Uninst" that another run of the uninstaller needs: the
// record, and the font scripts for a font that stayed installed. They stay
// until nothing else of the product is left, all or none of them, so that a
// removal that stops partway leaves them whole.
const wchar_t* const kKeptForAnotherRun[] = {L"Setup.log", L"Remove-Font.ps1", L"Add-Font.ps1"};

bool KeptForAnotherRun(const std::wstring& name) {
  for (const wchar_t* kept : kKeptForAnotherRun) {
    if (SameName(name, kept)) return true;
  }
  return false;
}

// Lets the window answer after every entry and keeps the entries that are
// to go last.
class RemovalEvents final : public ITreeRemovalEvents {
 public:
  RemovalEvents(IUninstallerWindow& window, std::function<bool(const std::wstring&)> keep)
      : window_(window), keep_(std::move(keep)) {}
  EntryChoice Choose(const std::wstring& path) override {
    return keep_ && keep_(path) ? EntryChoice::Keep : EntryChoice::Remove;
  }
  void Done(const std::wstring&) override { AnswerWindow(window_); }

 private:
  IUninstallerWindow& window_;
  std::function<bool(const std::wstring&)> keep_;
};

// One try of a step, and whether another may do better.
struct Attempt {
  StepDone done;
  bool again = false;
};

// A step's own answer: tried again when it failed only for now (held, not
// yet empty, being changed).
Attempt OfStep(StepDone done) {
  const bool again = !done && done.Error().kind == StepError::Kind::Transient;
  return {std::move(done), again};
}

// A walk's answer: the first thing that stayed, tried again when the walk
// says something below may still go.
Attempt OfWalk(const TreeRemovalResult& below, const std::wstring& path) {
  if (below.Complete()) return {};
  return {below.first.value_or(StepError::Of(ERROR_RETRY, path)), below.retryable};
}

// A step tried again, a second apart, for as long as another try may do
// better, five times at most.
StepDone Retried(IWaits& waits, IUninstallerWindow& window,
                 const std::function<Attempt()>& step) {
  for (int retry = 1;; ++retry) {
    Attempt attempt = step();
    if (attempt.done || !attempt.again || retry > kRetries) return attempt.done;
    Pause(waits, window, kRetryPauseMs);
  }
}

// Done when the open `folder`, lying at `path`, lists only names `allowed`
// takes. A listing names what is still being deleted too (a file another
// program holds sharing deletes), which the folder's own delete would find.
StepDone ListsOnly(HANDLE folder, const std::wstring& path,
                   const std::function<bool(const std::wstring&)>& allowed) {
  std::vector<ListedEntry> entries;
  std::vector<LONGLONG> buffer;
  if (const StepDone listed = ListIn(folder, entries, buffer); !listed) {
    return listed.Error().At(path);
  }
  for (const ListedEntry& entry : entries) {
    if (!allowed(entry.name)) return StepError::Of(ERROR_DIR_NOT_EMPTY, JoinPath(path, entry.name));
  }
  return {};
}

// The install folder emptied and gone, tried again while anything in it may
// still go: what arrived since a walk goes on the next.
StepDone RemoveWholeFolder(RemovalRoot& root, IWaits& waits, IUninstallerWindow& window) {
  return Retried(waits, window, [&] {
    RemovalEvents events(window, nullptr);
    if (Attempt walked = OfWalk(root.RemoveContents(events), root.Path()); !walked.done) {
      return walked;
    }
    if (StepDone empty = ListsOnly(root.Handle(), root.Path(), [](const std::wstring&) {
          return false;
        });
        !empty) {
      return OfStep(std::move(empty));
    }
    return OfStep(root.Remove());
  });
}

}  // namespace

// The end of the removal: the program's file, "Uninst" with the record and
// the install folder go once everything else is gone, in an order that
// leaves the product removable by its registered uninstaller wherever
// Windows stops it, or gone. Everything it needs is had before the first
// removal step (Prepare); Finish runs once the steps are done.
//
// Where a folder of its own can be had on the program's volume (below the
// temporary folder, else in that volume's root), the program's file and
// then "Uninst" whole leave for it, the install folder goes, and only then
// what moved: until the install folder is gone both move back on any
// failure. On a volume that keeps no lists (FAT32, exFAT) no such folder
// exists, but no link can be made there either: names on it lead nowhere
// else, so the command file, from its folder below the temporary folder,
// deletes the program's file by its name once the program ended and
// removes the two emptied folders after it.
class RemovalEnd {
 public:
  explicit RemovalEnd(UninstallerState& state) : state_(state) {}

  // False when the end cannot be had; the user has been told why.
  bool Prepare() {
    installFolder_ = CheckedInstallFolder(state_);
    if (!installFolder_) {
      Tell(IsBlank(state_.AppDir)
               ? std::wstring(L"インストール先フォルダが記録されていないため、アンインストールできません。")
               : L"インストール先フォルダ(" + Trim(state_.AppDir) +
                     L")はこのプログラムのインストール先と一致しないため削除しません。");
      return false;
    }
    // Neither this program nor the interpreter may keep the install folder
    // as its current folder.
    SetCurrentDirectoryW(L"C:\\");
    StepResult<ProgramPlace> place = FindProgram(state_, *installFolder_);
    if (!place) {
      return NotReady(L"アンインストーラー(" + Trim(state_.ProgramPath) + L")の場所を確認できない",
                      place.Error());
    }
    place_ = std::move(*place);
    temp_ = PrivateFolderParent(*state_.services.windows.folderAccess,
                                Trim(ReplaceFolderMacros(state_, L"{tmp}")));
    const std::wstring cannotWrite =
        L"一時フォルダに削除用のファイル(" + std::wstring(kDeleteMeFileName) + L")を作成できない";
    if (const StepDone made = MakeCommandFolder(); !made) return NotReady(cannotWrite, made.Error());
    const std::wstring file = JoinPath(folder_->Path(), kDeleteMeFileName);
    commandLine_ = DeleteMeCmdCommandLine(file);
    if (commandLine_.empty() || !CommandFileText(false)) {
      return NotReady(cannotWrite,
                      StepError::Refusal(ERROR_INVALID_NAME, file, Reason::NotWritableInCommandFile));
    }
    return true;
  }

  // The end itself, once the removal's steps are done; restart:
  // "今すぐに再起動(Y)" is selected. The state's Exit says how it ended.
  void Finish(bool restart) {
    state_.Exit = UninstallExit::Unfinished;
    if (!ValueOrOnFailure(false, [&] { return FinishStages(restart); })) {
      StopInterpreter();
      // Whatever moved is back by now, and what was made for the end goes;
      // "Uninst" that could not come back stays where it is, record and all.
      if (movedAway_ && folder_) folder_->Keep();
      folder_.reset();
      if (told_.empty()) {
        told_ = L"アンインストールを完了できませんでした。\r\nもう一度アンインストールしてください。";
      }
    }
    if (!told_.empty()) TellNow(told_);
  }

 private:
  enum class Way { MoveOut, InPlace };

  IWaits& Waits() { return *state_.services.windows.waits; }
  IUninstallerWindow& Window() { return *state_.window; }
  RemovalRoot& Root() { return *place_.root; }
  std::wstring InstallFolderText() const { return L"インストール先フォルダ(" + *installFolder_ + L")"; }

  void TellNow(const std::wstring& text) const { TellWhatStays(state_, text); }
  void Tell(const std::wstring& text) {
    state_.Exit = UninstallExit::NothingRemoved;
    TellNow(text);
  }
  bool NotReady(const std::wstring& because, const StepError& error) {
    Tell(because + L"ため、" + InstallFolderText() + L"は削除しません。\r\n" + error.Text());
    return false;
  }

  // Before anything of the install folder went: it stays whole, and so does
  // the record with the Uninstall entry, for another run.
  bool CannotRemove(const std::wstring& because, const StepError& error) {
    told_ = because + L"ため、" + InstallFolderText() + L"は削除しません。\r\n" + error.Text();
    return false;
  }
  // After the rest went: "Uninst" stays whole with the program's file in it,
  // so that the registered uninstaller, run again, ends the removal.
  bool Unfinished(const std::wstring& because, const StepError& error) {
    told_ = because + L"ため、アンインストールを完了できませんでした。\r\n" + error.Text() +
            L"\r\nもう一度アンインストールしてください。";
    return false;
  }
  bool Stayed(const StepError& error) {
    told_ = InstallFolderText() +
            L"に削除できないファイルがあるため、アンインストールを完了できませんでした。\r\n" +
            error.Text() +
            L"\r\nファイルを使っているプログラムを終了してから、もう一度アンインストールしてください。";
    return false;
  }

  // A new folder with a list for this run in `parent`, held from its making;
  // sameVolume: it must lie on the program file's volume, which that file is
  // renamed within.
  StepDone MakeCommandFolderIn(const std::wstring& parent, const FolderAccessList& list,
                               bool sameVolume) {
    StepResult<HeldEntry> made =
        MakePrivateFolder(*state_.services.windows.folderAccess, parent, L"Dekant00-", list);
    if (!made) return made.Error();
    CommandFolder folder(made->path, std::move(made->handle));
    if (sameVolume) {
      HandleFacts facts;
      if (!state_.services.finalPaths->FactsOf(folder.Handle(), facts)) {
        return StepError::Last(folder.Path());
      }
      if (!OnOneVolume(facts, state_.services.finalPaths->VolumeNameOf(folder.Handle()),
                       place_.folderFacts, place_.volumeName)) {
        return StepError::Of(ERROR_NOT_SAME_DEVICE, parent);
      }
    }
    folder_.emplace(std::move(folder));
    return {};
  }

  // The command file's folder: below the temporary folder where that lies on
  // the program file's volume, else in that volume's root where the root
  // keeps other accounts out, whatever kept the temporary folder from it
  // (another volume, a folder that is missing or a link). A volume without
  // lists takes its folder below the temporary folder wherever that lies.
  StepDone MakeCommandFolder() {
    IFolderAccess& access = *state_.services.windows.folderAccess;
    const std::optional<FolderAccessList> list =
        FolderAccessListForThisRun(access, GuardedFolder::kPrivateFolder);
    if (!list) return StepError::Of(ERROR_INVALID_SECURITY_DESCR, temp_);
    StepDone inTemp = temp_.empty() ? StepDone(StepError::Of(ERROR_PATH_NOT_FOUND, L"%TEMP%"))
                                    : MakeCommandFolderIn(temp_, *list, true);
    if (inTemp) return inTemp;
    const std::wstring root = VolumeRootOf(place_.folderFacts.lies);
    if (root.empty()) return inTemp;
    const StepDone guarded = RootKeepsOthersOut(access, root);
    if (guarded) {
      const StepDone inRoot = MakeCommandFolderIn(root, *list, true);
      return inRoot ? inRoot : inTemp;
    }
    if (guarded.Error().reason == Reason::VolumeKeepsNoLists && !temp_.empty() &&
        MakeCommandFolderIn(temp_, *list, false)) {
      way_ = Way::InPlace;
      return {};
    }
    return inTemp.Error().code == ERROR_NOT_SAME_DEVICE ? guarded : inTemp;
  }

  // The command file's bytes. Moved out, the program's file lies in the
  // command file's folder, and the file watches the install folder go where
  // it can name it exactly (it tells the user only). In place, it deletes
  // the program's file where it lies and removes "Uninst" and the install
  // folder by name, which it must then name exactly.
  std::optional<std::string> CommandFileText(bool restart) const {
    const UINT codePage = CommandFileCodePage(state_);
    const ICodePages& pages = CodePagesOf(state_);
    const bool tell = !state_.IsSilent;
    if (way_ == Way::InPlace) {
      const std::wstring uninst = JoinPath(*installFolder_, place_.folderName);
      return BuildDeleteMeCmd(JoinPath(uninst, place_.name), *installFolder_, restart, codePage,
                              pages, {uninst, *installFolder_}, tell);
    }
    const std::wstring program = JoinPath(folder_->Path(), place_.name);
    std::optional<std::string> bytes =
        BuildDeleteMeCmd(program, *installFolder_, restart, codePage, pages, {}, tell);
    if (!bytes) bytes = BuildDeleteMeCmd(program, L"", restart, codePage, pages, {}, tell);
    return bytes;
  }

  bool FinishStages(bool restart) {
    const std::wstring file = JoinPath(folder_->Path(), kDeleteMeFileName);
    const std::optional<std::string> bytes = CommandFileText(restart);
    if (!bytes || !WriteDeleteMeCmd(folder_->Handle(), *bytes)) {
      return CannotRemove(L"一時フォルダに削除用のファイル(" + std::wstring(kDeleteMeFileName) +
                              L")を作成できない",
                          bytes ? StepError::Last(file)
                                : StepError::Refusal(ERROR_INVALID_NAME, file,
                                                     Reason::NotWritableInCommandFile));
    }
    // Started before anything is deleted and let run afterwards: an
    // interpreter that cannot start (a policy against it) leaves the
    // install folder whole. Where it cannot be held in a job of its own,
    // it would stay held for good should this program die: it is started
    // once the program's file has moved instead.
    if (const StepDone started = StartInterpreter(true); !started) {
      return CannotRemove(L"削除用のファイル(" + std::wstring(kDeleteMeFileName) + L")を実行できない",
                          started.Error());
    }
    if (const StepDone rest = RemoveAllButUninst(); !rest) return Stayed(rest.Error());
    return way_ == Way::InPlace ? EndInPlace() : EndMovedOut();
  }

  // Everything but "Uninst", until a listing finds nothing else there.
  StepDone RemoveAllButUninst() {
    const auto isUninst = [&](const std::wstring& name) { return SameName(name, place_.folderName); };
    return Retried(Waits(), Window(), [&] {
      RemovalEvents events(Window(), [&](const std::wstring& path) {
        return isUninst(AfterLast(path, L'\\'));
      });
      if (Attempt walked = OfWalk(Root().RemoveContents(events), Root().Path()); !walked.done) {
        return walked;
      }
      return OfStep(ListsOnly(Root().Handle(), Root().Path(), isUninst));
    });
  }

  // "Uninst" held with DELETE from now on, emptied of everything but `kept`
  // and the names another run needs, until a listing finds nothing else.
  StepDone TidyUninst(const std::function<bool(const std::wstring&)>& kept) {
    place_.folder.Reset();
    return Retried(Waits(), Window(), [&] {
      if (!uninst_) {
        StepResult<RemovalBranch> opened =
            RemovalBranch::Open(Root(), place_.folderName, place_.folderIdentity);
        if (!opened) return OfStep(opened.Error());
        uninst_.emplace(std::move(*opened));
      }
      RemovalEvents events(Window(), [&](const std::wstring& path) {
        return kept(AfterLast(path, L'\\'));
      });
      if (Attempt walked = OfWalk(uninst_->RemoveContents(events), uninst_->Path());
          !walked.done) {
        return walked;
      }
      return OfStep(ListsOnly(uninst_->Handle(), uninst_->Path(), kept));
    });
  }

  bool EndMovedOut() {
    const StepDone left = Retried(Waits(), Window(), [&] {
      return OfStep(RenameInto(place_.file.Get(), folder_->Handle(), place_.name, false));
    });
    if (!left) {
      return Unfinished(
          L"アンインストーラー(" + Trim(state_.ProgramPath) + L")を一時フォルダに移動できない",
          left.Error().At(Trim(state_.ProgramPath)));
    }
    UndoneUnlessKept programBack([&] { MoveProgramBack(); });
    if (!StartedLate()) return false;
    const std::vector<std::wstring> kept(std::begin(kKeptForAnotherRun),
                                         std::end(kKeptForAnotherRun));
    // Windows renames no folder with a file open below it; the files are
    // asked for themselves as well, since Wine would.
    StepDone out = TidyUninst(KeptForAnotherRun);
    if (out) {
      out = Retried(Waits(), Window(), [&] {
        if (StepDone free = uninst_->NoOtherHolds(kept); !free) return OfStep(std::move(free));
        return OfStep(uninst_->MoveInto(folder_->Handle(), folder_->Path()));
      });
    }
    if (!out) return Stayed(out.Error());
    movedAway_ = true;
    UndoneUnlessKept uninstBack([&] { MoveUninstBack(); });
    if (const StepDone gone = RemoveWholeFolder(Root(), Waits(), Window()); !gone) {
      return Stayed(gone.Error());
    }
    // The install folder is gone: nothing of the product is left to run
    // again, and what moved goes from the command file's folder.
    uninstBack.Keep();
    programBack.Keep();
    RemovalEvents events(Window(), nullptr);
    if (uninst_->RemoveContents(events).Complete()) uninst_->Remove();
    uninst_.reset();
    return Ended();
  }

  bool EndInPlace() {
    const std::vector<std::wstring> kept(std::begin(kKeptForAnotherRun),
                                         std::end(kKeptForAnotherRun));
    StepDone last = TidyUninst([&](const std::wstring& name) {
      return KeptForAnotherRun(name) || SameName(name, place_.name);
    });
    if (last && !StartedLate()) return false;
    // The names another run needs go all or none, held alone while they go:
    // past them the command file finishes what stays.
    if (last) {
      last = Retried(Waits(), Window(), [&] { return OfStep(uninst_->RemoveTogether(kept)); });
    }
    if (!last) return Stayed(last.Error());
    // The command file removes the folders once they are let go.
    uninst_.reset();
    place_.file.Reset();
    place_.root.reset();
    return Ended();
  }

  // The interpreter that could not be held in a job, started once nothing
  // is left to undo before the record goes.
  bool StartedLate() {
    if (interpreter_) return true;
    if (const StepDone started = StartInterpreter(false); !started) {
      return Unfinished(L"削除用のファイル(" + std::wstring(kDeleteMeFileName) + L")を実行できない",
                        started.Error());
    }
    return true;
  }

  bool Ended() {
    folder_->Keep();
    // The product leaves the list of installed programs only once nothing
    // of it stays there to be found by hand.
    RemoveUninstallEntry(state_);
    state_.Exit = UninstallExit::Gone;
    state_.window->DoEvents();
    // An interpreter that stays held would keep its folder for good.
    if (interpreter_->Held() && !interpreter_->LetRun()) interpreter_->Stop();
    return true;
  }

  // held: before the move, in a job that ends it with this program; a start
  // that can have no such job is undone and made after the move instead.
  StepDone StartInterpreter(bool held) {
    const std::wstring interpreter = SystemFolder() + L"\\cmd.exe";
    std::optional<HeldProgram> started = state_.services.windows.starts->StartHeld(
        interpreter, commandLine_, SW_SHOWMINIMIZED, InterpreterSurroundings(temp_));
    if (!started) return StepError::Last(interpreter);
    if (held && started->Held() && !started->EndsWithItsStarter()) {
      started->Stop();
      return {};
    }
    interpreter_ = std::move(started);
    if (!held && interpreter_->Held() && !interpreter_->LetRun()) {
      const StepError error = StepError::Last(interpreter);
      StopInterpreter();
      return error;
    }
    return {};
  }

  void StopInterpreter() {
    if (interpreter_) interpreter_->Stop();
    interpreter_.reset();
  }

  // "Uninst" back into the install folder, which is held for listing only
  // (a handle of ours on it with DELETE would refuse Windows' own open of
  // the rename's target).
  void MoveUninstBack() {
    const StepDone back = Retried(Waits(), Window(), [&] {
      if (const StepDone listing = Root().HoldForListingOnly(); !listing) return OfStep(listing);
      return OfStep(uninst_->MoveInto(Root().Handle(), Root().Path()));
    });
    if (!back) return;
    uninst_.reset();
    movedAway_ = false;
  }

  // The program's file back where the registered uninstaller is looked for:
  // into "Uninst" opened again for the rename, when it is the one it left.
  void MoveProgramBack() {
    // "Uninst" itself stayed away: the file stays beside it.
    if (movedAway_) return;
    uninst_.reset();
    FileHandle none;
    const StepResult<FileHandle> uninst =
        OpenAgain(none, Root().Handle(), place_.folderName, kListingAccess, kRemovalSharing,
                  EntryType::Folder, {place_.folderIdentity});
    if (!uninst) return;
    Retried(Waits(), Window(), [&] {
      return OfStep(RenameInto(place_.file.Get(), uninst->Get(), place_.name, false));
    });
  }

  UninstallerState& state_;
  std::optional<std::wstring> installFolder_;
  std::wstring temp_;
  ProgramPlace place_;
  Way way_ = Way::MoveOut;
  std::optional<CommandFolder> folder_;
  std::wstring commandLine_;
  std::optional<HeldProgram> interpreter_;
  std::optional<RemovalBranch> uninst_;
  std::wstring told_;
  // "Uninst" lies in the command file's folder.
  bool movedAway_ = false;
};

StepDone RemoveInstallFolder(const std::wstring& installFolder, IWaits& waits,
                             IUninstallerWindow& window) {
  try {
    RemovalRoot root = RemovalRoot::Open(installFolder, RemovalRoot::Kind::Tree);
    if (!root) return *root.Refusal();
    if (root.IsLink()) {
      return StepError::Refusal(ERROR_ACCESS_DENIED, installFolder, Reason::FolderIsLink);
    }
    return RemoveWholeFolder(root, waits, window);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(installFolder);
  }
}

std::optional<std::string> BuildDeleteMeCmd(const std::wstring& programPath,
                                            const std::wstring& installFolder, bool restart,
                                            UINT codePage, const ICodePages& pages,
                                            const std::vector<std::wstring>& emptiedFolders,
                                            bool tellWhatStays) {
  const std::wstring program = Trim(programPath);
  const std::wstring folder = Trim(installFolder);
  std::vector<Line> lines = {
      Fixed(L"echo off"),
      Fixed(L"setlocal DisableDelayedExpansion"),
      Fixed(L"set i=1"),
      Fixed(L":Lbl0"),
      {{L"echo [", false}, {Echoed(program), true}, {L"]を削除しています [%i%回目]", false}},
      {{L"DEL ", false}, {Quoted(program), true}},
      {{L"IF NOT EXIST ", false}, {Quoted(program), true}, {L" GOTO Lbl1", false}},
      Fixed(L"set /a i+=1"),
      Fixed(L"TIMEOUT /T 1"),
      Fixed(L"if %i% leq 5 goto Lbl0"),
      Fixed(L":Lbl1"),
      Fixed(L"set i=1"),
  };
  if (!folder.empty()) {
    const std::wstring q = L"\"";
    lines.push_back(Fixed(L":Lbl2"));
    lines.push_back(
        {{L"echo [", false}, {Echoed(folder), true}, {L"]を削除しています [%i%回目]", false}});
    // What a tree delete by name would do here could be done to whatever
    // another user put under that name since: only folders the program
    // emptied are removed, each alone and only when empty, and the user is
    // told when the install folder is still there.
    for (const std::wstring& emptied : emptiedFolders) {
      lines.push_back({{L"RD ", false}, {Quoted(Trim(emptied)), true}, {L" 2>nul", false}});
    }
    std::vector<Line> folderLines = {
        {{L"IF NOT EXIST ", false}, {Quoted(folder + L"\\"), true}, {L" GOTO Lbl3", false}},
        Fixed(L"set /a i+=1"),
        Fixed(L"TIMEOUT /T 1"),
        Fixed(L"if %i% leq 5 goto Lbl2"),
    };
    if (tellWhatStays) {
      folderLines.push_back(
          {{L"mshta vbscript:execute(" + q + L"MsgBox(" + q + q + L"フォルダ(", false},
           {ReplaceAll(folder, L"%", L"%%"), true},
           {L")を削除できませんでした！" + q + q + L"):close" + q + L")", false}});
    }
    folderLines.push_back(Fixed(L":Lbl3"));
    lines.insert(lines.end(), folderLines.begin(), folderLines.end());
  }
  if (restart) lines.push_back(Fixed(L"shutdown -r -t 1"));
  lines.push_back(Fixed(L"TIMEOUT /T 1"));
  // The interpreter reads the file anew for every line, so the file and its
  // folder go on one line, which is read whole before either is deleted.
  // Where the interpreter keeps the file open to its end (Wine's) the
  // folder cannot go yet: the command line removes it once the file is
  // done, which /B lets it go on to.
  lines.push_back(Fixed(L"DEL \"%~f0\" & RD \"%~dp0\" 2>nul & EXIT /B"));

  std::string bytes;
  for (const Line& line : lines) {
    for (const Piece& piece : line) {
      const std::optional<std::string> encoded = ToOem(piece.text, piece.exact, codePage, pages);
      if (!encoded) return std::nullopt;
      bytes += *encoded;
    }
    bytes += "\r\n";
  }
  return bytes;
}

std::wstring DeleteMeCmdCommandLine(const std::wstring& file) {
  return ValueOrOnFailure(std::wstring(), [&] {
    // On the command line "%" would be expanded and a quote would end the
    // path early; neither can be escaped there.
    if (file.find_first_of(L"%\"") != std::wstring::npos || file.find(L'\\') == std::wstring::npos) {
      return std::wstring();
    }
    const std::wstring folder = BeforeLast(file, L'\\');
    // /D: an AutoRun command of the registry (a "chcp 65001") would run
    // first and change how the file's lines are read. /S: the outer quotes
    // are the only ones taken away.
    return L"\"" + SystemFolder() + L"\\cmd.exe\" /D /S /C \"\"" + file + L"\" & RD \"" + folder +
           L"\" 2>nul\"";
  });
}

bool WriteDeleteMeCmd(HANDLE folder, const std::string& bytes) {
  return ValueOrOnFailure(false, [&] {
    // Never into a file that someone else put there first.
    const StepResult<FileHandle> file =
        CreateIn(folder, kDeleteMeFileName, GENERIC_WRITE, FILE_SHARE_READ, EntryType::File);
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file->Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
  });
}

bool PrepareRemovalEnd(UninstallerState& state) {
  state.Exit = UninstallExit::NothingRemoved;
  state.removalEnd.reset();
  return ValueOrOnFailure(false, [&] {
    auto end = std::make_shared<RemovalEnd>(state);
    if (!end->Prepare()) return false;
    state.removalEnd = std::move(end);
    return true;
  });
}

void MakeDeleteMeCmd(UninstallerState& state, bool restart, forms::IProgramEnd& programEnd) {
  SkipOnFailure([&] {
    if (!state.removalEnd && !PrepareRemovalEnd(state)) return;
    const std::shared_ptr<RemovalEnd> end = std::move(state.removalEnd);
    end->Finish(restart);
  });
  programEnd.End(static_cast<int>(state.Exit));
}

}  // namespace norvale
