#include "WinServicesSeams.h"

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

WinServicesSeams WinServicesSeams::System() {
  return WinServicesSeams{std::make_shared<SystemWindowsFacts>(),
                          std::make_shared<SystemRegistryKeys>()};
}

}  // namespace norvale
