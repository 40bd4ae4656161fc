// Starting programs, waiting for their end and pausing the caller.
#include "clsWinCommon.h"

#include <shellapi.h>

#include "FileSystem.h"
#include "Handles.h"
#include "RuntimeError.h"
#include "Text.h"

using namespace norvale;

namespace {

constexpr DWORD kStepMilliseconds = 100;
constexpr DWORD kStartSettleMilliseconds = 1500;

// The number a failed start reports. A file that is no program is a wrong
// argument rather than a missing path.
int32_t StartFailureNumber(DWORD win32Code) {
  if (win32Code == ERROR_BAD_EXE_FORMAT || win32Code == ERROR_EXE_MACHINE_TYPE_MISMATCH) {
    return 5;
  }
  return RuntimeErrorFromWin32(win32Code);
}

std::wstring ShellExecuteText(intptr_t result) {
  switch (result) {
    case 0: return L"メモリ不足の為起動できませんでした";
    case SE_ERR_FNF: return L"指定されたプログラムファイルが見つかりませんでした";
    case SE_ERR_PNF: return L"指定されたプログラムパスが見つかりませんでした";
    case ERROR_BAD_FORMAT: return L"指定されたプログラムファイルは無効無効です";
    default: return result > 32 ? L"" : L"指定されたAPを起動できませんでした";
  }
}

std::wstring ShellExecuteExText(intptr_t instance) {
  switch (instance) {
    case SE_ERR_FNF: return L"ファイルが見つかりません";
    case SE_ERR_PNF: return L"パスが見つかりません";
    case SE_ERR_ACCESSDENIED: return L"アクセスが拒否されました";
    case SE_ERR_OOM: return L"メモリが不足しています";
    case SE_ERR_SHARE: return L"開いたファイルは共有できません";
    case SE_ERR_ASSOCINCOMPLETE: return L"ファイルの関連付け情報が不完全です";
    case SE_ERR_DDETIMEOUT: return L"DDEがTime Outです";
    case SE_ERR_DDEFAIL: return L"DDEが失敗しました";
    case SE_ERR_DDEBUSY: return L"DDEがビジーです";
    case SE_ERR_NOASSOC: return L"ファイルの関連付けが利用できません";
    case SE_ERR_DLLNOTFOUND: return L"DDLが見つかりません";
    default: return instance > 32 ? L"" : L"指定されたAPを起動できませんでした";
  }
}

}  // namespace

// The wait ends when the process handle is signalled, not only on an exit
// code other than STILL_ACTIVE: a program that itself ends with code 259
// would otherwise be waited for forever.
void clsWinCommon::WaitInSteps(HANDLE process) {
  for (;;) {
    DWORD exitCode = 0;  // stays 0 when the process cannot be asked
    GetExitCodeProcess(process, &exitCode);
    const DWORD waited = windows_.waits->WaitFor(process, kStepMilliseconds);
    // A handle that cannot be waited on still gets its pause.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_TIMEOUT) {
      windows_.waits->Sleep(kStepMilliseconds);
    }
    if (seams_.pump) seams_.pump->DoEvents();
    if (waited == WAIT_OBJECT_0 || exitCode != STILL_ACTIVE) return;
  }
}

void clsWinCommon::ShellEnd(int32_t ProcessID) {
  try {
    KernelHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, TRUE,
                                     static_cast<DWORD>(ProcessID)));
    WaitInSteps(process.Get());
  } catch (...) {
  }
}

std::wstring clsWinCommon::RunApplication(const std::wstring& aStrPath, bool ablnWait,
                                          double* adblTaskID, int32_t aenuStyle,
                                          const std::wstring& astrOption,
                                          const std::function<void()>& started) {
  auto failure = [&](int32_t number) {
    return L"RunApplication(" + std::to_wstring(number) + L" " +
           RuntimeErrorDescription(number) + L"(ファイル:" + aStrPath + L" " + astrOption + L")";
  };
  try {
    if (IsBlank(aStrPath)) return L"RunApplication:実行ファイル名が空です";
    if (!IsOrdinaryFile(aStrPath)) {
      return L"RunApplication:必要なファイルが見つかりません。(" + aStrPath + L")";
    }
    const std::wstring commandLine = L"\"" + aStrPath + L"\" " + astrOption;
    DWORD processId = 0;
    // Holding the handle keeps the id from naming another process while
    // the wait runs.
    KernelHandle process;
    if (!windows_.starts->Start(commandLine, aenuStyle, &processId, process.Put())) {
      return failure(StartFailureNumber(GetLastError()));
    }
    if (started) started();
    if (processId == 0) {
      return L"RunApplication:プログラムの起動に失敗しました。メモリ不足などの可能性があります";
    }
    if (ablnWait) WaitInSteps(process.Get());
    if (adblTaskID) *adblTaskID = static_cast<double>(processId);
    return L"";
  } catch (...) {
    return failure(7);
  }
}

void clsWinCommon::ShellEnd_By_Handle(HANDLE ProcessHandle) {
  try {
    WaitInSteps(ProcessHandle);
  } catch (...) {
  }
}

