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

// The command file's own folder, held for as long as this program runs.
struct CommandFolder {
  std::wstring path;
  FileHandle handle;
};

// What the removal works through: the running program's own file, found
// through the judged folders it lies in (the install folder and "Uninst"
// in it, or without a checked install folder, the program's own folder),
// and the volume it lies on.
struct ProgramPlace {
  std::optional<RemovalRoot> root;
  // "Uninst" as its folder lists it, held for listing; none when root is
  // the program's own folder.
  FileHandle folder;
  std::wstring folderName, folderLies;
  std::optional<FileIdentity> folderIdentity;
  FileHandle file;
  std::wstring name;
  HandleFacts folderFacts;
  std::wstring volumeName;
};

StepResult<ProgramPlace> FindProgram(const UninstallerState& state,
                                     const std::optional<std::wstring>& installFolder) {
  const IFinalPaths& finalPaths = *state.services.finalPaths;
  const std::wstring program = LongPath(state.ProgramPath);
  const std::wstring folder = LongPath(state.ProgramFolder);
  ProgramPlace place;
  place.name = AfterLast(program, L'\\');
  if (program.empty() || folder.empty() || !SamePath(BeforeLast(program, L'\\'), folder)) {
    return StepError::Of(ERROR_BAD_PATHNAME, Trim(state.ProgramPath));
  }
  // The program's file is held for its rename only: DELETE, and the sharing
  // the system's own image section of it leaves room for.
  HANDLE in = nullptr;
  std::wstring inPath;
  if (installFolder) {
    place.root.emplace(RemovalRoot::Open(*installFolder, RemovalRoot::Kind::Tree, finalPaths));
    if (!*place.root) return *place.root->Refusal();
    if (place.root->IsLink()) {
      return StepError::Refusal(kErrorLinkOnTheWay, *installFolder, Reason::FolderIsLink);
    }
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
    in = place.folder.Get();
    inPath = place.folderLies;
  } else {
    place.root.emplace(RemovalRoot::Open(folder, RemovalRoot::Kind::Contents, finalPaths));
    if (!*place.root) return *place.root->Refusal();
    place.folderFacts = place.root->Facts();
    in = place.root->Handle();
    inPath = place.root->Facts().lies;
  }
  place.volumeName = finalPaths.VolumeNameOf(in);
  StepResult<HeldEntry> file =
      OpenListedIn(in, inPath, place.name, kDeletingAccess, kRemovalSharing, EntryType::File);
  if (!file) return file.Error();
  place.file = std::move(file->handle);
  return place;
}

// What was made for a command file that will not run, through the folder's
// own handle: the folder is this run's, new and closed to other users, and
// holds at most the command file (the program's file leaves for it last).
void DiscardCommandFolder(CommandFolder& folder) {
  if (folder.handle) RemoveHeldOwnFolder(folder.handle, folder.path);
  folder.handle.Reset();
}

// Two folders lie on one volume, which the program's file can be renamed
// within: another serial number tells another volume, and so does another
// name where the system names both (cloned disks share serials).
bool OnOneVolume(const HandleFacts& a, const std::wstring& aName, const HandleFacts& b,
                 const std::wstring& bName) {
  if (a.volume != b.volume) return false;
  return aName.empty() || bName.empty() || SameName(aName, bName);
}

