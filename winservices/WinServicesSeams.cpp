#include "WinServicesSeams.h"

#include <shlobj.h>
#include <winnetwk.h>

#include <vector>

#include "DeleteGuard.h"
#include "Handles.h"
#include "WinHandles.h"

namespace norvale {

namespace {

// Both live in system DLLs that every process has loaded; asking for them by
// name keeps a Windows without them (IsWow64Process before XP SP2) answering.
template <typename Fn>
Fn SystemEntry(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  if (!handle) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

}  // namespace

bool SystemWindowsFacts::GetVersion(OSVERSIONINFOEXW& info) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  auto rtlGetVersion = SystemEntry<RtlGetVersionFn>(L"ntdll.dll", "RtlGetVersion");
  return rtlGetVersion && rtlGetVersion(&info) == 0;
}

bool SystemWindowsFacts::VerifyWorkstation() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof(info);
  info.wProductType = VER_NT_WORKSTATION;
  const DWORDLONG mask = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
  return VerifyVersionInfoW(&info, VER_PRODUCT_TYPE, mask) != FALSE;
}

bool SystemWindowsFacts::IsServerR2() { return GetSystemMetrics(SM_SERVERR2) != 0; }

std::optional<bool> SystemWindowsFacts::IsWow64Process() {
#if defined(_WIN64)
  // The question the programs ask is "does this run on 64-bit Windows?". A
  // 64-bit build (only the tests make one) always does.
  return true;
#endif
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
  auto isWow64Process = SystemEntry<IsWow64ProcessFn>(L"kernel32.dll", "IsWow64Process");
  if (!isWow64Process) return std::nullopt;
  BOOL wow64 = FALSE;
  if (!isWow64Process(GetCurrentProcess(), &wow64)) return std::nullopt;
  return wow64 != FALSE;
}

LSTATUS SystemRegistryKeys::Open(HKEY root, const std::wstring& path, REGSAM access,
                                 HKEY* key) {
  return RegOpenKeyExW(root, path.c_str(), 0, access, key);
}

LSTATUS SystemRegistryKeys::Create(HKEY root, const std::wstring& path, REGSAM access,
                                   HKEY* key) {
  return RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                         nullptr, key, nullptr);
}

LSTATUS SystemRegistryKeys::Flush(HKEY root) { return RegFlushKey(root); }

namespace {

bool CreateProgram(const std::wstring& application, const std::wstring& commandLine,
                   int showState, DWORD flags, PROCESS_INFORMATION& info,
                   const ProgramSurroundings& surroundings = {}) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showState);
  // CreateProcessW may write into the command line.
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  // Each variable closed by a NUL, the block by one more.
  std::vector<wchar_t> environment;
  for (const std::wstring& variable : surroundings.environment) {
    environment.insert(environment.end(), variable.begin(), variable.end());
    environment.push_back(L'\0');
  }
  if (!environment.empty()) {
    environment.push_back(L'\0');
    flags |= CREATE_UNICODE_ENVIRONMENT;
  }
  return CreateProcessW(application.empty() ? nullptr : application.c_str(), line.data(),
                        nullptr, nullptr, FALSE, flags,
                        environment.empty() ? nullptr : environment.data(),
                        surroundings.currentFolder.empty() ? nullptr
                                                           : surroundings.currentFolder.c_str(),
                        &startup, &info) != FALSE;
}

}  // namespace

bool SystemProgramStarts::Start(const std::wstring& commandLine, int showState,
                                DWORD* processId, HANDLE* process) {
  return StartProgram(L"", commandLine, showState, processId, process);
}

