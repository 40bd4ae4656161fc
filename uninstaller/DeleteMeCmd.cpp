#include "DeleteMeCmd.h"

#include <objbase.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "FolderAccess.h"
#include "FileActs.h"
#include "HandleActs.h"
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

// Lets the window answer after every entry, however much the folder holds.
class AnsweringEvents final : public ITreeRemovalEvents {
 public:
  explicit AnsweringEvents(IUninstallerWindow& window) : window_(window) {}
  void Done(const std::wstring&) override { AnswerWindow(window_); }

 private:
  IUninstallerWindow& window_;
};

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
  FileHandle folder;  // "Uninst"; none when root is the program's own folder
  FileHandle file;
  std::wstring name;
  HandleFacts folderFacts;
};

std::optional<ProgramPlace> FindProgram(const UninstallerState& state,
                                        const std::optional<std::wstring>& installFolder) {
  const IFinalPaths& finalPaths = *state.services.finalPaths;
  const std::wstring program = LongPath(state.ProgramPath);
  const std::wstring folder = LongPath(state.ProgramFolder);
  ProgramPlace place;
  place.name = AfterLast(program, L'\\');
  if (program.empty() || folder.empty() || !SamePath(BeforeLast(program, L'\\'), folder)) {
    return std::nullopt;
  }
  // The program's file is held for its rename only: DELETE, and the sharing
  // the system's own image section of it leaves room for.
  HANDLE in = nullptr;
  std::wstring inPath;
  if (installFolder) {
    place.root.emplace(RemovalRoot::Open(*installFolder, RemovalRoot::Kind::Tree, finalPaths));
    if (!*place.root || place.root->IsLink()) return std::nullopt;
    StepResult<HeldFolder> uninst =
        OpenListedIn(place.root->Handle(), place.root->Facts().lies, AfterLast(folder, L'\\'),
                     kListingAccess, kRemovalSharing, EntryType::Folder);
    if (!uninst || !finalPaths.FactsOf(uninst->handle.Get(), place.folderFacts)) {
      return std::nullopt;
    }
    place.folder = std::move(uninst->handle);
    in = place.folder.Get();
    inPath = uninst->path;
  } else {
    place.root.emplace(RemovalRoot::Open(folder, RemovalRoot::Kind::Contents, finalPaths));
    if (!*place.root) return std::nullopt;
    place.folderFacts = place.root->Facts();
    in = place.root->Handle();
    inPath = place.root->Facts().lies;
  }
  StepResult<HeldFolder> file =
      OpenListedIn(in, inPath, place.name, kDeletingAccess, kRemovalSharing, EntryType::File);
  if (!file) return std::nullopt;
  place.file = std::move(file->handle);
  return place;
}

// What was made for a command file that will not run, through the folder's
// own handle: the folder is this run's, new and closed to other users, and
// holds at most the command file (the program's file leaves for it last).
void DiscardCommandFolder(CommandFolder& folder) {
  if (folder.handle) RemoveHeldOwnFolder(folder.handle.Get(), folder.path);
  folder.handle.Reset();
}

// A new folder with a list for this run in `parent`, held from its making;
// it must lie on the program file's volume, which the program's file is
// renamed within. Nothing when it could not be made so (what was made goes
// again).
std::optional<CommandFolder> MakeCommandFolderIn(UninstallerState& state,
                                                 const std::wstring& parent,
                                                 const FolderAccessList& list, DWORD volume) {
  std::optional<HeldFolder> made =
      MakePrivateFolder(*state.services.windows.folderAccess, parent, L"Dekant00-", list);
  if (!made) return std::nullopt;
  CommandFolder folder{made->path, std::move(made->handle)};
  HandleFacts facts;
  if (state.services.finalPaths->FactsOf(folder.handle.Get(), facts) && facts.volume == volume) {
    return folder;
  }
  DiscardCommandFolder(folder);
  return std::nullopt;
}

// The root of the volume a folder lies on ("D:\\", or a mounted folder).
std::wstring VolumeRootOf(const std::wstring& folder) {
  std::vector<wchar_t> root(folder.size() + 2);
  if (!GetVolumePathNameW(folder.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
    return L"";
  }
  return root.data();
}

// The command file's folder, on the program file's volume: the run's
// temporary folder when it lies there, else that volume's root. Nothing
// when the temporary folder is missing or the folder cannot be made.
std::optional<CommandFolder> MakeCommandFolder(UninstallerState& state, const std::wstring& temp,
                                               const HandleFacts& programFolder) {
  const std::optional<FolderAccessList> list =
      FolderAccessListForThisRun(*state.services.windows.folderAccess,
                                 GuardedFolder::kPrivateFolder);
  if (!list || temp.empty()) return std::nullopt;
  // Asked where it lies only: the folders on the way are followed.
  const StepResult<FileHandle> where =
      OpenByPath(temp, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                 EntryType::Folder);
  HandleFacts facts;
  if (!where || !state.services.finalPaths->FactsOf(where->Get(), facts)) return std::nullopt;
  if (facts.volume == programFolder.volume) {
    return MakeCommandFolderIn(state, temp, *list, programFolder.volume);
  }
  const std::wstring root = VolumeRootOf(programFolder.lies);
  if (root.empty()) return std::nullopt;
  return MakeCommandFolderIn(state, root, *list, programFolder.volume);
}

}  // namespace

