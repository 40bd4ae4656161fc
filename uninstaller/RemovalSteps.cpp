#include "RemovalSteps.h"

#include <vector>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "Paths.h"
#include "FontRemoval.h"
#include "RegVariant.h"
#include "RemovalGuards.h"
#include "SetupText.h"
#include "SystemServices.h"
#include "Text.h"

namespace norvale {

namespace {

void ShowStep(UninstallerState& state, const std::wstring& text) {
  SkipOnFailure([&] {
    state.window->SetStepText(0, text);
    state.window->SetStepText(1, L"");
    state.window->DoEvents();
  });
}

void ClearStep(UninstallerState& state, bool hideGauge) {
  SkipOnFailure([&] {
    state.window->SetStepText(0, L"");
    state.window->SetStepText(1, L"");
    if (hideGauge) state.window->Dispゲージ(-1);
    state.window->DoEvents();
  });
}

// Removes the program group folder only once the product's shortcuts are
// gone and nothing else is left in it: a group the user shares with other
// programs keeps what is theirs.
void RemoveEmptyProgramGroup(UninstallerState& state) {
  const std::wstring group = Trim(state.ProgramGroupDir);
  if (group.empty() || !IsRemovableProgramGroup(state, group)) return;
  std::wstring folder = group;
  if (folder.back() == L'\\') folder.pop_back();
  RemoveGuardedFolder(folder);
}

// The program paths a command may start, in the order Windows tries them:
// the text inside its opening quotes; unquoted (the registry reader may have
// taken the opening quote off), the text up to the first quote, ended after
// each ".exe" that a blank or the end follows, or at each blank when it
// names no ".exe".
std::vector<std::wstring> ProgramPathsOfCommand(const std::wstring& command) {
  const std::wstring trimmed = Trim(command);
  if (StartsWith(trimmed, L"\"")) {
    const size_t close = trimmed.find(L'"', 1);
    if (close == std::wstring::npos) return {};
    return {trimmed.substr(1, close - 1)};
  }
  const std::wstring text = trimmed.substr(0, trimmed.find(L'"'));
  const std::wstring upper = UpperCased(text);
  std::vector<std::wstring> paths;
  for (size_t at = upper.find(L".EXE"); at != std::wstring::npos; at = upper.find(L".EXE", at + 1)) {
    if (at + 4 == text.size() || text[at + 4] == L' ') paths.push_back(text.substr(0, at + 4));
  }
  if (paths.empty()) {
    for (size_t at = text.find(L' '); at != std::wstring::npos; at = text.find(L' ', at + 1)) {
      paths.push_back(text.substr(0, at));
    }
    paths.push_back(text);
  }
  return paths;
}

// The program a command starts, in its long form: the first of its possible
// paths that is a file, as Windows takes it, else the first of them.
std::wstring ProgramOfCommand(const std::wstring& command) {
  const std::vector<std::wstring> paths = ProgramPathsOfCommand(command);
  for (const std::wstring& path : paths) {
    const std::wstring program = LongPath(path);
    if (!program.empty() && FileExists(program)) return program;
  }
  return paths.empty() ? std::wstring() : LongPath(paths.front());
}

// The AppId comes from the record: the entry it names is removed only when
// its uninstall command is this very uninstaller, never another product's.
// The program may have been started by another spelling of its path (an
// 8.3 short form, "/" or ".." in it), so places are compared, not texts.
bool UninstallEntryIsOurs(UninstallerState& state) {
  const std::wstring ours =
      LongPath(state.ProgramFolder + L"\\" + kUninstallerFileName);
  if (ours.empty()) return false;
  const std::wstring command = GetUninstallString(
      state.objWinCommon, state.AppId, IsWow64(*state.services.windows.windows));
  for (const std::wstring& path : ProgramPathsOfCommand(command)) {
    if (SamePath(LongPath(path), ours)) return true;
  }
  return false;
}

}  // namespace

void ExecuteUninstall(UninstallerState& state) {
  SkipOnFailure([&] { state.window->DisableCancel(); });
  SkipOnFailure([&] { DeleteShortCuts(state); });
  if (!state.KeepsFileLinks()) SkipOnFailure([&] { DeleteFileLinks(state); });
  SkipOnFailure([&] { UninstallFonts(state); });
  SkipOnFailure([&] { UnRegstUninstInfo(state); });
  SkipOnFailure([&] { UnRegstRunAsAdmin(state); });
  SkipOnFailure([&] { FinishUninstSteps(state); });
  SkipOnFailure([&] { state.objWinCommon.REG_RegFlush(); });
}

int16_t CheckBeforeUninst(UninstallerState&) { return -1; }

int16_t DeleteShortCuts(UninstallerState& state) {
  ShowStep(state, L"ショートカットを削除しています...");
  SkipOnFailure([&] { state.window->Dispゲージ(-1); });
  for (int16_t i = 1; i <= state.ShortCutLogCount; ++i) {
    SkipOnFailure([&] {
      const std::wstring path = Trim(state.ShortCutLogList[i].dir);
      if (!path.empty()) DeleteRecordedShortCut(state, path);
    });
  }
  SkipOnFailure([&] { RemoveEmptyProgramGroup(state); });
  ClearStep(state, true);
  return -1;
}

bool FileLinkStillOurs(UninstallerState& state, const ApFileLinkEntry& entry) {
  return ValueOrOnFailure(false, [&] {
    const std::optional<std::wstring> installFolder = CheckedInstallFolder(state);
    const std::wstring id = Trim(entry.id);
    if (!installFolder || !IsPlainFileName(id)) return false;
    const RegVariant command = state.objWinCommon.GetRegValue(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\" + id + L"\\shell\\open\\command", L"",
        RegVariant{});
    // Judged by the program the command starts, not by any mention of our
    // folder: another product's command may name it as an argument, and
    // ours may spell it in its 8.3 form.
    const std::wstring program = ProgramOfCommand(RegVariantText(command));
    const std::wstring folder = LongPath(*installFolder);
    return !program.empty() && !folder.empty() && PathIsBelow(program, folder);
  });
}

int16_t DeleteFileLinks(UninstallerState& state) {
  ShowStep(state, L"APとファイルの関連付けを削除しています...");
  int done = 0;
  SkipOnFailure([&] { state.window->Dispゲージ(0); });
  for (int16_t i = 1; i <= state.ApFileLinkCount; ++i) {
    ++done;
    SkipOnFailure([&] {
      state.window->Dispゲージ(static_cast<int16_t>(done * 100 / state.ApFileLinkCount));
    });
    SkipOnFailure([&] {
      const ApFileLinkEntry& entry = state.ApFileLinkList[i];
      if (!FileLinkStillOurs(state, entry)) return;
      state.objWinCommon.REG_DeleteApLink(Trim(entry.id), Trim(entry.ext));
    });
  }
  ClearStep(state, true);
  return -1;
}

int16_t UnRegstUninstInfo(UninstallerState& state) {
  ShowStep(state, L"レジストリ情報を削除しています...");
  SkipOnFailure([&] { state.objWinCommon.WinSleep(500); });
  // Decided while the program still lies where the entry names it.
  state.UninstallEntryToRemove = false;
  SkipOnFailure([&] {
    state.UninstallEntryToRemove =
        IsProductInstalled(state.objWinCommon, state.AppId) && UninstallEntryIsOurs(state);
  });
  ShowStep(state, L"...");
  return -1;
}

int16_t RemoveUninstallEntry(UninstallerState& state) {
  return ValueOrOnFailure<int16_t>(0, [&] {
    if (!state.UninstallEntryToRemove) return int16_t{-1};
    if (!state.objWinCommon.REG_UninstApUnRegst(state.AppId)) return int16_t{0};
    state.UninstallEntryToRemove = false;
    state.objWinCommon.REG_RegFlush();
    return int16_t{-1};
  });
}

int16_t UnRegstRunAsAdmin(UninstallerState& state) {
  ShowStep(state, L"管理者権限情報Eをレジストリから削除しています...");
  SkipOnFailure([&] { state.objWinCommon.WinSleep(500); });
  const std::optional<std::wstring> installFolder = CheckedInstallFolder(state);
  for (int16_t i = 1; i <= state.AdminExeCount; ++i) {
    SkipOnFailure([&] {
      // Another product's value under the same name stays: only programs
      // inside this install folder were ours, where the path really leads.
      // The record may hold the 8.3 form of a name its code page lacks,
      // while the value is named by the long form.
      const std::wstring exe = state.AdminExeList[i].exe;
      if (!installFolder || !PlaceIsBelow(Trim(exe), *installFolder)) return;
      const std::wstring program = LongPath(exe);
      state.objWinCommon.REG_4DLayersUnRegst(exe);
      if (!program.empty() && !SamePath(program, Trim(exe))) {
        state.objWinCommon.REG_4DLayersUnRegst(program);
      }
    });
  }
  // Our own value is named as the installer spelled the path, which need not
  // be the spelling that started this program.
  SkipOnFailure([&] {
    const std::wstring started = state.ProgramFolder + L"\\" + kUninstallerFileName;
    state.objWinCommon.REG_4DLayersUnRegst(started);
    if (!installFolder) return;
    const std::wstring registered = *installFolder + L"\\Uninst\\" + kUninstallerFileName;
    if (!SamePath(registered, started)) {
      state.objWinCommon.REG_4DLayersUnRegst(registered);
    }
  });
  ClearStep(state, false);
  return -1;
}

int16_t FinishUninstSteps(UninstallerState&) { return -1; }

int16_t vbDeleteFolder(UninstallerState&, const std::wstring& strFolder) {
  return ValueOrOnFailure<int16_t>(0, [&] { return norvale::vbDeleteFolder(strFolder) ? -1 : 0; });
}

std::wstring ReplaceFolderMacros(const UninstallerState& state, const std::wstring& text) {
  std::wstring result = ReplaceAllNoCase(text, L"{tmp}", state.TmpDir);
  result = ReplaceAllNoCase(result, L"{windir}", state.WinDir);
  result = ReplaceAllNoCase(result, L"{commondesktop}", state.CommonDesktopDir);
  result = ReplaceAllNoCase(result, L"{group}", state.CommonProgramsDir);
  return ReplaceAllNoCase(result, L"{commonstartup}", state.StartupDir);
}

}  // namespace norvale