// A new folder with a list for this run in `parent`, held from its making;
// it must lie on the program file's volume, which the program's file is
// renamed within. Nothing when it could not be made so (what was made goes
// again).
StepResult<CommandFolder> MakeCommandFolderIn(UninstallerState& state, const std::wstring& parent,
                                              const FolderAccessList& list,
                                              const ProgramPlace& program) {
  StepResult<HeldEntry> made =
      MakePrivateFolder(*state.services.windows.folderAccess, parent, L"Dekant00-", list);
  if (!made) return made.Error();
  CommandFolder folder{made->path, std::move(made->handle)};
  HandleFacts facts;
  if (!state.services.finalPaths->FactsOf(folder.handle.Get(), facts)) {
    const StepError error = StepError::Last(folder.path);
    DiscardCommandFolder(folder);
    return error;
  }
  if (!OnOneVolume(facts, state.services.finalPaths->VolumeNameOf(folder.handle.Get()),
                   program.folderFacts, program.volumeName)) {
    DiscardCommandFolder(folder);
    return StepError::Of(ERROR_NOT_SAME_DEVICE, parent);
  }
  return folder;
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

// The command file's folder, on the program file's volume: the run's
// temporary folder when it lies there, else that volume's root where that
// keeps other accounts out.
StepResult<CommandFolder> MakeCommandFolder(UninstallerState& state, const std::wstring& temp,
                                            const ProgramPlace& program) {
  IFolderAccess& access = *state.services.windows.folderAccess;
  const std::optional<FolderAccessList> list =
      FolderAccessListForThisRun(access, GuardedFolder::kPrivateFolder);
  if (!list) return StepError::Of(ERROR_INVALID_SECURITY_DESCR, temp);
  if (temp.empty()) return StepError::Of(ERROR_PATH_NOT_FOUND, L"%TEMP%");
  StepResult<CommandFolder> inTemp = MakeCommandFolderIn(state, temp, *list, program);
  if (inTemp || inTemp.Error().code != ERROR_NOT_SAME_DEVICE) return inTemp;
  const std::wstring root = VolumeRootOf(program.folderFacts.lies);
  if (root.empty()) return StepError::Last(program.folderFacts.lies);
  if (const StepDone guarded = RootKeepsOthersOut(access, root); !guarded) {
    return guarded.Error();
  }
  return MakeCommandFolderIn(state, root, *list, program);
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
// record, and the font scripts for a font that stayed installed. They go
// after everything else there, all or none of them, so that a removal that
// stops partway leaves them whole; the record, first here, goes last.
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

// A step tried again, a second apart, for as long as it fails only for now
// (held, not yet empty, being changed), five times at most.
StepDone Retried(IWaits& waits, IUninstallerWindow& window, const std::function<StepDone()>& step) {
  for (int retry = 1;; ++retry) {
    StepDone done = step();
    if (done || done.Error().kind != StepError::Kind::Transient || retry > kRetries) return done;
    Pause(waits, window, kRetryPauseMs);
  }
}

// A walk's answer as one step's: the first thing that stayed, retried when
// something below may still go.
StepDone WalkDone(const TreeRemovalResult& below, const std::wstring& path) {
  if (below.Complete()) return {};
  StepError stayed = below.first.value_or(StepError::Of(ERROR_RETRY, path));
  if (below.retryable) stayed.kind = StepError::Kind::Transient;
  return stayed;
}

// The program's last steps, in the order that leaves a removal Windows
// stops partway removable again: the command file and its interpreter
// ready, everything of the install folder but "Uninst" gone, the
// program's own file moved out, then "Uninst" with the record last and the
// install folder itself. Until the install folder is gone the Uninstall
// entry stays; whatever stayed is said, and "Uninst" stays whole with the
// program's file in it.
class LastSteps {
 public:
  LastSteps(UninstallerState& state, bool restart) : state_(state), restart_(restart) {}

  void Run() {
    const std::wstring temp = ReplaceFolderMacros(state_, L"{tmp}");
    installFolder_ = CheckedInstallFolder(state_);
    if (!installFolder_ && !IsBlank(state_.AppDir)) {
      TellWhatStays(state_, L"インストール先フォルダ(" + Trim(state_.AppDir) +
                                L")はこのプログラムのインストール先と一致しないため削除しません。");
    }
    // Neither this program nor the interpreter may keep the install folder
    // as its current folder.
    SetCurrentDirectoryW(L"C:\\");
    stays_ = installFolder_ ? L"インストール先フォルダ(" + *installFolder_ + L")"
                            : L"アンインストーラー(" + Trim(state_.ProgramPath) + L")";
    StepResult<ProgramPlace> place = FindProgram(state_, installFolder_);
    if (!place) {
      return CannotRemove(
          L"アンインストーラー(" + Trim(state_.ProgramPath) + L")の場所を確認できない",
          place.Error());
    }
    place_ = std::move(*place);
    const std::wstring parent =
        PrivateFolderParent(*state_.services.windows.folderAccess, Trim(temp));
    if (const StepDone written = WriteCommandFile(parent); !written) {
      return CannotRemove(L"一時フォルダに削除用のファイル(" + std::wstring(kDeleteMeFileName) +
                              L")を作成できない",
                          written.Error());
    }
    // Started before anything is deleted and let run afterwards: an
    // interpreter that cannot start (a policy against it) leaves the
    // install folder whole. Where it cannot be held in a job of its own,
    // it would stay held for good should this program die: it is started
    // once the program's file has moved instead.
    if (const StepDone started = StartInterpreter(parent, true); !started) {
      DiscardCommandFolder(folder_);
      return CannotRemove(L"削除用のファイル(" + std::wstring(kDeleteMeFileName) + L")を実行できない",
                          started.Error());
    }
    if (installFolder_) {
      const StepDone rest = Retried(Waits(), Window(), [&] { return RemoveAllButUninst(); });
      if (!rest) return Stayed(rest.Error());
      if (const StepDone held = place_.root->HoldForRemoval(); !held) return Stayed(held.Error());
    }
    // The running program's file may be renamed within its volume: it
    // leaves for the command file's folder, where the interpreter deletes it
    // once this program has ended.
    const StepDone left = Retried(Waits(), Window(), [&] {
      return RenameInto(place_.file.Get(), folder_.handle.Get(), place_.name, false);
    });
    if (!left) {
      StopInterpreter();
      DiscardCommandFolder(folder_);
      return CannotRemove(
          L"アンインストーラー(" + Trim(state_.ProgramPath) + L")を一時フォルダに移動できない",
          left.Error().At(Trim(state_.ProgramPath)));
    }
    moved_ = true;
    if (!interpreter_) {
      if (const StepDone started = StartInterpreter(parent, false); !started) {
        MoveBack();
        DiscardCommandFolder(folder_);
        return CannotRemove(
            L"削除用のファイル(" + std::wstring(kDeleteMeFileName) + L")を実行できない",
            started.Error());
      }
    }
    if (installFolder_) {
      if (const StepDone removed = RemoveUninstAndInstallFolder(); !removed) {
        return Stayed(removed.Error());
      }
    }
    // The product leaves the list of installed programs only once nothing
    // of it stays there to be found by hand.
    RemoveUninstallEntry(state_);
    state_.window->DoEvents();
    // An interpreter that stays held would keep its folder for good.
    if (interpreter_->Held() && !interpreter_->LetRun()) interpreter_->Stop();
  }

 private:
  IWaits& Waits() { return *state_.services.windows.waits; }
  IUninstallerWindow& Window() { return *state_.window; }

  // Without the command file to delete the program's file, or without that
  // file moved out of the way, nothing is deleted: the folder stays whole,
  // "Setup.log" and the Uninstall entry with it, for another run. The user
  // hears which of them failed.
  void CannotRemove(const std::wstring& because, const StepError& error) {
    TellWhatStays(state_, because + L"ため、" + stays_ + L"は削除しません。\r\n" + error.Text());
  }

  // Something of the install folder stays (a file a running program holds):
  // "Uninst" stays with the program's file in it and the record, so that the
  // registered uninstaller, run again once it is let go, ends the removal.
  void Stayed(const StepError& error) {
    MoveBack();
    StopInterpreter();
    DiscardCommandFolder(folder_);
    TellWhatStays(state_, L"インストール先フォルダ(" + *installFolder_ +
                              L")に削除できないファイルがあるため、アンインストールを完了できませんでした。\r\n" +
                              error.Text() +
                              L"\r\nファイルを使っているプログラムを終了してから、もう一度アンインストールしてください。");
  }

  StepDone WriteCommandFile(const std::wstring& parent) {
    StepResult<CommandFolder> folder = MakeCommandFolder(state_, parent, place_);
    if (!folder) return folder.Error();
    folder_ = std::move(*folder);
    const std::wstring file = JoinPath(folder_.path, kDeleteMeFileName);
    const std::optional<std::string> bytes =
        BuildDeleteMeCmd(JoinPath(folder_.path, place_.name), installFolder_.value_or(L""),
                         restart_, CommandFileCodePage(state_), CodePagesOf(state_));
    commandLine_ = DeleteMeCmdCommandLine(file);
    if (!bytes || commandLine_.empty()) {
      DiscardCommandFolder(folder_);
      return StepError::Refusal(ERROR_INVALID_NAME, file, Reason::NotWritableInCommandFile);
    }
    if (!WriteDeleteMeCmd(folder_.handle.Get(), *bytes)) {
      const StepError error = StepError::Last(file);
      DiscardCommandFolder(folder_);
      return error;
    }
    return {};
  }

  // held: before the move, in a job that ends it with this program; a start
  // that can have no such job is undone and made after the move instead.
  StepDone StartInterpreter(const std::wstring& temp, bool held) {
    const std::wstring interpreter = SystemFolder() + L"\\cmd.exe";
    std::optional<HeldProgram> started = state_.services.windows.starts->StartHeld(
        interpreter, commandLine_, SW_SHOWMINIMIZED, InterpreterSurroundings(temp));
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

  bool IsUninst(const std::wstring& path) const {
    return SamePath(path, JoinPath(place_.root->Path(), place_.folderName));
  }

  StepDone RemoveAllButUninst() {
    RemovalEvents events(Window(), [&](const std::wstring& path) { return IsUninst(path); });
    return WalkDone(place_.root->RemoveContents(events), place_.root->Path());
  }

  // "Uninst" once the program's file left it: held with DELETE from now on
  // (nobody may make it their current folder meanwhile), emptied but for
  // what another run needs, then those, the record last, then the folder
  // and the install folder.
  StepDone RemoveUninstAndInstallFolder() {
    place_.folder.Reset();
    StepResult<RemovalBranch> uninst =
        RemovalBranch::Open(*place_.root, place_.folderName, place_.folderIdentity);
    if (!uninst) return uninst.Error();
    uninst_.emplace(std::move(*uninst));
    const std::vector<std::wstring> kept(std::begin(kKeptForAnotherRun),
                                         std::end(kKeptForAnotherRun));
    const StepDone removed = Retried(Waits(), Window(), [&] {
      RemovalEvents events(Window(), [&](const std::wstring& entry) {
        return KeptForAnotherRun(AfterLast(entry, L'\\'));
      });
      const StepDone emptied = WalkDone(uninst_->RemoveContents(events), uninst_->Path());
      return emptied ? uninst_->RemoveTogether(kept) : emptied;
    });
    if (!removed) return removed;
    const StepDone folder = uninst_->Remove();
    uninst_.reset();
    if (!folder) return folder;
    return Retried(Waits(), Window(), [&] { return place_.root->Remove(); });
  }

  // The program's file back where the registered uninstaller is looked for,
  // once it left: into "Uninst" opened again for the rename (a handle on it
  // that holds DELETE would refuse Windows' own open of the rename's target).
  void MoveBack() {
    if (!moved_) return;
    uninst_.reset();
    place_.folder.Reset();
    StepResult<FileHandle> uninst =
        OpenIn(place_.root->Handle(), place_.folderName, kListingAccess, kRemovalSharing,
               EntryType::Folder);
    if (uninst && IdentityOf(uninst->Get()) == place_.folderIdentity &&
        Retried(Waits(), Window(), [&] {
          return RenameInto(place_.file.Get(), uninst->Get(), place_.name, false);
        })) {
      moved_ = false;
    }
  }

  UninstallerState& state_;
  bool restart_;
  std::optional<std::wstring> installFolder_;
  std::wstring stays_;
  ProgramPlace place_;
  CommandFolder folder_;
  std::wstring commandLine_;
  std::optional<HeldProgram> interpreter_;
  std::optional<RemovalBranch> uninst_;
  bool moved_ = false;
};

}  // namespace

StepDone RemoveInstallFolder(RemovalRoot& root, IWaits& waits, IUninstallerWindow& window) {
  try {
    return Retried(waits, window, [&] {
      RemovalEvents events(window, nullptr);
      const StepDone below = WalkDone(root.RemoveContents(events), root.Path());
      return below ? root.Remove() : below;
    });
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(root.Path());
  }
}

StepDone RemoveInstallFolder(const std::wstring& installFolder, IWaits& waits,
                             IUninstallerWindow& window) {
  try {
    RemovalRoot root = RemovalRoot::Open(installFolder, RemovalRoot::Kind::Tree);
    if (!root) return *root.Refusal();
    if (root.IsLink()) {
      return StepError::Refusal(ERROR_ACCESS_DENIED, installFolder, Reason::FolderIsLink);
    }
    return RemoveInstallFolder(root, waits, window);
  } catch (const std::bad_alloc&) {
    return StepError::OutOfMemory(installFolder);
  }
}

std::optional<std::string> BuildDeleteMeCmd(const std::wstring& programPath,
                                            const std::wstring& installFolder, bool restart,
                                            UINT codePage, const ICodePages& pages) {
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
    // The program removed the folder before it ended; what a tree delete by
    // name would do here could be done to whatever another user put under
    // that name since. The folder is only looked for, and the user told
    // when it is still there.
    const std::vector<Line> folderLines = {
        {{L"IF NOT EXIST ", false}, {Quoted(folder + L"\\"), true}, {L" GOTO Lbl3", false}},
        Fixed(L"set /a i+=1"),
        Fixed(L"TIMEOUT /T 1"),
        Fixed(L"if %i% leq 5 goto Lbl2"),
        {{L"mshta vbscript:execute(" + q + L"MsgBox(" + q + q + L"フォルダ(", false},
         {ReplaceAll(folder, L"%", L"%%"), true},
         {L")を削除できませんでした！" + q + q + L"):close" + q + L")", false}},
        Fixed(L":Lbl3"),
    };
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

void MakeDeleteMeCmd(UninstallerState& state, bool restart, forms::IProgramEnd& programEnd) {
  SkipOnFailure([&] { LastSteps(state, restart).Run(); });
  programEnd.End();
}

}  // namespace norvale
