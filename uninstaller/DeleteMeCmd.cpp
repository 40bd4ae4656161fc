#include "DeleteMeCmd.h"

#include <objbase.h>

#include <cstdio>
#include <utility>
#include <vector>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "FolderAccess.h"
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

// Text in the code page the interpreter reads. A UTF-8 (65001) or GB18030
// code page refuses the flags and the used-default answer that the others
// take, so exactness is judged the same way for every code page: the bytes
// must read back as the text itself.
std::optional<std::string> ToOem(const std::wstring& text, bool exact, UINT codePage,
                                 CodePageConversion convert) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  DWORD flags = WC_NO_BEST_FIT_CHARS;
  int size = convert(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;
    size = convert(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
  }
  if (size <= 0) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  if (convert(codePage, flags, text.data(), length, bytes.data(), size, nullptr, nullptr) !=
      size) {
    return std::nullopt;
  }
  if (exact) {
    const int back = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (back != length) return std::nullopt;
    std::wstring read(static_cast<size_t>(back), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, read.data(), back);
    if (read != text) return std::nullopt;
  }
  return bytes;
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

// Keeps the program file and the folders on the way to it (keep as
// LongPath gives it), and lets the window answer after every entry, however
// much the folder holds.
class AroundTheProgram final : public ITreeRemovalEvents {
 public:
  AroundTheProgram(const std::wstring& keep, IUninstallerWindow& window)
      : keep_(keep), window_(window) {}
  EntryChoice Choose(const std::wstring& path) override {
    if (SamePath(path, keep_)) return EntryChoice::Keep;
    // The program's own folder: emptied around the program, which the
    // command file deletes once this process has ended.
    if (IsBelow(keep_, path)) return EntryChoice::EmptyOnly;
    return EntryChoice::Remove;
  }
  void Done(const std::wstring&) override { AnswerWindow(window_); }

 private:
  const std::wstring& keep_;
  IUninstallerWindow& window_;
};

// Deletes what folder holds, all but keep and the folders on the way to it.
// The delete guard judges the folder once and the walk goes on through
// handles opened relative to it, so a folder another user swaps for a link
// meanwhile is never entered, and a link is removed as a link. False when
// something is left that another try may remove; what opens elsewhere than
// where it is listed (Wine's view of a link) stays for good.
bool RemoveAllBut(const std::wstring& folder, const std::wstring& keep,
                  IUninstallerWindow& window) {
  AroundTheProgram events(keep, window);
  return !EmptyGuardedFolder(folder, events).retryable;
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

// A name nobody can have prepared: another uninstall running at the same
// time, or a program of the user that planted a folder, gets its own.
std::wstring UniqueFolderName() {
  GUID guid{};
  if (FAILED(CoCreateGuid(&guid))) return L"";
  wchar_t name[48];
  swprintf(name, 48, L"Dekant00-%08lX%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X",
           static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
           guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
           guid.Data4[6], guid.Data4[7]);
  return name;
}

// The command file's own folder below temp, made new with its access list
// in the same call: there is no moment in which another program of the user
// could put something into it or change it. Empty when it could not be made.
std::wstring MakeCommandFolder(UninstallerState& state, const std::wstring& temp) {
  IFolderAccess& access = *state.services.windows.folderAccess;
  const std::optional<FolderAccessList> list =
      FolderAccessListForThisRun(access, GuardedFolder::kPrivateFolder);
  if (!list) return L"";
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::wstring name = UniqueFolderName();
    if (name.empty()) return L"";
    const std::wstring folder = temp + L"\\" + name;
    if (access.CreateFolder(folder, *list)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return L"";
  }
  return L"";
}

// What was made for a command file that will not run.
void DiscardCommandFolder(const std::wstring& folder, const std::wstring& file) {
  DeleteGuardedFile(file);
  RemoveGuardedFolder(folder);
}

}  // namespace

void RemoveInstallFolderContents(const std::wstring& installFolder,
                                 const std::wstring& programPath, IWaits& waits,
                                 IUninstallerWindow& window) {
  SkipOnFailure([&] {
    const std::wstring keep = LongPath(programPath);
    const std::wstring folder = LongPath(installFolder);
    // Not knowing which file is the program, nothing is deleted: the command
    // file then finds the folder not empty and says so.
    if (keep.empty() || folder.empty() || !IsBelow(keep, folder)) return;
    for (int retry = 1; !RemoveAllBut(folder, keep, window) && retry <= kRetries; ++retry) {
      Pause(waits, window, kRetryPauseMs);
    }
  });
}

std::optional<std::string> BuildDeleteMeCmd(const std::wstring& programPath,
                                            const std::wstring& installFolder, bool restart,
                                            UINT codePage, CodePageConversion convert) {
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
    // Only empty folders are removed: a folder that still holds anything
    // stays, and the message below says so.
    // The program may have been started through another spelling of its
    // path (an 8.3 form): places are compared, and the place is removed.
    const std::wstring programFolder = LongPath(BeforeLast(program, L'\\'));
    if (IsBelow(programFolder, LongPath(folder))) {
      lines.push_back({{L"RD ", false}, {Quoted(programFolder), true}});
    }
    const std::vector<Line> folderLines = {
        {{L"RD ", false}, {Quoted(folder), true}},
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
      const std::optional<std::string> encoded = ToOem(piece.text, piece.exact, codePage, convert);
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

bool WriteDeleteMeCmd(const std::wstring& path, const std::string& bytes) {
  return ValueOrOnFailure(false, [&] {
    // Never into a file that someone else put there first.
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
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
    // Only the command file removes the program and the folders, so without
    // it nothing is deleted: the folder stays whole, "Setup.log" with it.
    auto cannotRemove = [&] {
      TellWhatStays(state, L"一時フォルダに削除用のファイル(" + std::wstring(kDeleteMeFileName) +
                               L")を作成できないため、" +
                               (installFolder
                                    ? L"インストール先フォルダ(" + *installFolder + L")"
                                    : L"アンインストーラー(" + Trim(state.ProgramPath) + L")") +
                               L"は削除しません。");
    };
    const std::wstring folder = IsBlank(temp) ? L"" : MakeCommandFolder(state, Trim(temp));
    const std::wstring file = folder.empty() ? L"" : folder + L"\\" + kDeleteMeFileName;
    const std::optional<std::string> bytes =
        file.empty() ? std::nullopt
                     : BuildDeleteMeCmd(state.ProgramPath, installFolder.value_or(L""), restart,
                                        CommandFileCodePage(state));
    const std::wstring commandLine = file.empty() ? L"" : DeleteMeCmdCommandLine(file);
    // Started before anything is deleted and let run afterwards: an
    // interpreter that cannot start (a policy against it) leaves the
    // install folder whole.
    DWORD processId = 0;
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
    const bool started =
        bytes && !commandLine.empty() && WriteDeleteMeCmd(file, *bytes) &&
        state.services.windows.starts->StartHeld(SystemFolder() + L"\\cmd.exe", commandLine,
                                                 SW_SHOWMINIMIZED, &processId, &process, &thread);
    if (!started) {
      if (!folder.empty()) DiscardCommandFolder(folder, file);
      cannotRemove();
      return;
    }
    const KernelHandle ownedProcess(process);
    const KernelHandle heldThread(thread);
    if (installFolder) {
      RemoveInstallFolderContents(*installFolder, state.ProgramPath,
                                  *state.services.windows.waits, *state.window);
    }
    state.window->DoEvents();
    // An interpreter that stays held would keep its folder for good.
    if (heldThread && ResumeThread(heldThread.Get()) == static_cast<DWORD>(-1)) {
      TerminateProcess(ownedProcess.Get(), 1);
    }
  });
  programEnd.End();
}

}  // namespace norvale