int32_t clsWinCommon::ShellExe(const std::wstring& pFilePath, const std::wstring& pParam,
                               int16_t pWinSize, std::wstring* aErrMsg) {
  try {
    if (aErrMsg) aErrMsg->clear();
    const HINSTANCE started = ShellExecuteW(nullptr, L"open", pFilePath.c_str(),
                                            pParam.c_str(), nullptr, pWinSize);
    const intptr_t result = reinterpret_cast<intptr_t>(started);
    if (aErrMsg) *aErrMsg = ShellExecuteText(result);
    return static_cast<int32_t>(result);
  } catch (...) {
    return -1;
  }
}

int32_t clsWinCommon::ShellExeEX(const std::wstring& pFilePath, HWND phWnd,
                                 const std::wstring& pParam, int16_t pWinSize,
                                 std::wstring* aErrMsg, HANDLE* aProchWnd) {
  try {
    if (aErrMsg) aErrMsg->clear();
    if (aProchWnd) *aProchWnd = nullptr;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.hwnd = phWnd;
    info.lpVerb = L"open";
    info.lpFile = pFilePath.c_str();
    info.lpParameters = pParam.c_str();
    info.nShow = pWinSize;
    const bool started = ShellExecuteExW(&info) != FALSE;
    const intptr_t instance = reinterpret_cast<intptr_t>(info.hInstApp);
    if (started) {
      if (aProchWnd) {
        *aProchWnd = info.hProcess;
      } else if (info.hProcess) {
        CloseHandle(info.hProcess);
      }
      if (aErrMsg) *aErrMsg = L"APを正常に起動しました";
      return static_cast<int32_t>(instance);
    }
    std::wstring text = ShellExecuteExText(instance);
    if (text.empty()) text = L"AP起動に失敗しました！";
    if (aErrMsg) *aErrMsg = text;
    return 0;
  } catch (...) {
    return 0;
  }
}

bool clsWinCommon::RUN_Process(const std::wstring& strApPath, const std::wstring& strCommand,
                               int32_t lngTimeOut, int32_t aLngSleepTime,
                               std::wstring* aStrErrMsg, int32_t aWinSize) {
  std::wstring message;
  auto report = [&](bool result) {
    if (aStrErrMsg) *aStrErrMsg = message;
    return result;
  };
  try {
    std::wstring startText;
    // The wait owns the handle and closes it however it ends.
    KernelHandle process;
    const int32_t startResult = ShellExeEX(strApPath, nullptr, strCommand,
                                           static_cast<int16_t>(aWinSize), &startText,
                                           process.Put());
    if (startResult <= 32) {
      message = L"プログラム[" + strApPath + L"]の起動に失敗しました！:(" +
                std::to_wstring(startResult) + L") " + startText;
      m_Err->ErrLogPut(message, 1, 1, 0, 0, 0);
      return report(false);
    }
    if (lngTimeOut < 1) return report(true);

    WinSleep(static_cast<int32_t>(kStartSettleMilliseconds));
    m_Timer->TimerStart(lngTimeOut);
    m_StopFlag = 0;
    bool stopped = false;
    for (;;) {
      // Ended when the handle is signalled; a start without a process of
      // its own (a document handed to a running program) has nothing to
      // wait for.
      if (windows_.waits->WaitFor(process.Get(), 0) != WAIT_TIMEOUT) return report(true);
      if (aLngSleepTime >= 1) WinSleep(aLngSleepTime);
      if (seams_.pump) seams_.pump->DoEvents();
      if (m_Timer->TimerSence() >= 0) {
        message = L"[TimeOver] プログラム[" + strApPath + L"]の実行終了待ちでタイムアウトしました";
        break;
      }
      if (m_StopFlag != 0) {
        message = L"[Stat] 停止FLAGがONになったのでデータ送信処理を中断しました";
        stopped = true;
        break;
      }
    }
    if (!KillProcessByhWnd(process.Get())) {
      message += L"、又、プロセスの強制終了に失敗しました！";
    }
    m_Err->ErrLogPut(message, 1, 1, 0, 0, 0);
    if (stopped) m_StopFlag = 0;
    return report(false);
  } catch (...) {
    return report(false);
  }
}

int16_t clsWinCommon::StopFlag() const { return static_cast<int16_t>(m_StopFlag); }

void clsWinCommon::StopFlag(int16_t value) { m_StopFlag = value; }

void clsWinCommon::WaitForExitProcess(int32_t lProcessId, int32_t lMilliseconds) {
  try {
    KernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(lProcessId)));
    if (!process) return;
    const DWORD limit = lMilliseconds == -1 ? INFINITE
                                            : static_cast<DWORD>(lMilliseconds < 0 ? 0
                                                                                   : lMilliseconds);
    windows_.waits->WaitFor(process.Get(), limit);
  } catch (...) {
  }
}

// A negative time would be the endless sleep to Windows.
int32_t clsWinCommon::WinSleep(int32_t aLngSleepTime) {
  try {
    windows_.waits->Sleep(static_cast<DWORD>(aLngSleepTime < 0 ? 0 : aLngSleepTime));
  } catch (...) {
  }
  return 0;
}

void clsWinCommon::ShellOpenFile(const std::wstring& OpenFIleId) {
  try {
    KernelHandle started;
    windows_.starts->Start(L"rundll32.exe shell32.dll,OpenAs_RunDLL " + OpenFIleId,
                           SW_SHOWMINIMIZED, nullptr, started.Put());
  } catch (...) {
  }
}
