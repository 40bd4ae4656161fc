// Start-up, the first activation, the close request and the unload.
#include <windows.h>
#include <winver.h>

#include <vector>

#include "DeleteGuard.h"
#include "Form_Inset_MAIN.h"
#include "System.h"
#include "Text.h"

namespace norvale {

using namespace forms;

std::wstring InstallerVersionText(int major, int minor, int revision) {
  std::wstring last = std::to_wstring(revision);
  if (last.size() < 2) last.insert(0, 2 - last.size(), L'0');
  return std::to_wstring(major) + L"." + std::to_wstring(minor) + L"." + last;
}

std::wstring InstallerVersionOf(HMODULE module) {
  try {
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    const DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return L"";
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.data(), &ignored);
    if (size == 0) return L"";
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.data(), 0, size, data.data())) return L"";
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &infoSize) ||
        !info || infoSize < sizeof(VS_FIXEDFILEINFO)) {
      return L"";
    }
    // The build number's place stays 0; the revision is the last of the four.
    return InstallerVersionText(HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                                LOWORD(info->dwFileVersionLS));
  } catch (...) {
    return L"";
  }
}

bool Form_Inset_MAIN::AnotherInstanceRuns() {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, options_.instanceName.c_str());
  const bool existed = mutex && GetLastError() == ERROR_ALREADY_EXISTS;
  instanceMutex_ = KernelHandle(mutex);
  return existed;
}

void Form_Inset_MAIN::Form_Load() {
  if (AnotherInstanceRuns()) {
    instanceMutex_ = KernelHandle();
    App().End();
    return;
  }
  try {
    state_ = std::make_unique<InstallerState>(options_.seams);
  } catch (...) {
    return;
  }
  InstallerState& s = *state_;
  s.StartupOk = -1;
  s.ErrText.clear();
  Width(9000);
  Height(7000);
  s.objFtp.ASYNC(false);
  s.objFtp.CallBackProcPtr(GetAddressOf(&InetStatusCallback));
  const std::wstring folder =
      options_.programFolder.empty() ? ProgramFolder() : options_.programFolder;
  s.objStartIni.iniDir(folder);
  s.objStartIni.IniFileID(L"Start.ini");
  s.objSetupIni.iniDir(folder);
  s.objSetupIni.IniFileID(L"Setup.ini");
  s.SetupFileId = L"Setup.ini";
  s.InstallerVersion = InstallerVersionOf(options_.resources);
  s.objPublicFunc.FormCentering(this);
  s.PageNo = 0;
  s.SubPageNo = 0;
  s.RestartNeeded = 0;
  for (Frame* page : {&F_Select, &F_Input, &F_Check, &F_END}) page->Visible(false);
  for (Frame* page : {&F_Select, &F_Input, &F_Check, &F_END, &F_SETUP, &F_FINAL}) {
    page->Enabled(false);
  }
  bool started = false;
  if (options_.startUp) {
    try {
      started = options_.startUp(s);
    } catch (...) {
      started = false;
    }
  }
  s.StartupOk = started ? -1 : 0;
  // The start-up names the window after the product it found ("Start.ini"
  // or the setup information), also when it failed afterwards.
  if (!s.Caption.empty()) Caption(s.Caption);
  if (s.StartupOk != 0) {
    BuildPages();
    ShowPage();
  }
}

void Form_Inset_MAIN::Form_Activate() {
  if (activated_ != 0) return;
  activated_ = 1;
  if (!state_ || state_->StartupOk != 0) return;
  if (!IsBlank(state_->ErrText) && state_->seams.common.messageBox) {
    state_->seams.common.messageBox->Show(state_->ErrText, L"処理を続行できません！",
                                          MB_OK | MB_ICONSTOP);
  }
  Unload();
}

void Form_Inset_MAIN::Form_QueryUnload(int16_t& Cancel, int16_t) {
  if (!state_ || state_->StartupOk == 0) return;
  if (state_->PageNo == 6) return;
  if (state_->PageNo >= 5) {
    Cancel = -1;
    return;
  }
  const std::wstring text =
      L"セットアップ作業は完了していません。\r\n"
      L"ここでセットアップを中止するとプログラムはインストールされません。\r\n\r\n"
      L"改めてインストールする場合は、もう一度セットアップを実行して下さい。\r\n\r\n"
      L"セットアップを終了しますか？\r\n\r\n";
  const auto& box = state_->seams.common.messageBox;
  const int answer =
      box ? box->Show(text, L"セットアップ終了", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) : 0;
  if (answer != IDYES) Cancel = -1;
}

void Form_Inset_MAIN::Form_Unload(int16_t&) {
  if (!state_) return;
  const std::wstring setupInfo = state_->objSetupIni.IniFilePath();
  if (!setupInfo.empty()) norvale::DeleteGuardedFile(setupInfo);
  state_.reset();
  instanceMutex_ = KernelHandle();
}

}  // namespace norvale