bool SystemProgramStarts::StartProgram(const std::wstring& application,
                                       const std::wstring& commandLine, int showState,
                                       DWORD* processId, HANDLE* process) {
  try {
    PROCESS_INFORMATION info{};
    if (!CreateProgram(application, commandLine, showState, 0, info)) return false;
    CloseHandle(info.hThread);
    if (processId) *processId = info.dwProcessId;
    if (process) {
      *process = info.hProcess;
    } else {
      CloseHandle(info.hProcess);
    }
    return true;
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
}

std::optional<HeldProgram> SystemProgramStarts::StartHeld(
    const std::wstring& application, const std::wstring& commandLine, int showState,
    const ProgramSurroundings& surroundings) {
  try {
    KernelHandle job = JobEndingWithItsLastHandle();
    PROCESS_INFORMATION info{};
    // Out of a job that this process runs in, where that job allows it: the
    // program is to outlive us once let run, also where whoever started us
    // ends everything in our job after us. Where it is not allowed, the
    // program starts in our job, as every program we start would.
    if (!CreateProgram(application, commandLine, showState,
                       CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, info, surroundings) &&
        (GetLastError() != ERROR_ACCESS_DENIED ||
         !CreateProgram(application, commandLine, showState, CREATE_SUSPENDED, info,
                        surroundings))) {
      const DWORD error = GetLastError();
      job.Reset();
      SetLastError(error);
      return std::nullopt;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    // Windows 7 puts no job inside another: where the program stays in the
    // job this process runs in (one that allows no breakaway), it cannot
    // join one of its own. It is held all the same, as before there were
    // jobs here: the caller still lets it run or stops it, but should this
    // process die first, it stays held.
    if (job && !AssignProcessToJobObject(job.Get(), process.Get())) job.Reset();
    return HeldProgram(info.dwProcessId, std::move(process), std::move(thread), std::move(job));
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return std::nullopt;
  }
}

void SystemWaits::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

DWORD SystemWaits::WaitFor(HANDLE handle, DWORD milliseconds) {
  return WaitForSingleObject(handle, milliseconds);
}

int SystemShellFileOperations::Operate(SHFILEOPSTRUCTW& operation) {
  return norvale::GuardedShellOperation(operation);
}

bool SystemActions::EnablePrivilege(const std::wstring& name) {
  KernelHandle owned;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                        owned.Put())) {
    return false;
  }
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (!LookupPrivilegeValueW(nullptr, name.c_str(), &privileges.Privileges[0].Luid)) {
    return false;
  }
  TOKEN_PRIVILEGES previous{};
  DWORD previousSize = sizeof(previous);
  // The call succeeds also when not every privilege was assigned.
  return AdjustTokenPrivileges(owned.Get(), FALSE, &privileges, sizeof(privileges), &previous,
                               &previousSize) &&
         GetLastError() == ERROR_SUCCESS;
}

bool SystemActions::RequestExitWindows(UINT flags, DWORD reason) {
  return ExitWindowsEx(flags, reason) != FALSE;
}

bool SystemActions::InitiateShutdown(const std::wstring& computer, const std::wstring& message,
                                     DWORD timeoutSeconds, bool forceAppsClosed, bool reboot) {
  return InitiateSystemShutdownW(const_cast<wchar_t*>(computer.c_str()),
                                 const_cast<wchar_t*>(message.c_str()), timeoutSeconds,
                                 forceAppsClosed, reboot) != FALSE;
}

bool SystemActions::SetSystemClock(const SYSTEMTIME& utc) { return SetSystemTime(&utc) != FALSE; }

bool SystemActions::SetLocalClock(const SYSTEMTIME& local) {
  return SetLocalTime(&local) != FALSE;
}

bool SystemActions::DeviceControl(const std::wstring& device, DWORD controlCode) {
  FileHandle handle(CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr));
  if (!handle) return false;
  DWORD returned = 0;
  OVERLAPPED overlapped{};
  return DeviceIoControl(handle.Get(), controlCode, nullptr, 0, nullptr, 0, &returned,
                         &overlapped) != FALSE;
}

DWORD SystemActions::FormatDriveDialog(HWND owner, UINT drive, UINT formatId, UINT options) {
  return SHFormatDrive(owner, drive, formatId, options);
}

DWORD SystemActions::DisconnectDialog(HWND owner, DWORD resourceType) {
  return WNetDisconnectDialog(owner, resourceType);
}

bool SystemNotificationArea::Notify(DWORD message, NOTIFYICONDATAW& icon) {
  return Shell_NotifyIconW(message, &icon) != FALSE;
}

FARPROC EntryByOrdinal(const wchar_t* module, WORD ordinal) {
  HMODULE handle = GetModuleHandleW(module);
  if (!handle) return nullptr;
  return GetProcAddress(handle, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(ordinal)));
}

