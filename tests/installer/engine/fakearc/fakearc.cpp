// An archive DLL of the tests' own with the entry points of the command-line
// archive DLLs. It writes every call it receives into the file that
// FAKEARC_LOG names (UTF-8, one line a call), answers with FAKEARC_RESULT
// (default 0) and FAKEARC_CHECK (default 1), and "extracts" its own
// archives: text files whose lines name the entries ("dir\" a folder,
// "dir\file=content" a file).
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring Env(const wchar_t* name) {
  wchar_t buffer[1024] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, 1024);
  return n && n < 1024 ? std::wstring(buffer, n) : L"";
}

int EnvNumber(const wchar_t* name, int fallback) {
  const std::wstring text = Env(name);
  return text.empty() ? fallback : _wtoi(text.c_str());
}

std::wstring FromCodePage(UINT cp, const std::string& bytes) {
  if (bytes.empty()) return L"";
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return "";
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

void Log(const std::wstring& line) {
  const std::wstring path = Env(L"FAKEARC_LOG");
  if (path.empty()) return;
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string bytes = ToUtf8(line) + "\n";
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::vector<std::wstring> Tokens(const std::wstring& command) {
  std::vector<std::wstring> tokens;
  std::wstring current;
  bool quoted = false;
  for (wchar_t c : command) {
    if (c == L'"') {
      quoted = !quoted;
      continue;
    }
    if (c == L' ' && !quoted) {
      if (!current.empty()) tokens.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) tokens.push_back(current);
  return tokens;
}

bool EndsWithZip(const std::wstring& token) {
  return token.size() >= 4 && _wcsicmp(token.c_str() + token.size() - 4, L".zip") == 0;
}

std::string ReadAll(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void CreateLevels(const std::wstring& folder) {
  for (size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1)) {
    CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
  }
  CreateDirectoryW(folder.c_str(), nullptr);
}

void Extract(const std::wstring& archive, std::wstring out) {
  if (!out.empty() && out.back() == L'\\') out.pop_back();
  std::istringstream lines(ReadAll(archive));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::wstring entry = FromCodePage(CP_UTF8, line);
    const size_t equals = entry.find(L'=');
    if (equals == std::wstring::npos) {
      CreateLevels(out + L"\\" + (entry.back() == L'\\' ? entry.substr(0, entry.size() - 1) : entry));
      continue;
    }
    const std::wstring path = out + L"\\" + entry.substr(0, equals);
    CreateLevels(path.substr(0, path.rfind(L'\\')));
    WriteAll(path, ToUtf8(entry.substr(equals + 1)));
  }
}

int RunCommand(const wchar_t* function, const char* command) {
  const std::wstring text = FromCodePage(CP_ACP, command ? command : "");
  Log(std::wstring(function) + L"|" + text);
  const int result = EnvNumber(L"FAKEARC_RESULT", 0);
  if (result != 0) return result;
  const std::vector<std::wstring> tokens = Tokens(text);
  std::wstring archive, out;
  bool extract = false, add = false;
  std::vector<std::wstring> files;
  for (const std::wstring& token : tokens) {
    if (token == L"x") extract = true;
    else if (token == L"a") add = true;
    else if (token.rfind(L"-o", 0) == 0) out = token.substr(2);
    else if (archive.empty() && EndsWithZip(token)) archive = token;
    else if (add && !archive.empty()) files.push_back(token);
  }
  if (extract && !archive.empty() && !out.empty()) Extract(archive, out);
  if (add && !archive.empty()) {
    std::wstring list;
    for (const std::wstring& file : files) list += file + L"\n";
    WriteAll(archive, ToUtf8(list));
  }
  return 0;
}

}  // namespace

extern "C" {

__declspec(dllexport) int WINAPI SevenZip(HWND, LPCSTR command, LPSTR, DWORD) {
  return RunCommand(L"SevenZip", command);
}
__declspec(dllexport) BOOL WINAPI SevenZipCheckArchive(LPCSTR path, int mode) {
  Log(L"SevenZipCheckArchive|" + FromCodePage(CP_ACP, path ? path : "") + L"|" + std::to_wstring(mode));
  return EnvNumber(L"FAKEARC_CHECK", 1);
}
__declspec(dllexport) BOOL WINAPI SevenZipSetCursorMode(BOOL mode) {
  Log(L"SevenZipSetCursorMode|" + std::to_wstring(mode));
  return TRUE;
}
__declspec(dllexport) BOOL WINAPI SevenZipSetBackGroundMode(BOOL mode) {
  Log(L"SevenZipSetBackGroundMode|" + std::to_wstring(mode));
  return TRUE;
}
__declspec(dllexport) int WINAPI Unlha(HWND, LPCSTR command, LPSTR, DWORD) {
  return RunCommand(L"Unlha", command);
}
__declspec(dllexport) BOOL WINAPI UnlhaCheckArchive(LPCSTR path, int mode) {
  Log(L"UnlhaCheckArchive|" + FromCodePage(CP_ACP, path ? path : "") + L"|" + std::to_wstring(mode));
  return EnvNumber(L"FAKEARC_CHECK", 1);
}
__declspec(dllexport) BOOL WINAPI UnlhaSetCursorMode(BOOL mode) {
  Log(L"UnlhaSetCursorMode|" + std::to_wstring(mode));
  return TRUE;
}
__declspec(dllexport) BOOL WINAPI UnlhaSetBackGroundMode(BOOL mode) {
  Log(L"UnlhaSetBackGroundMode|" + std::to_wstring(mode));
  return TRUE;
}

}  // extern "C"
