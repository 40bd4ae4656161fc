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

// The program paths a registered uninstall command may start with: the text
// up to a closing quote (the registry reader took the opening one), or up to
// an ".exe" that arguments such as " /S" follow.
std::vector<std::wstring> RegisteredProgramPaths(const std::wstring& command) {
  const std::wstring text = command.substr(0, command.find(L'"'));
  std::vector<std::wstring> paths{text};
  const std::wstring upper = UpperCased(text);
  for (size_t at = upper.find(L".EXE "); at != std::wstring::npos;
       at = upper.find(L".EXE ", at + 1)) {
    paths.push_back(text.substr(0, at + 4));
  }
  return paths;
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
  for (const std::wstring& path : RegisteredProgramPaths(command)) {
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
      if (path.empty() || !IsRemovableShortCut(state, path)) return;
      std::wstring errText;
      vbDeleteFile(path, errText);
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
    return ContainsNoCase(RegVariantText(command), *installFolder + L"\\");
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
  int16_t result = -1;
  SkipOnFailure([&] {
    if (IsProductInstalled(state.objWinCommon, state.AppId) && UninstallEntryIsOurs(state)) {
      result = state.objWinCommon.REG_UninstApUnRegst(state.AppId) ? -1 : 0;
    }
  });
  ShowStep(state, L"...");
  return result;
}

int16_t UnRegstRunAsAdmin(UninstallerState& state) {
  ShowStep(state, L"管理者権限情報Eをレジストリから削除しています...");
  SkipOnFailure([&] { state.objWinCommon.WinSleep(500); });
  const std::optional<std::wstring> installFolder = CheckedInstallFolder(state);
  for (int16_t i = 1; i <= state.AdminExeCount; ++i) {
    SkipOnFailure([&] {
      // Another product's value under the same name stays: only programs
      // inside this install folder were ours, where the path really leads.
      const std::wstring exe = state.AdminExeList[i].exe;
      if (!installFolder || !LiesBelow(Trim(exe), *installFolder)) return;
      state.objWinCommon.REG_4DLayersUnRegst(exe);
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