namespace {

template <typename Fn>
Fn Shell32Ordinal(WORD ordinal) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(EntryByOrdinal(L"shell32.dll", ordinal)));
}

}  // namespace

bool SystemDialogs::OpenFile(OPENFILENAMEW& request) { return GetOpenFileNameW(&request); }

bool SystemDialogs::SaveFile(OPENFILENAMEW& request) { return GetSaveFileNameW(&request); }

LPITEMIDLIST SystemDialogs::BrowseForFolder(BROWSEINFOW& request) {
  return SHBrowseForFolderW(&request);
}

bool SystemDialogs::PickFont(CHOOSEFONTW& request) { return ChooseFontW(&request); }

bool SystemDialogs::PickColor(CHOOSECOLORW& request) { return ChooseColorW(&request); }

intptr_t SystemDialogs::FindFiles(const std::wstring& folder) {
  return reinterpret_cast<intptr_t>(
      ShellExecuteW(nullptr, L"find", folder.c_str(), L"", L"", SW_SHOWNORMAL));
}

bool SystemDialogs::FindComputer() {
  using SHFindComputerFn = BOOL(WINAPI*)(LPCITEMIDLIST, LPCITEMIDLIST);
  auto findComputer = Shell32Ordinal<SHFindComputerFn>(91);
  if (!findComputer) return false;
  findComputer(nullptr, nullptr);
  return true;
}

bool SystemDialogs::RunDialog(HWND owner, UINT flags) {
  using RunFileDlgFn = void(WINAPI*)(HWND, HICON, LPCWSTR, LPCWSTR, LPCWSTR, UINT);
  auto runFileDlg = Shell32Ordinal<RunFileDlgFn>(61);
  if (!runFileDlg) return false;
  runFileDlg(owner, nullptr, nullptr, nullptr, nullptr, flags);
  return true;
}

std::optional<int> SystemDialogs::PickIcon(HWND owner, wchar_t* path, UINT size, int* index) {
  using PickIconDlgFn = int(WINAPI*)(HWND, LPWSTR, UINT, int*);
  auto pickIconDlg = Shell32Ordinal<PickIconDlgFn>(62);
  if (!pickIconDlg) return std::nullopt;
  return pickIconDlg(owner, path, size, index);
}

bool SystemDialogs::CloseShellDesktop() {
  HWND desktop = FindWindowW(L"ProgMan", nullptr);
  if (!desktop) return false;
  SendMessageW(desktop, WM_CLOSE, 0, 0);
  return true;
}

DWORD SystemDialogs::ConnectDialog(HWND owner, DWORD resourceType) {
  return WNetConnectionDialog(owner, resourceType);
}

bool SystemProtectedFiles::IsProtected(const std::wstring& path) {
  // Loaded from the system folder by its full name, so that no "sfc.dll"
  // beside the program answers in its place.
  wchar_t system[MAX_PATH] = {};
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  LoadedModule sfc(LoadLibraryW((std::wstring(system, n) + L"\\sfc.dll").c_str()));
  if (!sfc) return false;
  using SfcIsFileProtectedFn = BOOL(WINAPI*)(HANDLE, LPCWSTR);
  auto isProtected = reinterpret_cast<SfcIsFileProtectedFn>(
      reinterpret_cast<void*>(GetProcAddress(sfc.Get(), "SfcIsFileProtected")));
  return isProtected && isProtected(nullptr, path.c_str()) != FALSE;
}

UINT SystemDriveQueries::DriveType(const std::wstring& root) { return GetDriveTypeW(root.c_str()); }

bool SystemDriveQueries::DisplayName(const std::wstring& path, SHFILEINFOW& info) {
  return SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_DISPLAYNAME) != 0;
}

DWORD SystemDriveQueries::NetworkConnection(const std::wstring& localName, wchar_t* remote,
                                            DWORD* length) {
  return WNetGetConnectionW(localName.c_str(), remote, length);
}

WinServicesSeams WinServicesSeams::System() {
  return WinServicesSeams{std::make_shared<SystemWindowsFacts>(),
                          std::make_shared<SystemRegistryKeys>()};
}

}  // namespace norvale
