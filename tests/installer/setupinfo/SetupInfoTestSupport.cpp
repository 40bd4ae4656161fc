#include "SetupInfoTestSupport.h"

#include "Text.h"

namespace setupinfo_testing {

bool ProfileWindows::GetVersion(OSVERSIONINFOEXW& info) {
  if (versionFails) return false;
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.dwBuildNumber = build;
  info.dwPlatformId = VER_PLATFORM_WIN32_NT;
  info.wProductType = VER_NT_WORKSTATION;
  return true;
}

std::string FakeDrives::LogicalDriveStrings() {
  std::string buffer;
  for (const std::string& root : roots) buffer += root + '\0';
  return buffer.empty() ? buffer : buffer + '\0';
}

int64_t FakeDrives::FreeSpace(const std::wstring& root, bool isGB) {
  if (isGB) return freeGigabytes;
  if (!root.empty() && (root[0] == L'D' || root[0] == L'd')) return freeD;
  return freeC;
}

bool RecordingStarts::Start(const std::wstring& commandLine, int, DWORD* processId,
                            HANDLE* process) {
  commandLines.push_back(commandLine);
  if (processId) *processId = 4242;
  if (process) *process = nullptr;
  return true;
}

TestMachine::TestMachine(Machine machine) { Become(machine); }

void TestMachine::Become(Machine machine) {
  switch (machine) {
    case Machine::Windows7x86:
      windows->major = 6, windows->minor = 1, windows->build = 7601, windows->wow64 = false;
      break;
    case Machine::Windows10x64:
      windows->major = 10, windows->minor = 0, windows->build = 19045, windows->wow64 = true;
      break;
    case Machine::Windows11x64:
      windows->major = 10, windows->minor = 0, windows->build = 22631, windows->wow64 = true;
      break;
  }
}

norvale::InstallerSeams TestMachine::Seams() const {
  norvale::InstallerSeams seams;
  seams.common.messageBox = boxes;
  seams.windows.windows = windows;
  seams.windows.starts = starts;
  seams.ftpWaits = norvale::FtpWaits::None();
  seams.drives = drives;
  seams.programEnd = end;
  seams.windows.waits = waits;
  seams.addressOpener = opener;
  return seams;
}

std::unique_ptr<norvale::InstallerState> StateIn(const TestMachine& machine,
                                                 const std::wstring& folder) {
  auto state = std::make_unique<norvale::InstallerState>(machine.Seams());
  state->objStartIni.iniDir(folder);
  state->objStartIni.IniFileID(L"Start.ini");
  state->objSetupIni.iniDir(folder);
  state->objSetupIni.IniFileID(state->SetupFileId);
  state->ProgramPath = folder + L"\\Norvale_Installer.exe";
  state->InstallerVersion = L"1.2.03";
  return state;
}

void WriteAnsiFile(const std::wstring& path, const std::wstring& text) {
  std::wstring crlf;
  for (wchar_t c : text) {
    if (c == L'\n') crlf += L'\r';
    crlf += c;
  }
  testing_support::WriteFileBytes(path, norvale::ToAnsi(crlf));
}

std::wstring ReadAnsiFile(const std::wstring& path) {
  return norvale::FromAnsi(testing_support::ReadFileBytes(path));
}

namespace {
const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

void SetText(HKEY key, const wchar_t* name, const std::wstring& value) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
}  // namespace

ScopedUninstallEntry::ScopedUninstallEntry(const std::wstring& appId, const std::wstring& appPath,
                                           std::optional<std::wstring> uninstallString)
    : key_(kUninstall + appId) {
  for (REGSAM view : kViews) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
      continue;
    }
    SetText(key, L"AppPath", appPath);
    if (uninstallString) SetText(key, L"UninstallString", *uninstallString);
    RegCloseKey(key);
  }
}

ScopedUninstallEntry::~ScopedUninstallEntry() {
  for (REGSAM view : kViews) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key_.c_str(), view, 0);
}

}  // namespace setupinfo_testing
