// A stand-in for powershell.exe inside the test prefix, where Wine's own does
// nothing. It runs no script: given "Add-Font.ps1" or "Remove-Font.ps1" with
// their one argument, it does what those scripts do on Windows.
//   powershell.exe [-ExecutionPolicy P] ... -File <script> <argument...>
// It reads its command line as Windows PowerShell does: split by the Windows
// rules; after -File the next argument is the script and every one after it
// one argument of the script, taken literally. Without -File, Windows
// PowerShell joins the rest into a command and runs it ("a.ttf;ri x" runs
// "ri x"); the stand-in runs no command and fails instead, so a caller that
// leaves -File out is caught.
// With NORVALE_POWERSHELL_LOG set, each run appends one line to that file:
// the arguments it was given, each in brackets (UTF-8), so a test sees how
// the command line was split.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FontFile.h"

namespace {

constexpr wchar_t kFontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

std::wstring FontsFolder() {
  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + L"\\Fonts";
}

bool SameText(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring FileNameOf(const std::wstring& path) {
  size_t cut = path.find_last_of(L"\\/");
  return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

bool IsPlainFileName(const std::wstring& name) {
  return !name.empty() && name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos &&
         name.find_first_not_of(L". ") != std::wstring::npos;
}

int Fail(const wchar_t* text, const std::wstring& detail) {
  std::fwprintf(stderr, L"%ls: %ls\n", text, detail.c_str());
  return 1;
}

int AddFont(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Fail(L"font file not found", path);
  }
  standins::FontFile font;
  if (!font.Load(path)) return Fail(L"not a TrueType or OpenType font", path);
  std::wstring name = FileNameOf(path);
  std::wstring target = FontsFolder() + L"\\" + name;
  if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES &&
      !CopyFileW(path.c_str(), target.c_str(), TRUE)) {
    return Fail(L"cannot copy the font into the Fonts folder", target);
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFontsKey, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return Fail(L"cannot open the Fonts registry key", kFontsKey);
  }
  std::wstring valueName = font.RegistryValueName();
  LSTATUS set = RegSetValueExW(key, valueName.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(name.c_str()),
                               DWORD((name.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return set == ERROR_SUCCESS ? 0 : Fail(L"cannot register the font", valueName);
}

// Removes exactly this font: the file of that name and the values whose
// data is that name; a font whose name merely begins alike stays.
int RemoveFont(const std::wstring& name) {
  if (!IsPlainFileName(name)) return Fail(L"not a font file name", name);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontsKey, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    std::vector<std::wstring> doomed;
    for (DWORD i = 0;; ++i) {
      wchar_t valueName[16384];
      DWORD valueNameLength = 16384, type = 0;
      BYTE data[2048] = {};
      DWORD dataSize = sizeof data - sizeof(wchar_t);
      LSTATUS r = RegEnumValueW(key, i, valueName, &valueNameLength, nullptr, &type, data,
                                &dataSize);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r != ERROR_SUCCESS || type != REG_SZ) continue;
      if (SameText(reinterpret_cast<const wchar_t*>(data), name)) doomed.push_back(valueName);
    }
    for (const std::wstring& valueName : doomed) RegDeleteValueW(key, valueName.c_str());
    RegCloseKey(key);
  }
  std::wstring target = FontsFolder() + L"\\" + name;
  // The one file named on the command line, inside the prefix's Fonts folder.
  if (GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
      !DeleteFileW(target.c_str())) {
    return Fail(L"cannot delete the font file", target);
  }
  return 0;
}

// One line per run: "[arg1] [arg2] ..." as this program received them.
void LogArguments(const std::vector<std::wstring>& args) {
  wchar_t log[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", log, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  std::wstring line;
  for (const std::wstring& arg : args) line += (line.empty() ? L"[" : L" [") + arg + L"]";
  line += L"\r\n";
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), int(line.size()), nullptr, 0,
                                        nullptr, nullptr);
  std::string utf8(size_t(bytes > 0 ? bytes : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), int(line.size()), utf8.data(), bytes, nullptr,
                      nullptr);
  HANDLE file = CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, utf8.data(), DWORD(utf8.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int wmain() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv + 1, argv + argc);
  LocalFree(argv);
  LogArguments(args);
  size_t i = 0;
  bool file = false;
  while (i < args.size() && !args[i].empty() && args[i][0] == L'-') {
    const std::wstring& option = args[i];
    if (SameText(option, L"-ExecutionPolicy") || SameText(option, L"-WindowStyle")) {
      i += 2;
    } else if (SameText(option, L"-File")) {
      ++i;
      file = true;
      break;
    } else if (SameText(option, L"-NoProfile") || SameText(option, L"-NonInteractive") ||
               SameText(option, L"-NoLogo")) {
      ++i;
    } else if (SameText(option, L"-Command") || SameText(option, L"-EncodedCommand")) {
      break;
    } else {
      return Fail(L"option not known to the stand-in", option);
    }
  }
  if (!file) {
    std::wstring command;
    for (size_t a = i; a < args.size(); ++a) command += (command.empty() ? L"" : L" ") + args[a];
    return Fail(L"without -File this is a command, which the stand-in never runs", command);
  }
  if (i >= args.size()) return Fail(L"no script given", L"");
  const std::wstring script = args[i];
  const std::vector<std::wstring> scriptArgs(args.begin() + std::ptrdiff_t(i) + 1, args.end());
  DWORD attributes = GetFileAttributesW(script.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Fail(L"script not found", script);
  }
  // Both scripts take exactly one argument.
  if (scriptArgs.size() != 1) {
    return Fail(L"the script takes one argument, given", std::to_wstring(scriptArgs.size()));
  }
  std::wstring scriptName = FileNameOf(script);
  if (SameText(scriptName, L"Add-Font.ps1")) return AddFont(scriptArgs[0]);
  if (SameText(scriptName, L"Remove-Font.ps1")) return RemoveFont(scriptArgs[0]);
  return Fail(L"the stand-in runs only Add-Font.ps1 and Remove-Font.ps1", script);
}
