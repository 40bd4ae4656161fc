#include "ServicesTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "System.h"
#include "TempDir.h"
#include "Text.h"

namespace testing_support {

const wchar_t kHelperName[] = L"nvws_helper.exe";

std::wstring HelperPath() { return norvale::ProgramFolder() + L"\\" + kHelperName; }

HelperProcess::HelperProcess(const std::wstring& arguments) {
  std::wstring commandLine = L"\"" + HelperPath() + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    throw std::runtime_error("the helper program cannot be started");
  }
  CloseHandle(info.hThread);
  process_.Reset(info.hProcess);
  id_ = info.dwProcessId;
}

HelperProcess::~HelperProcess() {
  if (!Ended()) TerminateProcess(process_.Get(), 1);
  WaitForSingleObject(process_.Get(), 5000);
}

bool HelperProcess::Ended(DWORD waitMilliseconds) const {
  return WaitForSingleObject(process_.Get(), waitMilliseconds) == WAIT_OBJECT_0;
}

DWORD HelperProcess::ExitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(process_.Get(), &code);
  return code;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(10);
  }
}

namespace {

std::wstring Hex(unsigned long value) {
  wchar_t text[16] = {};
  swprintf(text, 16, L"0x%lX", value);
  return text;
}

}  // namespace

bool RecordingActions::EnablePrivilege(const std::wstring& name) {
  calls.push_back(L"privilege " + name);
  return answer;
}

bool RecordingActions::RequestExitWindows(UINT flags, DWORD reason) {
  calls.push_back(L"exit " + Hex(flags) + L" " + Hex(reason));
  return answer;
}

bool RecordingActions::InitiateShutdown(const std::wstring& computer, const std::wstring& message,
                                        DWORD timeoutSeconds, bool forceAppsClosed, bool reboot) {
  calls.push_back(L"remote " + computer + L"|" + message + L"|" + std::to_wstring(timeoutSeconds) +
                  L"|" + std::to_wstring(forceAppsClosed) + L"|" + std::to_wstring(reboot));
  return answer;
}

bool RecordingActions::SetSystemClock(const SYSTEMTIME& utc) {
  calls.push_back(L"system clock");
  clocks.push_back(utc);
  return answer;
}

bool RecordingActions::SetLocalClock(const SYSTEMTIME& local) {
  calls.push_back(L"local clock");
  clocks.push_back(local);
  return answer;
}

bool RecordingActions::DeviceControl(const std::wstring& device, DWORD controlCode) {
  calls.push_back(L"device " + device + L" " + Hex(controlCode));
  return answer;
}

DWORD RecordingActions::FormatDriveDialog(HWND, UINT drive, UINT formatId, UINT options) {
  calls.push_back(L"format " + std::to_wstring(drive) + L" " + Hex(formatId) + L" " +
                  Hex(options));
  return dialogAnswer;
}

DWORD RecordingActions::DisconnectDialog(HWND owner, DWORD resourceType) {
  calls.push_back(L"disconnect " + Hex(reinterpret_cast<uintptr_t>(owner)) + L" " +
                  std::to_wstring(resourceType));
  return dialogAnswer;
}

bool RecordingStarts::Start(const std::wstring& commandLine, int showState, DWORD* processId,
                            HANDLE* process) {
  starts.push_back({commandLine, showState});
  if (processId) *processId = 4242;
  if (process) *process = nullptr;
  return true;
}

void VirtualWaits::Advance(DWORD milliseconds) {
  const SYSTEMTIME now = clock_->LocalNow();
  clock_->SetSecondsOfDay(norvale::SecondsOfDay(now) + milliseconds / 1000.0);
}

// A few real milliseconds per pause let the programs a test started run
// while virtual time passes.
void VirtualWaits::Sleep(DWORD milliseconds) {
  sleeps.push_back(milliseconds);
  ::Sleep(std::min<DWORD>(milliseconds, 5));
  Advance(milliseconds);
}

// Real processes still get a little real time to run and end.
DWORD VirtualWaits::WaitFor(HANDLE handle, DWORD milliseconds) {
  waits.push_back(milliseconds);
  const DWORD result = WaitForSingleObject(handle, std::min<DWORD>(milliseconds, 20));
  if (result == WAIT_TIMEOUT && milliseconds != INFINITE) Advance(milliseconds);
  return result;
}

void HookedPump::DoEvents() {
  ++runs;
  // The test's own windows see their messages as under a real loop.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (hook) hook();
}

namespace {

std::wstring NameList(const wchar_t* list) {
  if (!list) return L"";
  const wchar_t* end = list;
  while (end[0] || end[1]) ++end;
  return std::wstring(list, end);
}

}  // namespace

int RecordingShellFiles::Operate(SHFILEOPSTRUCTW& operation) {
  operations.push_back({operation.wFunc, NameList(operation.pFrom), NameList(operation.pTo),
                        operation.fFlags});
  // The recycle bin may lie outside the prefix: never send anything there.
  if (operation.wFunc == FO_DELETE && (operation.fFlags & FOF_ALLOWUNDO)) return 0;
  return SHFileOperationW(&operation);
}

norvale::Seams ServicesUnderTest::Seams() const {
  return norvale::Seams{boxes, clock, pump};
}

norvale::WinServicesSeams ServicesUnderTest::Windows() const {
  norvale::WinServicesSeams seams = norvale::WinServicesSeams::System();
  seams.starts = starts;
  seams.waits = waits;
  seams.shellFiles = shellFiles;
  seams.actions = actions;
  return seams;
}

std::wstring ErrorLogText() {
  return norvale::FromAnsi(ReadFileBytes(norvale::ProgramFolder() + L"\\QUILLON.log"));
}

void ClearErrorLog() { DeleteFileW((norvale::ProgramFolder() + L"\\QUILLON.log").c_str()); }

}  // namespace testing_support
