// Process lists, termination and the single-instance mutex.
#include "clsWinCommon.h"

#include <psapi.h>

#include <algorithm>
#include <limits>
#include <vector>

#include "Handles.h"
#include "Paths.h"
#include "Text.h"

using namespace norvale;

namespace {

// Rights asked when opening a process: what reading its modules and
// terminating it need.
constexpr DWORD kQueryAndRead = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
constexpr DWORD kAllProcessAccess = 0x1F0FFF;
constexpr DWORD kWaitAndTerminate = SYNCHRONIZE | PROCESS_TERMINATE;
// Ids below this belong to the system's own processes.
constexpr int32_t kFirstOrdinaryProcessId = 30;
constexpr DWORD kNameChars = 1024;

std::wstring BaseNameOf(HANDLE process) {
  wchar_t name[kNameChars] = {};
  const DWORD length = GetModuleBaseNameW(process, nullptr, name, kNameChars);
  return CutAtNull(std::wstring_view(name, length));
}

std::vector<std::wstring> ModuleFileNamesOf(HANDLE process) {
  std::vector<HMODULE> modules(1025);
  DWORD needed = 0;
  std::vector<std::wstring> names;
  if (!EnumProcessModules(process, modules.data(),
                          static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed)) {
    return names;
  }
  const size_t count = std::min<size_t>(needed / sizeof(HMODULE), modules.size());
  for (size_t i = 0; i < count; ++i) {
    if (!modules[i]) continue;
    wchar_t name[kNameChars] = {};
    const DWORD length = GetModuleFileNameExW(process, modules[i], name, kNameChars);
    names.push_back(CutAtNull(std::wstring_view(name, length)));
  }
  return names;
}

}  // namespace

bool clsWinCommon::ForEachSnapshotProcess(
    const std::function<bool(const PROCESSENTRY32W&)>& visit) {
  FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (!visit(entry)) break;
  }
  return true;
}

void clsWinCommon::ForEachProcessId(const std::function<bool(DWORD)>& visit) {
  // The table grows until the system's list fits, so no process is missed
  // on a busy machine.
  std::vector<DWORD> ids(2049);
  DWORD bytes = 0;
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!EnumProcesses(ids.data(), capacity, &bytes)) return;
    if (bytes < capacity) break;
    ids.resize(ids.size() * 2);
  }
  for (size_t i = 0; i < bytes / sizeof(DWORD); ++i) {
    if (!visit(ids[i])) return;
  }
}

bool clsWinCommon::IsProcRunning(const std::wstring& aChkProcName) {
  try {
    if (IsBlank(aChkProcName)) return false;
    const std::wstring wanted = Trim(aChkProcName);
    bool found = false;
    ForEachSnapshotProcess([&](const PROCESSENTRY32W& entry) {
      found = SameName(Trim(CutAtNull(entry.szExeFile)), wanted);
      return !found;
    });
    return found;
  } catch (...) {
    return false;
  }
}

int32_t clsWinCommon::GetProcRunningCount(const std::wstring& aChkProcName) {
  try {
    if (IsBlank(aChkProcName)) return 0;
    const std::wstring wanted = Trim(aChkProcName);
    int32_t count = 0;
    ForEachSnapshotProcess([&](const PROCESSENTRY32W& entry) {
      if (SameName(Trim(CutAtNull(entry.szExeFile)), wanted)) ++count;
      return true;
    });
    return count;
  } catch (...) {
    return 0;
  }
}

int16_t clsWinCommon::EnumProcessFromSnapshot() {
  try {
    m_ProcessList.assign(1, PROCESSENTRY32W{});
    int16_t count = 0;
    const bool listed = ForEachSnapshotProcess([&](const PROCESSENTRY32W& entry) {
      m_ProcessList.resize(static_cast<size_t>(count) + 1);
      m_ProcessList[static_cast<size_t>(count)] = entry;
      ++count;
      return count < std::numeric_limits<int16_t>::max();
    });
    return listed ? count : 0;
  } catch (...) {
    return 0;
  }
}

