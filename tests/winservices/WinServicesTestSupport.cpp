#include "WinServicesTestSupport.h"

#include <atomic>
#include <cstring>
#include <stdexcept>

#include "Handles.h"
#include "Text.h"

namespace testing_support {

std::wstring UniqueName(const std::wstring& hint) {
  static std::atomic<unsigned> counter{0};
  return L"NorvaleTest-" + hint + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(counter++);
}

namespace {

void DeleteTreeInView(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
  RegDeleteTreeW(key, nullptr);
  RegCloseKey(key);
  RegDeleteKeyExW(root, path.c_str(), view, 0);
}

}  // namespace

ScopedRegKey::ScopedRegKey(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) {}

ScopedRegKey::~ScopedRegKey() {
  DeleteTreeInView(root_, path_, kView32);
  DeleteTreeInView(root_, path_, kView64);
}

ScopedRegValue::ScopedRegValue(HKEY root, std::wstring path, std::wstring name)
    : root_(root), path_(std::move(path)), name_(std::move(name)) {}

ScopedRegValue::~ScopedRegValue() {
  for (REGSAM view : {kView32, kView64}) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_SET_VALUE | view, &key) != ERROR_SUCCESS) {
      continue;
    }
    RegDeleteValueW(key, name_.c_str());
    RegCloseKey(key);
  }
}

std::wstring RawValue::Text() const {
  std::wstring text(bytes.size() / 2, L'\0');
  if (!text.empty()) memcpy(text.data(), bytes.data(), text.size() * 2);
  return norvale::CutAtNull(text);
}

uint32_t RawValue::Dword() const {
  uint32_t value = 0;
  if (bytes.size() >= 4) memcpy(&value, bytes.data(), 4);
  return value;
}

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::optional<RawValue> ReadRaw(HKEY root, const std::wstring& path, const std::wstring& name,
                                REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  RawValue value;
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.bytes.resize(size);
    status = RegQueryValueExW(key, name.c_str(), nullptr, &value.type,
                              size ? value.bytes.data() : nullptr, &size);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

void WriteRaw(HKEY root, const std::wstring& path, const std::wstring& name, DWORD type,
              const void* data, DWORD size, REGSAM view) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("test key cannot be created");
  }
  LSTATUS status =
      RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) throw std::runtime_error("test value cannot be written");
}

void WriteText(HKEY root, const std::wstring& path, const std::wstring& name,
               const std::wstring& text, REGSAM view) {
  WriteRaw(root, path, name, REG_SZ, text.c_str(),
           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), view);
}

std::optional<std::string> ReadAnsiBytes(HKEY root, const std::wstring& path,
                                         const std::wstring& name, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, norvale::ToAnsi(path).c_str(), 0, KEY_READ | view, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  char buffer[1024];
  DWORD size = sizeof(buffer), type = 0;
  LSTATUS status = RegQueryValueExA(key, norvale::ToAnsi(name).c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return std::string(buffer, size);
}

RegExeResult RegExeQuery(const std::wstring& machineKeyPath, const std::wstring& valueName,
                         int bits) {
  RegExeResult result;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  norvale::KernelHandle reader(readEnd), writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

  std::wstring command = L"C:\\windows\\system32\\reg.exe query \"HKLM\\" + machineKeyPath + L"\"";
  if (!valueName.empty()) command += L" /v \"" + valueName + L"\"";
  command += bits == 64 ? L" /reg:64" : L" /reg:32";

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = nullptr;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                      nullptr, nullptr, &startup, &process)) {
    return result;
  }
  norvale::KernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
  writer.Reset();
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
    bytes.append(chunk, got);
  }
  WaitForSingleObject(process.hProcess, 30000);
  GetExitCodeProcess(process.hProcess, &result.exitCode);
  result.output = norvale::FromAnsi(bytes);
  return result;
}

bool FakeWindows::GetVersion(OSVERSIONINFOEXW& info) {
  if (versionFails) return false;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.dwBuildNumber = build;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.wServicePackMajor = servicePackMajor;
  info.wSuiteMask = suiteMask;
  info.wProductType = productType;
  return true;
}

namespace {

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

}  // namespace

LSTATUS MachineWritesRefused::Open(HKEY root, const std::wstring& path, REGSAM access,
                                   HKEY* key) {
  if (root == HKEY_LOCAL_MACHINE && (access & kWriteRights)) return ERROR_ACCESS_DENIED;
  return real_.Open(root, path, access, key);
}

LSTATUS MachineWritesRefused::Create(HKEY root, const std::wstring& path, REGSAM access,
                                     HKEY* key) {
  if (root == HKEY_LOCAL_MACHINE) return ERROR_ACCESS_DENIED;
  return real_.Create(root, path, access, key);
}

norvale::WinServicesSeams WithWindows(std::shared_ptr<FakeWindows> windows) {
  return norvale::WinServicesSeams{std::move(windows),
                                   std::make_shared<norvale::SystemRegistryKeys>()};
}

norvale::WinServicesSeams WithoutAdministratorRights() {
  return norvale::WinServicesSeams{std::make_shared<norvale::SystemWindowsFacts>(),
                                   std::make_shared<MachineWritesRefused>()};
}

}  // namespace testing_support
