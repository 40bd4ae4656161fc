// A stand-in for powershell.exe inside the test prefix, where Wine's own does
// nothing. It runs no script code: given "Add-Font.ps1" or "Remove-Font.ps1"
// with their one argument, it does what those scripts do on Windows.
//   powershell.exe [-ExecutionPolicy P] [-NoProfile] [-NonInteractive] ...
//                  -File <script> <argument...>
// It reads its command line as Windows PowerShell does: split by the Windows
// rules; after -File the next argument is the script and every one after it
// one argument of the script, taken literally. Without -File, Windows
// PowerShell joins the rest into a command and runs it ("a.ttf;ri x" runs
// "ri x"); the stand-in runs no command and fails instead, so a caller that
// leaves -File out is caught.
// Where Windows PowerShell 5.1 differs from what a script means, the stand-in
// answers as PowerShell does, so that a caller or script that relies on the
// meaning is caught:
// - Without -NoProfile the profiles run first (all users' and the user's,
//   for every host and for this one); the stand-in notes each one it finds.
// - A script whose mandatory parameter is not given asks for it: without
//   -NonInteractive it waits for the answer on its input (in a minimised
//   window nobody gives one), with it it fails at once.
// - A script that removes the Fonts value with Remove-ItemProperty has the
//   value's name read as a pattern ("*", "?", "[...]"): every value whose
//   name matches goes. The key object's DeleteValue takes the name exactly.
//   A script of comments only stands for what the scripts promise.
// - Add-Type with C# (-MemberDefinition, -TypeDefinition, a source file)
//   has csc compile it in TEMP: the stand-in writes the source and an
//   assembly file into the TEMP it was started with, before it does the
//   script's work, and leaves them there, so a test sees what an unelevated
//   program of the account could have rewritten before they were loaded.
//   Add-Type -AssemblyName only loads an assembly and writes nothing.
// With NORVALE_POWERSHELL_LOG set, each run appends to that file (UTF-8) one
// line of the arguments it was given, each in brackets, so a test sees how
// the command line was split, and before it one line "[profile] <path>" for
// each profile it ran.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <optional>
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

wchar_t Lower(wchar_t c) {
  CharLowerBuffW(&c, 1);
  return c;
}

// PowerShell's wildcard match, letter case ignored: "*" any run, "?" one
// character, "[abc]" and "[a-z]" one of a set, "`" takes the next one as it
// is. Nothing for a pattern PowerShell refuses (an open "[").
std::optional<bool> Matches(const std::wstring& pattern, size_t p, const std::wstring& text,
                            size_t t) {
  while (p < pattern.size()) {
    const wchar_t c = pattern[p];
    if (c == L'*') {
      for (size_t from = t; from <= text.size(); ++from) {
        const std::optional<bool> rest = Matches(pattern, p + 1, text, from);
        if (!rest || *rest) return rest;
      }
      return false;
    }
    if (c == L'[') {
      const size_t close = pattern.find(L']', p + 1);
      if (close == std::wstring::npos) return std::nullopt;
      if (t >= text.size()) return false;
      const wchar_t here = Lower(text[t]);
      bool in = false;
      for (size_t k = p + 1; k < close; ++k) {
        if (k + 2 < close && pattern[k + 1] == L'-') {
          in = in || (here >= Lower(pattern[k]) && here <= Lower(pattern[k + 2]));
          k += 2;
        } else {
          in = in || here == Lower(pattern[k]);
        }
      }
      if (!in) return false;
      p = close + 1;
      ++t;
      continue;
    }
    if (t >= text.size()) return false;
    const wchar_t literal = c == L'`' && p + 1 < pattern.size() ? pattern[++p] : c;
    if (c != L'?' && Lower(literal) != Lower(text[t])) return false;
    ++p;
    ++t;
  }
  return t == text.size();
}

// What a script's code (its lines that are no comment) shows of how it does
// its work.
struct ScriptReading {
  bool code = false;
  bool valuesByPattern = false;  // Remove-ItemProperty
  bool valuesExactly = false;    // the key object's DeleteValue
  bool mandatoryParameter = false;
  // The text of each Add-Type that compiles: its line and, when a
  // here-string opens there, every line up to the one that closes it.
  std::vector<std::string> compiled;
};

