#include "UninstallerTestSupport.h"

#include "DeleteGuard.h"
#include "Text.h"


namespace uninstaller_test {

using norvale::UninstallerState;

bool MemoryFontRegistry::EnumValues(std::vector<ValueName>* out) {
  out->clear();
  for (const auto& [name, data] : values) out->push_back({name, REG_SZ});
  return true;
}

bool MemoryFontRegistry::GetStringValue(const std::wstring& name, std::wstring* data) {
  for (const auto& [n, d] : values) {
    if (n == name) {
      *data = d;
      return true;
    }
  }
  return false;
}

bool MemoryFontRegistry::DeleteValue(const std::wstring& name) {
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (it->first == name) {
      values.erase(it);
      return true;
    }
  }
  return false;
}

InstalledProduct::InstalledProduct(const std::wstring& hint)
    : temp(hint),
      appDir(temp.Path() + L"\\App"),
      uninstDir(appDir + L"\\Uninst"),
      program(uninstDir + L"\\Dekant00.exe") {
  MakeFolder(appDir);
  MakeFolder(uninstDir);
  Touch(program);
}

void InstalledProduct::WriteRecord(const std::vector<std::wstring>& lines) const {
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  WriteRecordBytes(norvale::ToAnsi(text));
}

void InstalledProduct::WriteRecordBytes(const std::string& bytes) const {
  testing_support::WriteFileBytes(uninstDir + L"\\Setup.log", bytes);
}

std::unique_ptr<UninstallerState> InstalledProduct::MakeState(const std::wstring& startedAs) const {
  norvale::UninstallerServices services;
  services.seams.messageBox = messages;
  services.windows.starts = starts;
  services.fontRegistry = fontRegistry;
  services.windows.protectedFiles = protectedFiles;
  services.windows.folderAccess = folderAccess;
  return std::make_unique<UninstallerState>(startedAs.empty() ? program : startedAs, services);
}

RecordingStarts::~RecordingStarts() {
  for (const std::wstring& commandLine : started) {
    const std::wstring file = StartedCommandFile(commandLine);
    if (file.empty()) continue;
    // An elevated run's lies in the Windows folder's TEMP, which the delete
    // guard leaves to others.
    testing_support::RemoveTree(norvale::BeforeLast(file, L'\\'));
  }
}

std::wstring StartedCommandFile(const std::wstring& commandLine) {
  const size_t from = commandLine.find(L"/C \"\"");
  if (from == std::wstring::npos) return L"";
  const size_t to = commandLine.find(L'"', from + 5);
  return commandLine.substr(from + 5, to - from - 5);
}

namespace {
constexpr wchar_t kLayers[] =
    L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
constexpr REGSAM kOwnView = 0;
}  // namespace

void SetLayer(const std::wstring& exe) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kLayers, 0, nullptr, 0, KEY_ALL_ACCESS | kOwnView,
                      nullptr, &h, nullptr) != ERROR_SUCCESS) {
    return;
  }
  const std::wstring data = L"RUNASADMIN";
  RegSetValueExW(h, exe.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

void ClearLayer(const std::wstring& exe) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLayers, 0, KEY_ALL_ACCESS | kOwnView, &h) !=
      ERROR_SUCCESS) {
    return;
  }
  RegDeleteValueW(h, exe.c_str());
  RegCloseKey(h);
}

bool LayerExists(const std::wstring& exe) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLayers, 0, KEY_READ | kOwnView, &h) != ERROR_SUCCESS) {
    return false;
  }
  const bool found =
      RegQueryValueExW(h, exe.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(h);
  return found;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::wstring& path) { CreateDirectoryW(path.c_str(), nullptr); }

void Touch(const std::wstring& path) { testing_support::WriteFileBytes(path, "x"); }

std::wstring ShortForm(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
}

}  // namespace uninstaller_test