std::wstring clsWinCommon::GetProcessName(int32_t ProcessID) {
  try {
    KernelHandle process(OpenProcess(kQueryAndRead, FALSE, static_cast<DWORD>(ProcessID)));
    if (!process) return L"";
    HMODULE modules[1024] = {};
    DWORD needed = 0;
    if (!EnumProcessModules(process.Get(), modules, sizeof(modules), &needed) || needed == 0) {
      return L"";
    }
    wchar_t name[kNameChars] = {};
    const DWORD length = GetModuleFileNameExW(process.Get(), modules[0], name, kNameChars);
    return CutAtNull(std::wstring_view(name, length));
  } catch (...) {
    return L"";
  }
}

bool clsWinCommon::IsProccessRunning(const std::wstring& aExeName, bool IsPathCheck) {
  try {
    if (IsBlank(aExeName)) return false;
    const std::wstring wantedPath = Trim(aExeName);
    // A short (8.3) file name is matched by the name the process runs as.
    const std::wstring longPath = IsPathCheck ? LongPath(wantedPath) : std::wstring();
    const std::wstring wantedName =
        IsPathCheck ? GetFileID(longPath.empty() ? wantedPath : longPath) : wantedPath;
    bool found = false;
    ForEachProcessId([&](DWORD id) {
      KernelHandle process(OpenProcess(kAllProcessAccess, FALSE, id));
      if (!process) return true;
      if (!SameName(BaseNameOf(process.Get()), wantedName)) return true;
      if (!IsPathCheck) {
        found = true;
      } else {
        for (const std::wstring& module : ModuleFileNamesOf(process.Get())) {
          // The program file itself by any of its names, not a path that
          // merely ends the same way.
          if (!IsBlank(module) && SamePlace(module, wantedPath)) found = true;
        }
      }
      return !found;
    });
    return found;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::KillProccessByExeName(const std::wstring& aExeName) {
  try {
    if (IsBlank(aExeName)) return false;
    const std::wstring wanted = Trim(aExeName);
    bool terminated = false;
    ForEachProcessId([&](DWORD id) {
      KernelHandle process(OpenProcess(kAllProcessAccess, FALSE, id));
      if (!process) return true;
      if (!SameName(BaseNameOf(process.Get()), wanted)) return true;
      // Only the first process of that name is ended.
      terminated = TerminateProcess(process.Get(), 0) != FALSE;
      return false;
    });
    return terminated;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::KillProcess(int32_t aLngPocId) {
  try {
    if (aLngPocId < kFirstOrdinaryProcessId) return false;
    KernelHandle process(OpenProcess(kWaitAndTerminate, TRUE, static_cast<DWORD>(aLngPocId)));
    if (!process) return false;
    return TerminateProcess(process.Get(), 0) != FALSE;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::KillProcessByhWnd(HANDLE Pochnd) {
  try {
    if (!Pochnd) return false;
    return TerminateProcess(Pochnd, 0) != FALSE;
  } catch (...) {
    return false;
  }
}

std::wstring clsWinCommon::GetWindowProcFileName(HWND lhWnd) {
  try {
    wchar_t name[kNameChars] = {};
    const UINT length = GetWindowModuleFileNameW(lhWnd, name, kNameChars);
    return std::wstring(name, std::min<UINT>(length, kNameChars));
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetProcModuleBaseName(HANDLE lhWnd) {
  try {
    return BaseNameOf(lhWnd);
  } catch (...) {
    return L"";
  }
}

int32_t clsWinCommon::GetProccessInfo() { return 0; }

// Only a mutex this call created counts: one that already existed is
// released again, and the name is reported as taken.
HANDLE clsWinCommon::Mutex_Create(const std::wstring& strName) {
  try {
    if (IsBlank(strName)) return nullptr;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, strName.c_str());
    const DWORD error = GetLastError();
    if (!mutex) return nullptr;
    if (error == ERROR_ALREADY_EXISTS) {
      CloseHandle(mutex);
      return nullptr;
    }
    return mutex;
  } catch (...) {
    return nullptr;
  }
}

int32_t clsWinCommon::Win_CloseHandle(HANDLE hHand) {
  try {
    return CloseHandle(hHand);
  } catch (...) {
    return 0;
  }
}