// Add-Type compiles unless it is told an assembly to load: -AssemblyName
// (any abbreviation down to "-as", or its alias "-an"), or a path to a DLL.
// line is in lower case, at is where "add-type" begins.
bool AddTypeCompiles(const std::string& line, size_t at) {
  const size_t option = line.find_first_not_of(" \t", at + 8);
  if (option == std::string::npos || line[option] != '-') return true;
  const size_t end = line.find_first_of(" \t:", option);
  const std::string name = line.substr(option, end == std::string::npos ? end : end - option);
  if (name == "-an" || (name.size() >= 3 && std::string("-assemblyname").rfind(name, 0) == 0)) {
    return false;
  }
  const bool path = name.size() >= 2 && (std::string("-path").rfind(name, 0) == 0 ||
                                         std::string("-literalpath").rfind(name, 0) == 0);
  return !(path && line.find(".dll") != std::string::npos);
}

ScriptReading ReadScript(const std::wstring& path) {
  ScriptReading reading;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return reading;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0 &&
         bytes.size() < (1u << 20)) {
    bytes.append(buffer, got);
  }
  CloseHandle(file);
  size_t start = bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  std::string* source = nullptr;  // an Add-Type's here-string still open
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    const std::string text = bytes.substr(start, end - start + (end < bytes.size() ? 1 : 0));
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (source) {
      *source += text;
      if (line.rfind("'@", 0) == 0 || line.rfind("\"@", 0) == 0) source = nullptr;
      continue;
    }
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    for (char& c : line) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    reading.code = true;
    if (line.find("remove-itemproperty") != std::string::npos) reading.valuesByPattern = true;
    if (line.find(".deletevalue(") != std::string::npos) reading.valuesExactly = true;
    if (line.find("mandatory") != std::string::npos) reading.mandatoryParameter = true;
    const size_t addType = line.find("add-type");
    if (addType != std::string::npos && AddTypeCompiles(line, addType)) {
      reading.compiled.push_back(text);
      const size_t last = line.find_last_not_of(" \t\r");
      if (last > 0 && line[last - 1] == '@' && (line[last] == '\'' || line[last] == '"')) {
        source = &reading.compiled.back();
      }
    }
  }
  return reading;
}

bool WriteTempFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

// What csc leaves in TEMP for one Add-Type: the source as "<name>.0.cs" and
// the assembly as "<name>.dll", beside the "<name>.tmp" that reserved the
// name. False when TEMP takes none of them, as Add-Type then fails.
bool CompileInTemp(const std::string& source) {
  wchar_t temp[MAX_PATH] = {}, reserved[MAX_PATH] = {};
  const DWORD length = GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH || !GetTempFileNameW(temp, L"csc", 0, reserved)) {
    return false;
  }
  std::wstring name = reserved;
  name.resize(name.size() - 4);  // ".tmp"
  return WriteTempFile(name + L".0.cs", source) &&
         WriteTempFile(name + L".dll", "MZ compiled by the PowerShell stand-in\r\n");
}

// Removes this font: the file of that name and the values whose data is that
// name; a font whose name merely begins alike stays. A script that names the
// values to Remove-ItemProperty takes every value their names match as
// patterns, as Windows PowerShell does, and stops where one matches none.
int RemoveFont(const std::wstring& name, const ScriptReading& script) {
  if (!IsPlainFileName(name)) return Fail(L"not a font file name", name);
  if (script.code && !script.valuesByPattern && !script.valuesExactly) {
    return Fail(L"the stand-in cannot tell how this script removes the Fonts value", name);
  }
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFontsKey, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
    std::vector<std::wstring> doomed, all;
    for (DWORD i = 0;; ++i) {
      wchar_t valueName[16384];
      DWORD valueNameLength = 16384, type = 0;
      BYTE data[2048] = {};
      DWORD dataSize = sizeof data - sizeof(wchar_t);
      LSTATUS r = RegEnumValueW(key, i, valueName, &valueNameLength, nullptr, &type, data,
                                &dataSize);
      if (r == ERROR_NO_MORE_ITEMS) break;
      if (r == ERROR_SUCCESS) all.push_back(valueName);
      if (r != ERROR_SUCCESS || type != REG_SZ) continue;
      if (SameText(reinterpret_cast<const wchar_t*>(data), name)) doomed.push_back(valueName);
    }
    for (const std::wstring& valueName : doomed) {
      if (!script.valuesByPattern) {
        RegDeleteValueW(key, valueName.c_str());
        continue;
      }
      bool any = false;
      for (std::wstring& other : all) {
        const std::optional<bool> match = Matches(valueName, 0, other, 0);
        if (!match) {
          RegCloseKey(key);
          return Fail(L"not a valid wildcard pattern", valueName);
        }
        if (*match && !other.empty() && RegDeleteValueW(key, other.c_str()) == ERROR_SUCCESS) {
          any = true;
          other.clear();
        }
      }
      if (!any && RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS) {
        RegCloseKey(key);
        return Fail(L"property does not exist", valueName);
      }
    }
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

void AppendToLog(const std::wstring& text) {
  wchar_t log[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"NORVALE_POWERSHELL_LOG", log, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring line = text + L"\r\n";
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

// One line per run: "[arg1] [arg2] ..." as this program received them.
void LogArguments(const std::vector<std::wstring>& args) {
  std::wstring line;
  for (const std::wstring& arg : args) line += (line.empty() ? L"[" : L" [") + arg + L"]";
  AppendToLog(line);
}

// Windows PowerShell's four profiles, in the order it runs them: all users'
// (in the folder of powershell.exe) and the user's (in Documents), each for
// every host and for the console host.
std::vector<std::wstring> Profiles() {
  wchar_t program[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring home = program;
  home.resize(home.size() - FileNameOf(home).size());
  wchar_t documents[MAX_PATH] = {};
  std::wstring user;
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents))) {
    user = std::wstring(documents) + L"\\WindowsPowerShell\\";
  }
  return {home + L"profile.ps1", home + L"Microsoft.PowerShell_profile.ps1",
          user + L"profile.ps1", user + L"Microsoft.PowerShell_profile.ps1"};
}

void RunProfiles() {
  for (const std::wstring& profile : Profiles()) {
    const DWORD attributes = GetFileAttributesW(profile.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      AppendToLog(L"[profile] " + profile);
    }
  }
}

// A mandatory parameter that was not given is asked for. Interactive, the
// answer is read from the input, as long as that takes; nothing read (the
// input closed) fails the run.
std::optional<std::wstring> Ask(bool nonInteractive) {
  if (nonInteractive) return std::nullopt;
  std::string answer;
  char c = 0;
  DWORD got = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    if (c != '\r') answer.push_back(c);
  }
  if (answer.empty()) return std::nullopt;
  std::wstring text(answer.size(), L'\0');
  text.resize(size_t(MultiByteToWideChar(CP_UTF8, 0, answer.data(), int(answer.size()),
                                         text.data(), int(text.size()))));
  return text;
}

}  // namespace