StepDone RemoveInstallFolder(RemovalRoot& root, IWaits& waits, IUninstallerWindow& window) {
  try {
    AnsweringEvents events(window);
    for (int retry = 1;; ++retry) {
      const TreeRemovalResult below = root.RemoveContents(events);
      StepError stayed = below.first.value_or(StepError::Of(ERROR_RETRY, root.Path()));
      if (below.Complete()) {
        const StepDone removed = root.Remove();
        if (removed) return {};
        stayed = removed.Error();
      }
      // Another try helps only where something may still go.
      if ((!below.retryable && !below.Complete()) || retry > kRetries) return stayed;
      Pause(waits, window, kRetryPauseMs);
    }
  } catch (...) {
    return StepError::Of(ERROR_NOT_ENOUGH_MEMORY, root.Path());
  }
}

StepDone RemoveInstallFolder(const std::wstring& installFolder, IWaits& waits,
                             IUninstallerWindow& window) {
  try {
    RemovalRoot root = RemovalRoot::Open(installFolder, RemovalRoot::Kind::Tree);
    if (!root) return *root.Refusal();
    if (root.IsLink()) {
      return StepError::Refusal(ERROR_ACCESS_DENIED, installFolder, L"folder is a link");
    }
    return RemoveInstallFolder(root, waits, window);
  } catch (...) {
    return StepError::Of(ERROR_NOT_ENOUGH_MEMORY, installFolder);
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
  SkipOnFailure([&] {
    const std::wstring temp = ReplaceFolderMacros(state, L"{tmp}");
    const std::optional<std::wstring> installFolder = CheckedInstallFolder(state);
    if (!installFolder && !IsBlank(state.AppDir)) {
      TellWhatStays(state, L"インストール先フォルダ(" + Trim(state.AppDir) +
                               L")はこのプログラムのインストール先と一致しないため削除しません。");
    }
    // Neither this program nor the interpreter may keep the install folder
    // as its current folder.
    SetCurrentDirectoryW(L"C:\\");
    // Without the command file to delete the program's file, or without
    // that file moved out of the way, nothing is deleted: the folder stays
    // whole, "Setup.log" and the Uninstall entry with it, for another run.
    // The user hears which of them failed.
    const std::wstring stays =
        installFolder ? L"インストール先フォルダ(" + *installFolder + L")"
                      : L"アンインストーラー(" + Trim(state.ProgramPath) + L")";
    auto cannotRemove = [&](const std::wstring& because, const std::optional<StepError>& error) {
      TellWhatStays(state, because + L"ため、" + stays + L"は削除しません。" +
                               (error ? L"\r\n" + error->Text() : L""));
    };
    std::optional<ProgramPlace> place = FindProgram(state, installFolder);
    if (!place) {
      cannotRemove(L"アンインストーラー(" + Trim(state.ProgramPath) + L")の場所を確認できない",
                   std::nullopt);
      return;
    }
    std::optional<CommandFolder> folder = MakeCommandFolder(
        state, PrivateFolderParent(*state.services.windows.folderAccess, Trim(temp)),
        place->folderFacts);
    const std::optional<std::string> bytes =
        folder ? BuildDeleteMeCmd(folder->path + L"\\" + place->name, installFolder.value_or(L""),
                                  restart, CommandFileCodePage(state), CodePagesOf(state))
               : std::nullopt;
    const std::wstring commandLine =
        folder ? DeleteMeCmdCommandLine(folder->path + L"\\" + kDeleteMeFileName) : L"";
    if (!bytes || commandLine.empty() || !WriteDeleteMeCmd(folder->handle.Get(), *bytes)) {
      if (folder) DiscardCommandFolder(*folder);
      cannotRemove(L"一時フォルダに削除用のファイル(" + std::wstring(kDeleteMeFileName) +
                       L")を作成できない",
                   std::nullopt);
      return;
    }
    // Started before anything is deleted and let run afterwards: an
    // interpreter that cannot start (a policy against it) leaves the
    // install folder whole.
    std::optional<HeldProgram> interpreter = state.services.windows.starts->StartHeld(
        SystemFolder() + L"\\cmd.exe", commandLine, SW_SHOWMINIMIZED);
    if (!interpreter) {
      const DWORD startError = GetLastError();
      DiscardCommandFolder(*folder);
      cannotRemove(L"削除用のファイル(" + std::wstring(kDeleteMeFileName) + L")を実行できない",
                   StepError::Of(startError, SystemFolder() + L"\\cmd.exe"));
      return;
    }
    // The running program's file may be renamed within its volume: it
    // leaves for the command file's folder, where the interpreter deletes it
    // once this program has ended, and the install folder can go now.
    const StepDone left = RenameInto(place->file.Get(), folder->handle.Get(), place->name, false);
    if (!left) {
      if (interpreter->Held()) interpreter->Stop();
      DiscardCommandFolder(*folder);
      StepError error = left.Error();
      error.path = Trim(state.ProgramPath);
      cannotRemove(L"アンインストーラー(" + Trim(state.ProgramPath) + L")を一時フォルダに移動できない",
                   error);
      return;
    }
    place->file.Reset();
    place->folder.Reset();
    const StepDone removed =
        installFolder ? RemoveInstallFolder(*place->root, *state.services.windows.waits,
                                            *state.window)
                      : StepDone();
    // The product leaves the list of installed programs only once nothing
    // of it stays there to be found by hand.
    if (removed) {
      RemoveUninstallEntry(state);
    } else {
      TellWhatStays(state, L"インストール先フォルダ(" + *installFolder +
                               L")を削除できませんでした。\r\n" + removed.Error().Text());
    }
    state.window->DoEvents();
    // An interpreter that stays held would keep its folder for good.
    if (!interpreter->LetRun()) interpreter->Stop();
  });
  programEnd.End();
}

}  // namespace norvale