int wmain() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args(argv + 1, argv + argc);
  LocalFree(argv);
  size_t i = 0;
  bool file = false, noProfile = false, nonInteractive = false;
  while (i < args.size() && !args[i].empty() && args[i][0] == L'-') {
    const std::wstring& option = args[i];
    if (SameText(option, L"-ExecutionPolicy") || SameText(option, L"-WindowStyle")) {
      i += 2;
    } else if (SameText(option, L"-File")) {
      ++i;
      file = true;
      break;
    } else if (SameText(option, L"-NoProfile")) {
      noProfile = true;
      ++i;
    } else if (SameText(option, L"-NonInteractive")) {
      nonInteractive = true;
      ++i;
    } else if (SameText(option, L"-NoLogo")) {
      ++i;
    } else if (SameText(option, L"-Command") || SameText(option, L"-EncodedCommand")) {
      break;
    } else {
      LogArguments(args);
      return Fail(L"option not known to the stand-in", option);
    }
  }
  if (!noProfile) RunProfiles();
  LogArguments(args);
  if (!file) {
    std::wstring command;
    for (size_t a = i; a < args.size(); ++a) command += (command.empty() ? L"" : L" ") + args[a];
    return Fail(L"without -File this is a command, which the stand-in never runs", command);
  }
  if (i >= args.size()) return Fail(L"no script given", L"");
  const std::wstring script = args[i];
  std::vector<std::wstring> scriptArgs(args.begin() + std::ptrdiff_t(i) + 1, args.end());
  DWORD attributes = GetFileAttributesW(script.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return Fail(L"script not found", script);
  }
  const ScriptReading reading = ReadScript(script);
  if (scriptArgs.empty() && reading.mandatoryParameter) {
    const std::optional<std::wstring> answer = Ask(nonInteractive);
    if (!answer) return Fail(L"a mandatory parameter was not given", script);
    scriptArgs.push_back(*answer);
  }
  // Both scripts take exactly one argument.
  if (scriptArgs.size() != 1) {
    return Fail(L"the script takes one argument, given", std::to_wstring(scriptArgs.size()));
  }
  for (const std::string& source : reading.compiled) {
    if (!CompileInTemp(source)) return Fail(L"Add-Type cannot compile in TEMP", script);
  }
  std::wstring scriptName = FileNameOf(script);
  if (SameText(scriptName, L"Add-Font.ps1")) return AddFont(scriptArgs[0]);
  if (SameText(scriptName, L"Remove-Font.ps1")) return RemoveFont(scriptArgs[0], reading);
  return Fail(L"the stand-in runs only Add-Font.ps1 and Remove-Font.ps1", script);
}
